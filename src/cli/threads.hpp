// How many worker threads the tool uses when -T does not say.
#pragma once

namespace vorlex::cli {

// The CPUs this process may run on.
unsigned default_threads();

}  // namespace vorlex::cli
