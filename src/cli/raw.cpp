// Whole-buffer compression and decompression through the host.
#include "raw.hpp"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "block_codec.hpp"
#include "buffer.hpp"
#include "failure.hpp"

namespace vorlex::cli {

namespace {

// Everything `in` holds, in a buffer that doubles as it fills. With the
// right hint, one read fills it and finds the end in the spare byte.
size_t read_all(Source& in, Buffer& buffer, uint64_t size_hint) {
    size_t length = 0;
    const uint64_t first = size_hint != 0 ? size_hint + 1 : 1u << 20;
    if (first > SIZE_MAX - BUFFER_ALIGNMENT) throw Failure("input too large");
    buffer.reserve(size_t(first));
    for (;;) {
        length += in.read(buffer.data() + length, buffer.capacity() - length);
        if (length < buffer.capacity()) return length;
        if (buffer.capacity() > SIZE_MAX / 2) throw Failure("input too large");
        buffer.grow(buffer.capacity() * 2, length);
    }
}

std::string codec_name(vorlex_codec* codec) {
    return std::string("'") + vorlex_codec_get_name(codec) + "'";
}

// Worst cases that are not true bounds get this many tries, each doubling.
constexpr int COMPRESS_TRIES = 3;

bool streams(vorlex_codec* codec) {
    return (vorlex_codec_get_info_flags(codec) & VORLEX_INFO_NATIVE_STREAMS) != 0;
}

// What a streaming pass reads and writes per step.
constexpr size_t STREAM_PIECE = size_t(1) << 18;

// Reads what is left of in, discarding it; returns how much there was.
uint64_t drain(Source& in, Buffer& scratch) {
    uint64_t n = 0;
    for (size_t got; (got = in.read(scratch.data(), STREAM_PIECE)) != 0;) n += got;
    return n;
}

struct StreamFree {
    void operator()(vorlex_stream* s) const { vorlex_stream_free(s); }
};

// Everything `in` holds through a native stream onto `out`, a piece at a
// time; limit caps the output (--size). Returns {consumed, produced}.
std::pair<uint64_t, uint64_t> run_stream(Source& in, Sink& out, vorlex_codec* codec,
                                         vorlex_stream_type type, vorlex_options* options,
                                         std::optional<uint64_t> limit,
                                         const Warn& warn = nullptr) {
    vorlex_stream* raw = nullptr;
    const vorlex_status made = vorlex_stream_new(codec, type, options, &raw);
    std::unique_ptr<vorlex_stream, StreamFree> stream(raw);
    if (made <= 0) {
        throw Failure("codec " + codec_name(codec) + ": " + vorlex_status_to_string(made));
    }
    Buffer input, output;
    input.reserve(STREAM_PIECE);
    output.reserve(STREAM_PIECE);
    uint64_t consumed = 0, produced = 0;
    for (bool end = false; !end;) {
        const size_t n = in.read(input.data(), STREAM_PIECE);
        end = n < STREAM_PIECE;  // a short read is the end of input
        consumed += n;
        stream->in_next = input.data();
        stream->in_avail = n;
        const vorlex_operation op = end ? VORLEX_OPERATION_FINISH : VORLEX_OPERATION_PROCESS;
        vorlex_status st;
        do {
            stream->out_next = output.data();
            stream->out_avail = STREAM_PIECE;
            st = vorlex_stream_process(stream.get(), op);
            const size_t got = STREAM_PIECE - stream->out_avail;
            produced += got;
            if (limit && produced > *limit) {
                throw Failure("decompressed data exceeds --size " + std::to_string(*limit) +
                              " (a limit here: leave it out to decode it all)");
            }
            out.write(output.data(), got);
            if (st == VORLEX_STATUS_NO_MEMORY) throw Failure("out of memory");
            if (st == VORLEX_STATUS_TRAILING_DATA && type == VORLEX_STREAM_DECOMPRESS) {
                // Everything before was decoded and checked; the rest is
                // read and left, in gzip's words.
                if (warn) warn("decompression OK, trailing garbage ignored");
                consumed += drain(in, input);
                out.flush();
                return {consumed, produced};
            }
            if (st == VORLEX_STATUS_MEMORY_LIMIT) {
                // zstd --long and high levels write frames with large windows.
                throw Failure("the data needs more memory than allowed (" +
                              std::string(vorlex_codec_get_name(codec)) +
                              " wants a larger window than the limit, 128M unless --memory "
                              "says otherwise): allow it with --memory=SIZE, e.g. --memory=2G");
            }
            if (st <= 0) {
                throw Failure(std::string(type == VORLEX_STREAM_COMPRESS ? "cannot encode ("
                                                                         : "cannot decode (") +
                              vorlex_codec_get_name(codec) + ": " + vorlex_status_to_string(st) +
                              ")");
            }
        } while (st == VORLEX_STATUS_PROCESSING || stream->in_avail != 0);
    }
    out.flush();
    return {consumed, produced};
}

// The snappy framing format, which snzip and python-snappy write as .sz
// files, opens with its stream identifier chunk. The snappy codec is raw
// snappy blocks: say what the file is rather than call it damaged.
void refuse_snappy_framing(vorlex_codec* codec, const uint8_t* data, size_t n) {
    static constexpr uint8_t STREAM_IDENTIFIER[] = {0xff, 0x06, 0x00, 0x00, 's', 'N', 'a', 'P', 'p', 'Y'};
    if (std::string(vorlex_codec_get_name(codec)) == "snappy" && n >= sizeof STREAM_IDENTIFIER &&
        std::memcmp(data, STREAM_IDENTIFIER, sizeof STREAM_IDENTIFIER) == 0) {
        throw Failure("this is the snappy framing format (snzip's and python-snappy's .sz "
                      "files), which is not read: the snappy codec is raw snappy blocks");
    }
}

}  // namespace

std::string raw_size_missing(vorlex_codec* codec, const std::optional<uint64_t>& size) {
    // Native streams decode raw data of any length without being told it.
    if (size || vorlex_codec_records_size(codec) || streams(codec)) return {};
    return std::string("raw ") + vorlex_codec_get_name(codec) +
           " data records no size: give --size N" +
           (vorlex_codec_needs_exact_size(codec) ? " (the exact size)" : " (at least the size)");
}

Totals raw_compress(Source& in, Sink& out, vorlex_codec* codec, uint64_t size_hint,
                    vorlex_options* options) {
    if (streams(codec)) {
        const auto [n, produced] =
            run_stream(in, out, codec, VORLEX_STREAM_COMPRESS, options, std::nullopt);
        return {n, produced, 1};
    }
    Buffer input;
    const size_t n = read_all(in, input, size_hint);
    size_t capacity = compress_capacity(codec, n);
    Buffer output;
    for (int attempt = 1;; ++attempt) {
        output.reserve(capacity);
        size_t produced = 0;
        const vorlex_status st =
            compress_block(codec, input.data(), n, output.data(), capacity, produced, options);
        if (st > 0) {
            out.write(output.data(), produced);
            out.flush();
            return {n, produced, 1};
        }
        if (st == VORLEX_STATUS_OUTPUT_FULL && attempt < COMPRESS_TRIES &&
            capacity <= SIZE_MAX / 2) {
            capacity *= 2;
            continue;
        }
        // A plain failure is all some codecs report, whatever the cause (fari
        // says nothing more when its table cannot be allocated).
        if (st == VORLEX_STATUS_FAILED) {
            throw Failure("codec " + codec_name(codec) +
                          (n == 0 ? std::string(" refused an empty input")
                                  : " failed on the input (out of memory, or an input it "
                                    "cannot take)"));
        }
        throw Failure("codec " + codec_name(codec) + ": " + vorlex_status_to_string(st));
    }
}

Totals raw_decompress(Source& in, Sink& out, vorlex_codec* codec, std::optional<uint64_t> size,
                      uint64_t size_hint, uint64_t memory_limit, const Warn& warn) {
    if (streams(codec)) {
        CodecOptions options;
        if (memory_limit != 0) {
            options.reset(vorlex_options_new());
            if (options == nullptr) throw std::bad_alloc();
            vorlex_options_set_memory_limit(options.get(), memory_limit);
        }
        const auto [n, produced] =
            run_stream(in, out, codec, VORLEX_STREAM_DECOMPRESS, options.get(), size, warn);
        return {produced, n, 1};
    }
    Buffer input;
    const size_t n = read_all(in, input, size_hint);
    refuse_snappy_framing(codec, input.data(), n);
    uint64_t capacity = 0;
    if (vorlex_codec_records_size(codec)) {
        size_t recorded = 0;
        const vorlex_status st = vorlex_get_uncompressed_size(codec, input.data(), n, &recorded);
        if (st <= 0) throw Failure(std::string("cannot read the size: ") + vorlex_status_to_string(st));
        if (size && recorded > *size) {
            throw Failure("recorded size " + std::to_string(recorded) + " exceeds --size " +
                          std::to_string(*size));
        }
        capacity = recorded;
    } else if (size) {
        capacity = *size;
    } else {
        throw Failure("codec " + codec_name(codec) + " records no size: give --size");
    }
    if (capacity > SIZE_MAX - BUFFER_ALIGNMENT) throw Failure("size too large");
    // Left uninitialised: a size read from damaged data costs address space,
    // not memory, until the codec refuses the data.
    Buffer output;
    output.reserve(size_t(capacity));
    size_t length = size_t(capacity);
    const vorlex_status st =
        vorlex_decompress(codec, output.data(), &length, input.data(), n, nullptr);
    if (st == VORLEX_STATUS_NO_MEMORY) throw Failure("out of memory");
    if (st <= 0) {
        std::string why = "cannot decode (" + std::string(vorlex_codec_get_name(codec)) + ": " +
                          vorlex_status_to_string(st) + ")";
        // The data records no size, so the likely cause is the --size given.
        if (!vorlex_codec_records_size(codec)) {
            const std::string given = std::to_string(capacity);
            if (vorlex_codec_needs_exact_size(codec)) {
                why += ": damaged data, or --size " + given +
                       " is not its exact decompressed size, which " +
                       vorlex_codec_get_name(codec) + " needs (the data does not record it)";
            } else if (st == VORLEX_STATUS_OUTPUT_FULL) {
                why = "--size " + given + " is too small: the data decodes to more. Give " +
                      "at least the size it had before compression (raw " +
                      vorlex_codec_get_name(codec) + " data does not record it; keep it, or " +
                      "use the container, which does)";
            }
        }
        throw Failure(why);
    }
    out.write(output.data(), length);
    out.flush();
    return {length, n, 1};
}

}  // namespace vorlex::cli
