// The default worker count.
#include "threads.hpp"

#include <sched.h>

#include <thread>

namespace vorlex::cli {

unsigned default_threads() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return unsigned(n);
    }
    const unsigned n = std::thread::hardware_concurrency();
    return n != 0 ? n : 1;
}

}  // namespace vorlex::cli
