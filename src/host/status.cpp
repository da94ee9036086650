// Status texts and the error funnel that plug-ins report failures through.
#include <vorlex/vorlex.h>

#include "codec.hpp"

namespace vorlex::host {

namespace {
thread_local vorlex_status t_reported = VORLEX_STATUS_OK;
}

void clear_reported_failure() { t_reported = VORLEX_STATUS_OK; }
vorlex_status reported_failure() { return t_reported; }

}  // namespace vorlex::host

extern "C" {

// A callback whose return type has no room for a status (the size query)
// reports its failure only here, so the host keeps the last one per thread.
vorlex_status vorlex_error(vorlex_status status) {
    if (status < 0) vorlex::host::t_reported = status;
    return status;
}

const char* vorlex_status_to_string(vorlex_status status) {
    switch (status) {
        case VORLEX_STATUS_OK: return "success";
        case VORLEX_STATUS_PROCESSING: return "more to do";
        case VORLEX_STATUS_FAILED: return "corrupt data or failure";
        case VORLEX_STATUS_NO_SUCH_CODEC: return "no such codec";
        case VORLEX_STATUS_INVALID: return "invalid argument";
        case VORLEX_STATUS_UNSUPPORTED: return "not supported by this codec";
        case VORLEX_STATUS_NO_MEMORY: return "out of memory";
        case VORLEX_STATUS_OUTPUT_FULL: return "output buffer too small";
        case VORLEX_STATUS_INPUT_TRUNCATED: return "input truncated";
        case VORLEX_STATUS_CORRUPT: return "damaged data";
        case VORLEX_STATUS_TRAILING_DATA: return "trailing data after the last frame";
        case VORLEX_STATUS_TOO_LARGE: return "size too large";
        case VORLEX_STATUS_MEMORY_LIMIT: return "memory limit exceeded";
        case VORLEX_STATUS_BAD_LEVEL: return "compression level not offered by this codec";
        default: return "unknown status";
    }
}

const char* vorlex_version_string(void) { return VORLEX_VERSION; }

}  // extern "C"
