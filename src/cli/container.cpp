// The loops between the tool's sources and sinks and libvorlex's frame
// writer and reader. Input is read a block at a time into an aligned buffer,
// so that single-threaded the library compresses it where it lies; output
// buffers hold a whole block, so that the reader decodes straight into them.
#include "container.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include <vorlex/vorlex.hpp>

#include "buffer.hpp"
#include "failure.hpp"

namespace vorlex::cli {

namespace {

constexpr size_t READ_CHUNK = size_t(1) << 20;
constexpr size_t LIST_CHUNK = size_t(4) << 10;

// The library's words; a memory limit also names the option that raises it,
// and what of it the tool's own buffers took.
[[noreturn]] void fail_with(vorlex_status st, uint64_t tool_buffers = 0) {
    std::string what = vorlex_frame_last_error();
    if (what.empty()) what = vorlex_status_to_string(st);
    if (st == VORLEX_STATUS_MEMORY_LIMIT) {
        what += tool_buffers != 0 ? " (what --memory leaves after " +
                                        std::to_string(tool_buffers) +
                                        " bytes of the tool's buffers; raise it with "
                                        "--memory=SIZE)"
                                  : " (raise it with --memory=SIZE)";
    }
    throw Failure(what);
}

// What one block in flight holds in the library's reader: its payload and
// its decoded bytes, each in a buffer of the block size plus its alignment.
uint64_t reader_block_memory(uint64_t block_size) { return 2 * (block_size + 1024); }

// How --memory is shared out when decoding: the input and output buffers
// (smaller than READ_CHUNK under a small limit) and the source's and sink's
// own come off the top, the reader's blocks get the rest.
struct ReadBudget {
    uint64_t total;
    size_t chunk;           // the input buffer, and the output buffer to start with
    uint64_t tool_buffers;  // everything the tool holds besides the output's growth
    size_t reader_limit;

    explicit ReadBudget(uint64_t memory_limit)
        : total(memory_limit != 0 ? memory_limit : VORLEX_FRAME_DEFAULT_MEMORY_LIMIT) {
        constexpr size_t PAGE = 4096;
        const uint64_t eighth = total / 8 / PAGE * PAGE;
        chunk = size_t(std::clamp<uint64_t>(eighth, PAGE, READ_CHUNK));
        tool_buffers = 2 * uint64_t(chunk) + 2 * IO_BUFFER_SIZE;
        // Too little for the tool's buffers leaves the reader 1 byte, which
        // it refuses with its message.
        const uint64_t rest = total > tool_buffers ? total - tool_buffers : 1;
        reader_limit = size_t(std::min<uint64_t>(rest, SIZE_MAX));
    }

