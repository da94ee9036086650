// Byte sources and sinks: what the container code reads from and writes to.
// Files and pipes are file descriptors; tests and fuzzers use memory. Small
// reads and writes (record headers) go through a 64 KiB buffer, block-sized
// ones straight to the descriptor. Failures throw Failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorlex::cli {

// The most a Source or a Sink buffers of its own.
inline constexpr size_t IO_BUFFER_SIZE = 64 * 1024;

class Source {
public:
    Source() = default;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    virtual ~Source() = default;

    // Up to n bytes into out; fewer only when the input ends.
    size_t read(uint8_t* out, size_t n);
    // Up to n bytes, as many as one read gives: at least one, 0 only at the
    // end. A stream decoder wants this: what a writer flushed down a pipe
    // comes out without waiting for more.
    size_t read_available(uint8_t* out, size_t n);
    // Skip up to n bytes; returns how many there were.
    uint64_t skip(uint64_t n);
    // True when no byte is left.
    bool at_end();
    // Bytes consumed so far.
    uint64_t position() const { return position_; }

protected:
    // Up to n bytes, 0 only at the end of input.
    virtual size_t read_some(uint8_t* out, size_t n) = 0;
    // Move n bytes ahead without reading, where the input allows it.
    virtual bool seek_ahead(uint64_t) { return false; }

private:
    bool fill();
    std::vector<uint8_t> buffer_;
    size_t next_ = 0, end_ = 0;
    uint64_t position_ = 0;
};

class Sink {
public:
    Sink() = default;
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;
    virtual ~Sink() = default;

    void write(const uint8_t* data, size_t n);
    void flush();
    // Bytes accepted so far.
    uint64_t position() const { return position_; }

protected:
    virtual void write_out(const uint8_t* data, size_t n) = 0;

private:
    std::vector<uint8_t> buffer_;
    uint64_t position_ = 0;
};

// A file descriptor, not owned. Seeks ahead when it names a regular file.
class FdSource final : public Source {
public:
    explicit FdSource(int fd);

protected:
    size_t read_some(uint8_t* out, size_t n) override;
    bool seek_ahead(uint64_t n) override;

private:
    int fd_;
    bool seekable_;
};

class FdSink final : public Sink {
public:
    explicit FdSink(int fd) : fd_(fd) {}

protected:
    void write_out(const uint8_t* data, size_t n) override;

private:
    int fd_;
};

class MemorySource final : public Source {
public:
    explicit MemorySource(std::span<const uint8_t> data) : data_(data) {}

protected:
    size_t read_some(uint8_t* out, size_t n) override;
    bool seek_ahead(uint64_t n) override;

private:
    std::span<const uint8_t> data_;
    size_t at_ = 0;
};

class MemorySink final : public Sink {
public:
    std::vector<uint8_t> bytes;

protected:
    void write_out(const uint8_t* data, size_t n) override;
};

// Counts and discards: integrity tests decode without writing.
class NullSink final : public Sink {
protected:
    void write_out(const uint8_t*, size_t) override {}
};

}  // namespace vorlex::cli
