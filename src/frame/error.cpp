// The last-error text of each thread, and kept failures.
#include "error.hpp"

#include <cstring>

namespace vorlex::frame {

namespace {

constexpr size_t LAST_ERROR_SIZE = 1024;
thread_local char t_last_error[LAST_ERROR_SIZE];

void copy_text(char* to, size_t size, const char* text) {
    const size_t n = std::strlen(text);
    const size_t k = n < size ? n : size - 1;
    std::memcpy(to, text, k);
    to[k] = '\0';
}

}  // namespace

void fail(vorlex_status status, std::string message) { throw Error(status, std::move(message)); }

void set_last_error(const char* text) noexcept { copy_text(t_last_error, LAST_ERROR_SIZE, text); }

const char* last_error() noexcept { return t_last_error; }

void StickyError::record(vorlex_status status, const char* text) noexcept {
    status_ = status;
    copy_text(text_, sizeof text_, text);
}

vorlex_status failed(vorlex_status status, const char* text, StickyError* sticky) noexcept {
    if (sticky != nullptr) sticky->record(status, text);
    set_last_error(text);
    return status;
}

vorlex_status StickyError::raise() const noexcept {
    set_last_error(text_);
    return status_;
}

}  // namespace vorlex::frame