    // Single-threaded, the reader decodes a block straight into the output
    // buffer when the buffer holds the block: it may grow to the block size
    // if that, with the reader's one block in flight, stays within the limit.
    bool output_may_grow_to(uint64_t block_size) const {
        return tool_buffers - chunk + block_size + reader_block_memory(block_size) <= total;
    }
};

// Steps until the input is consumed and nothing waits, writing out what is
// produced, and returns the final status (a failure once its output is out).
template <class Stream>
vorlex_status pump(Stream& stream, vorlex_frame_buffers& b, vorlex_operation op,
                   std::vector<uint8_t>& out_buffer, Sink& out) {
    vorlex_status st;
    do {
        b.out_next = out_buffer.data();
        b.out_avail = out_buffer.size();
        st = stream.process(b, op);
        out.write(out_buffer.data(), out_buffer.size() - b.out_avail);
    } while (st == VORLEX_STATUS_PROCESSING || (st == VORLEX_STATUS_OK && b.in_avail != 0));
    return st;
}

}  // namespace

Totals write_container(Source& in, Sink& out, const WriteSettings& settings,
                       const ProgressFn& progress) {
    const uint64_t in_start = in.position(), out_start = out.position();
    FrameWriter writer;
    vorlex_status st = writer.open(Codec(settings.codec), settings.block_size, settings.threads);
    if (ok(st) && settings.options != nullptr) {
        st = vorlex_frame_writer_set_options(writer.get(), settings.options);
    }
    if (ok(st) && !settings.indexed) st = vorlex_frame_writer_set_index(writer.get(), 0);
    if (!ok(st)) fail_with(st);

    Buffer input;  // aligned, from the host's allocator
    input.reserve(settings.block_size);
    std::vector<uint8_t> output(std::min<size_t>(READ_CHUNK, size_t(settings.block_size) + 4096));
    for (;;) {
        const size_t n = in.read(input.data(), settings.block_size);
        vorlex_frame_buffers b{input.data(), n, nullptr, 0};
        // A short read is the end of input.
        const vorlex_operation op =
            n < settings.block_size ? VORLEX_OPERATION_FINISH : VORLEX_OPERATION_PROCESS;
        st = pump(writer, b, op, output, out);
        if (!ok(st)) fail_with(st);
        if (progress) progress(in.position() - in_start, out.position() - out_start);
        if (op == VORLEX_OPERATION_FINISH) break;
    }
    out.flush();
    const vorlex_frame_info info = writer.info();
    return {info.frame_content, info.total_out, info.frame_blocks};
}

Totals read_container(Source& in, Sink& out, unsigned threads, const ProgressFn& progress,
                      uint64_t memory_limit) {
    const uint64_t in_start = in.position(), out_start = out.position();
    const ReadBudget budget(memory_limit);
    FrameReader reader;
    vorlex_status st = reader.open(threads, budget.reader_limit, 0);
    if (!ok(st)) fail_with(st, budget.tool_buffers);

    std::vector<uint8_t> input(budget.chunk), output(budget.chunk);
    for (;;) {
        const size_t n = in.read_available(input.data(), input.size());
        vorlex_frame_buffers b{input.data(), n, nullptr, 0};
        // Input that came short (a pipe with nothing more for now): the
        // blocks in flight are waited for, so what arrived comes out.
        const vorlex_operation op = n == 0                ? VORLEX_OPERATION_FINISH
                                    : n < input.size() ? VORLEX_OPERATION_FLUSH
                                                       : VORLEX_OPERATION_PROCESS;
        // Single-threaded, a block that fits the output buffer is decoded
        // straight into it: let the buffer grow to the frame's block size
        // where the limit allows. Worker threads decode into blocks of
        // their own, copied out in any pieces. The old buffer goes first, so
        // the two never add up.
        const vorlex_frame_info seen = reader.info();
        if (threads <= 1 && seen.block_size > output.size() &&
            budget.output_may_grow_to(seen.block_size)) {
            output = std::vector<uint8_t>();
            output.resize(seen.block_size);
        }
        st = pump(reader, b, op, output, out);
        // Out at once: what was decoded and checked is good, also before a
        // fault, and a pipe's reader should not wait for more input.
        out.flush();
        if (!ok(st)) fail_with(st, budget.tool_buffers);
        if (progress) progress(in.position() - in_start, out.position() - out_start);
        if (op == VORLEX_OPERATION_FINISH) break;
    }
    out.flush();
    const vorlex_frame_info info = reader.info();
    return {info.total_out, info.total_in, info.total_blocks};
}

std::vector<MemberInfo> list_container(Source& in) {
    FrameReader reader;
    vorlex_status st = reader.open(1, 0, VORLEX_FRAME_SCAN | VORLEX_FRAME_STOP_AT_END);
    if (!ok(st)) fail_with(st);
    std::vector<MemberInfo> members;
    std::vector<uint8_t> input(LIST_CHUNK);
    uint64_t done = 0;  // frames listed
    for (;;) {
        // Payloads are only walked over: seek past them where possible.
        const uint64_t skippable = reader.info().skippable;
        if (skippable != 0) {
            st = vorlex_frame_reader_skip(reader.get(), in.skip(skippable));
            if (!ok(st)) fail_with(st);
        }
        const size_t n = in.read(input.data(), input.size());
        vorlex_frame_buffers b{input.data(), n, nullptr, 0};
        const vorlex_operation op = n == 0 ? VORLEX_OPERATION_FINISH : VORLEX_OPERATION_PROCESS;
        do {
            st = reader.process(b, op);
            if (!ok(st)) fail_with(st);
            const vorlex_frame_info i = reader.info();
            if (i.frames > done) {
                done = i.frames;
                MemberInfo m;
                m.header.codec = i.codec;
                m.header.block_size = i.block_size;
                m.totals = {i.frame_content, i.frame_length, i.frame_blocks};
                m.stored_blocks = i.frame_stored_blocks;
                vorlex_frame_reader_get_filter(reader.get(), &m.filter, &m.typesize);
                members.push_back(std::move(m));
            }
        } while (b.in_avail != 0);
        if (op == VORLEX_OPERATION_FINISH) break;
    }
    return members;
}

}  // namespace vorlex::cli
