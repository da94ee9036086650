// The loops between the tool's sources and sinks and libvorlex's frame
// writer and reader. Input is read a block at a time into an aligned buffer,
// so that single-threaded the library compresses it where it lies; output
// buffers hold a whole block, so that the reader decodes straight into them.
#include "container.hpp"

#include <algorithm>
#include <string>

#include <vorlex/vorlex.hpp>

#include "buffer.hpp"
#include "failure.hpp"

namespace vorlex::cli {

namespace {

constexpr size_t READ_CHUNK = size_t(1) << 20;
constexpr size_t LIST_CHUNK = size_t(4) << 10;

// The library's words; a memory limit also names the option that raises it.
[[noreturn]] void fail_with(vorlex_status st) {
    std::string what = vorlex_frame_last_error();
    if (what.empty()) what = vorlex_status_to_string(st);
    if (st == VORLEX_STATUS_MEMORY_LIMIT) what += " (raise it with --memory=SIZE)";
    throw Failure(what);
}

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
    FrameReader reader;
    vorlex_status st = reader.open(threads, size_t(memory_limit), 0);
    if (!ok(st)) fail_with(st);

    std::vector<uint8_t> input(READ_CHUNK), output(READ_CHUNK);
    for (;;) {
        const size_t n = in.read_available(input.data(), input.size());
        vorlex_frame_buffers b{input.data(), n, nullptr, 0};
        // Input that came short (a pipe with nothing more for now): the
        // blocks in flight are waited for, so what arrived comes out.
        const vorlex_operation op = n == 0                ? VORLEX_OPERATION_FINISH
                                    : n < input.size() ? VORLEX_OPERATION_FLUSH
                                                       : VORLEX_OPERATION_PROCESS;
        // Single-threaded, a block that fits the output buffer is decoded
        // straight into it: let the buffer grow to the frame's block size.
        // Worker threads decode into blocks of their own, copied out in any
        // pieces.
        const vorlex_frame_info seen = reader.info();
        if (threads <= 1 && seen.block_size > output.size()) output.resize(seen.block_size);
        st = pump(reader, b, op, output, out);
        // Out at once: what was decoded and checked is good, also before a
        // fault, and a pipe's reader should not wait for more input.
        out.flush();
        if (!ok(st)) fail_with(st);
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
                members.push_back(std::move(m));
            }
        } while (b.in_avail != 0);
        if (op == VORLEX_OPERATION_FINISH) break;
    }
    return members;
}

}  // namespace vorlex::cli
