// The tool as a function: everything `vorlex ARGS...` does but `vorlex
// bench`, so tests can run it in-process (and fail its allocations one by
// one).
#pragma once

#include <string>
#include <vector>

namespace vorlex::cli {

constexpr int EXIT_FILE_FAILED = 1;
constexpr int EXIT_USAGE = 2;

// args are the command-line arguments after the program name. Returns the
// exit status: 0, EXIT_FILE_FAILED or EXIT_USAGE. Never throws: whatever
// escapes is reported as "vorlex: ..." on standard error.
int run_tool(const std::vector<std::string>& args) noexcept;

}  // namespace vorlex::cli
