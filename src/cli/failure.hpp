// The one exception type of the tool: a file could not be processed, and the
// text says why ("block 3 at byte 2071: checksum mismatch"). It is thrown
// where the fault is found and caught per file, so one bad file never stops
// the others. Nothing outside src/cli sees it.
#pragma once

#include <stdexcept>
#include <string>

namespace vorlex::cli {

class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& what) : std::runtime_error(what) {}
};

// "what: strerror(errno)", from the errno of the failed call.
[[noreturn]] void fail_errno(const std::string& what);

}  // namespace vorlex::cli
