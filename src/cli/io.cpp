// Buffered reading and writing over descriptors and memory.
#include "io.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "failure.hpp"

namespace vorlex::cli {

namespace {
constexpr size_t IO_BUFFER = IO_BUFFER_SIZE;
}

void fail_errno(const std::string& what) {
    throw Failure(what + ": " + std::strerror(errno));
}

// ---- Source ----------------------------------------------------------------

bool Source::fill() {
    if (buffer_.empty()) buffer_.resize(IO_BUFFER);
    next_ = 0;
    end_ = read_some(buffer_.data(), buffer_.size());
    return end_ != 0;
}

size_t Source::read(uint8_t* out, size_t n) {
    size_t done = 0;
    while (done < n) {
        if (next_ < end_) {
            const size_t k = std::min(n - done, end_ - next_);
            std::memcpy(out + done, buffer_.data() + next_, k);
            next_ += k;
            done += k;
        } else if (n - done >= IO_BUFFER) {
            // Block-sized reads bypass the buffer: one copy fewer.
            const size_t k = read_some(out + done, n - done);
            if (k == 0) break;
            done += k;
        } else if (!fill()) {
            break;
        }
    }
    position_ += done;
    return done;
}

size_t Source::read_available(uint8_t* out, size_t n) {
    if (n == 0) return 0;
    if (next_ == end_) {
        if (n >= IO_BUFFER) {
            const size_t k = read_some(out, n);
            position_ += k;
            return k;
        }
        if (!fill()) return 0;
    }
    const size_t k = std::min(n, end_ - next_);
    std::memcpy(out, buffer_.data() + next_, k);
    next_ += k;
    position_ += k;
    return k;
}

uint64_t Source::skip(uint64_t n) {
    uint64_t done = std::min<uint64_t>(n, end_ - next_);
    next_ += size_t(done);
    if (done < n && seek_ahead(n - done)) {
        done = n;
    }
    while (done < n && fill()) {
        const size_t k = size_t(std::min<uint64_t>(n - done, end_));
        next_ = k;
        done += k;
    }
    position_ += done;
    return done;
}

bool Source::at_end() { return next_ == end_ && !fill(); }

// ---- Sink ------------------------------------------------------------------

void Sink::write(const uint8_t* data, size_t n) {
    position_ += n;
    if (buffer_.size() + n <= IO_BUFFER) {
        buffer_.insert(buffer_.end(), data, data + n);
        return;
    }
    flush();
    if (n < IO_BUFFER) {
        buffer_.assign(data, data + n);
    } else {
        write_out(data, n);
    }
}

void Sink::flush() {
    if (buffer_.empty()) return;
    write_out(buffer_.data(), buffer_.size());
    buffer_.clear();
}

// ---- Descriptors -------------------------------------------------------------

FdSource::FdSource(int fd) : fd_(fd) {
    struct stat st;
    seekable_ = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

size_t FdSource::read_some(uint8_t* out, size_t n) {
    for (;;) {
        const ssize_t k = ::read(fd_, out, n);
        if (k >= 0) return size_t(k);
        if (errno != EINTR) fail_errno("read error");
    }
}

// Seeking past the end of a file succeeds, so compare with its size: a
// truncated payload must still be noticed.
bool FdSource::seek_ahead(uint64_t n) {
    if (!seekable_) return false;
    struct stat st;
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    if (at < 0 || ::fstat(fd_, &st) != 0) return false;
    if (uint64_t(st.st_size) < uint64_t(at) || uint64_t(st.st_size) - uint64_t(at) < n) {
        return false;
    }
    return ::lseek(fd_, off_t(n), SEEK_CUR) >= 0;
}

void FdSink::write_out(const uint8_t* data, size_t n) {
    while (n != 0) {
        const ssize_t k = ::write(fd_, data, n);
        if (k < 0) {
            if (errno == EINTR) continue;
            fail_errno("write error");
        }
        data += k;
        n -= size_t(k);
    }
}

// ---- Memory ------------------------------------------------------------------

size_t MemorySource::read_some(uint8_t* out, size_t n) {
    const size_t k = std::min(n, data_.size() - at_);
    if (k != 0) std::memcpy(out, data_.data() + at_, k);
    at_ += k;
    return k;
}

bool MemorySource::seek_ahead(uint64_t n) {
    if (data_.size() - at_ < n) return false;
    at_ += size_t(n);
    return true;
}

void MemorySink::write_out(const uint8_t* data, size_t n) {
    bytes.insert(bytes.end(), data, data + n);
}

}  // namespace vorlex::cli
