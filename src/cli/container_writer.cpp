// The container writer: blocks of block_size bytes (the last may be shorter),
// each compressed on its own and stored raw whenever the codec refuses it or
// its output is not shorter.
#include <vorlex/vorlex.h>

#include "block_codec.hpp"
#include "checksum.hpp"
#include "container.hpp"
#include "container_parser.hpp"
#include "failure.hpp"
#include "pipeline.hpp"

namespace vorlex::cli {

using namespace format;

namespace {

void encode(Slot& s, vorlex_codec* codec, size_t capacity, vorlex_options* options) {
    const size_t n = s.original_length;
    s.record.original_length = uint32_t(n);
    s.record.checksum = block_checksum(s.original.data(), n);  // still in cache from the read
    s.record.kind = KIND_STORED;
    s.record.stored_length = uint32_t(n);

    s.payload.reserve(capacity);
    size_t produced = 0;
    const vorlex_status st =
        compress_block(codec, s.original.data(), n, s.payload.data(), capacity, produced, options);
    if (st > 0) {
        if (produced < n) {
            s.record.kind = KIND_COMPRESSED;
            s.record.stored_length = uint32_t(produced);
        }
    } else if (st != VORLEX_STATUS_FAILED && st != VORLEX_STATUS_OUTPUT_FULL) {
        // A refusal or a worst case that was too small leaves the block
        // stored; anything else is a fault of this run, not of the data.
        throw Failure(std::string(vorlex_codec_get_name(codec)) + ": " +
                      vorlex_status_to_string(st));
    }
}

}  // namespace

Totals write_container(Source& in, Sink& out, const WriteSettings& settings,
                       const ProgressFn& progress) {
    const uint64_t in_start = in.position(), out_start = out.position();
    Header header;
    header.codec = vorlex_codec_get_name(settings.codec);
    header.block_size = settings.block_size;
    uint8_t h[MAX_HEADER];
    out.write(h, encode_header(header, h));

    const size_t capacity = compress_capacity(settings.codec, settings.block_size);
    ContentChecksum content;
    Totals totals;
    Pipeline pipeline(settings.threads,
                      [&](Slot& s) { encode(s, settings.codec, capacity, settings.options); });
    const auto retire = [&](Slot& s) {
        s.offset = out.position() - out_start;
        if (!s.error.empty()) throw Failure(block_message(s.index, s.offset, s.error));
        uint8_t r[BLOCK_HEADER];
        encode_block_header(s.record, r);
        out.write(r, sizeof r);
        const Buffer& data = s.record.kind == KIND_STORED ? s.original : s.payload;
        out.write(data.data(), s.record.stored_length);
        content.add(s.record.checksum);
        totals.original += s.original_length;
        if (progress) progress(in.position() - in_start, out.position() - out_start);
    };

    for (;;) {
        Slot& s = pipeline.acquire(retire);
        s.original.reserve(settings.block_size);
        const size_t n = in.read(s.original.data(), settings.block_size);
        if (n == 0) break;
        s.original_length = n;
        s.index = ++totals.blocks;
        pipeline.submit(s);
        if (n < settings.block_size) break;  // a short read is the end of input
    }
    pipeline.drain(retire);

    uint8_t e[END_RECORD];
    encode_end({totals.original, totals.blocks, content.value()}, e);
    out.write(e, sizeof e);
    out.flush();
    totals.compressed = out.position() - out_start;
    return totals;
}

}  // namespace vorlex::cli
