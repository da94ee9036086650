// How the frame layer fails: an Error carries the status the C API returns
// and the text a caller reads back ("block 3 at byte 2071: checksum
// mismatch"). It is thrown where the fault is found and turned into a status
// at the C boundary (guard), which also records the text as the calling
// thread's last error. Nothing outside src/frame sees the exception.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <utility>

#include <vorlex/vorlex.h>

namespace vorlex::frame {

class Error {
public:
    Error(vorlex_status status, std::string message)
        : status_(status), message_(std::move(message)) {}
    vorlex_status status() const { return status_; }
    const std::string& message() const { return message_; }

private:
    vorlex_status status_;
    std::string message_;
};

[[noreturn]] void fail(vorlex_status status, std::string message);

// The calling thread's last-error text (fixed storage: setting it never
// allocates, so "out of memory" can always be recorded).
void set_last_error(const char* text) noexcept;
const char* last_error() noexcept;

// A failure a reader or writer keeps and repeats on every later call.
class StickyError {
public:
    bool set() const { return status_ != 0; }
    vorlex_status status() const { return status_; }
    const char* text() const { return text_; }
    void record(vorlex_status status, const char* text) noexcept;
    // Makes the kept failure the thread's last error; returns its status.
    vorlex_status raise() const noexcept;

private:
    vorlex_status status_ = 0;
    char text_[512] = {};
};

// Makes status and text the thread's last error (and kept in sticky, when
// given); returns status.
vorlex_status failed(vorlex_status status, const char* text, StickyError* sticky) noexcept;

// Runs f (returning a vorlex_status); whatever it throws becomes a status,
// with its text as the thread's last error, and is kept in sticky if given.
template <class F>
vorlex_status guard(F&& f, StickyError* sticky = nullptr) noexcept {
    try {
        return f();
    } catch (const Error& e) {
        return failed(e.status(), e.message().c_str(), sticky);
    } catch (const std::bad_alloc&) {
        return failed(VORLEX_STATUS_NO_MEMORY, "out of memory", sticky);
    } catch (...) {
        return failed(VORLEX_STATUS_FAILED, "internal failure", sticky);
    }
}

}  // namespace vorlex::frame
