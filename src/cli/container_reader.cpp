// The container reader and lister. Decoding runs on the pipeline's workers;
// the caller's thread parses records, reads payloads and writes results in
// order. The first fault in container order is the one reported, even when a
// later record fails to parse while earlier blocks are still being decoded.
#include <string>

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

vorlex_codec* load_codec(const std::string& name) {
    vorlex_codec* codec = vorlex_get_codec(name.c_str());
    if (codec == nullptr) throw Failure(codec_unavailable(name));
    return codec;
}

// The decoded block: the payload itself when stored.
const Buffer& result_of(const Slot& s) {
    return s.record.kind == KIND_STORED ? s.payload : s.original;
}

void decode(Slot& s, vorlex_codec* codec) {
    const BlockHeader& r = s.record;
    if (r.kind == KIND_COMPRESSED) {
        s.original.reserve(r.original_length);
        size_t length = r.original_length;  // exact size for brieflz, capacity for the rest
        const vorlex_status st = vorlex_decompress(codec, s.original.data(), &length,
                                                   s.payload.data(), r.stored_length, nullptr);
        if (st == VORLEX_STATUS_NO_MEMORY) throw Failure("out of memory");
        if (st <= 0) {
            throw Failure(std::string("cannot decode (") + vorlex_codec_get_name(codec) + ": " +
                          vorlex_status_to_string(st) + ")");
        }
        if (length != r.original_length) {
            throw Failure("decoded to " + std::to_string(length) + " bytes, expected " +
                          std::to_string(r.original_length));
        }
    }
    if (block_checksum(result_of(s).data(), r.original_length) != r.checksum) {
        throw Failure("checksum mismatch");
    }
}

// One container member: header to end record.
void read_member(ContainerParser& parser, Sink& out, unsigned threads, const ProgressFn& progress,
                 Source& in, uint64_t in_start, uint64_t out_start, Totals& totals) {
    vorlex_codec* codec = load_codec(parser.read_header().codec);
    ContentChecksum content;
    Pipeline pipeline(threads, [codec](Slot& s) { decode(s, codec); });
    const auto retire = [&](Slot& s) {
        if (!s.error.empty()) throw Failure(block_message(s.index, s.offset, s.error));
        out.write(result_of(s).data(), s.record.original_length);
        content.add(s.record.checksum);
        totals.original += s.record.original_length;
        if (progress) progress(in.position() - in_start, out.position() - out_start);
    };
    try {
        BlockHeader block;
        while (parser.next_block(block)) {
            Slot& s = pipeline.acquire(retire);
            s.record = block;
            s.index = parser.block_index();
            s.offset = parser.record_offset();
            s.payload.reserve(block.stored_length);  // checked against the block size
            parser.read_payload(s.payload.data());
            pipeline.submit(s);
            ++totals.blocks;
        }
    } catch (const Failure&) {
        pipeline.drain(retire);  // an earlier block's fault comes first
        throw;
    }
    pipeline.drain(retire);
    if (content.value() != parser.end().content_checksum) {
        parser.fail_end("content checksum mismatch");
    }
}

}  // namespace

Totals read_container(Source& in, Sink& out, unsigned threads, const ProgressFn& progress) {
    const uint64_t in_start = in.position(), out_start = out.position();
    ContainerParser parser(in);
    Totals totals;
    try {
        do {
            read_member(parser, out, threads, progress, in, in_start, out_start, totals);
        } while (!in.at_end());
    } catch (const Failure&) {
        out.flush();  // what was decoded and checked before the fault is good
        throw;
    }
    out.flush();
    totals.compressed = in.position() - in_start;
    return totals;
}

std::vector<MemberInfo> list_container(Source& in) {
    ContainerParser parser(in);
    std::vector<MemberInfo> members;
    do {
        MemberInfo m;
        const uint64_t start = in.position();
        m.header = parser.read_header();
        BlockHeader block;
        while (parser.next_block(block)) {
            parser.skip_payload();
            if (block.kind == KIND_STORED) ++m.stored_blocks;
        }
        m.totals.original = parser.end().total_length;
        m.totals.blocks = parser.end().block_count;
        m.totals.compressed = in.position() - start;
        members.push_back(std::move(m));
    } while (!in.at_end());
    return members;
}

}  // namespace vorlex::cli
