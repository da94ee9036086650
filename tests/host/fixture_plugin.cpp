// Plug-ins the host tests load from VORLEX_PLUGIN_PATH, one source built in
// several flavours:
//   FIXTURE_MODE 0  "fixture": accepts its name, copies, counts entry calls
//   FIXTURE_MODE 1  "refuser": the entry point refuses every name
//   FIXTURE_MODE 2  "noentry": exports no entry point at all
//   FIXTURE_MODE 3  "presized": offers only compress_buffer_presized, which
//                   insists on the worst-case capacity (input + 8)
//   FIXTURE_MODE 4  "planted": accepts any name and copies, and first appends
//                   its own path to the file $VORLEX_TEST_MARKER: the code an
//                   attacker would plant, proving whether it ran
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <vorlex/plugin.h>
#include <vorlex/vorlex.h>

#include "common/plugin_name.hpp"

extern "C" VORLEX_EXPORT int fixture_init_calls;
int fixture_init_calls = 0;

namespace {

vorlex_status copy(vorlex_codec*, size_t* out_len, uint8_t* out, size_t in_len, const uint8_t* in,
                   vorlex_options*) {
    if (*out_len < in_len) return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);
    memcpy(out, in, in_len);
    *out_len = in_len;
    return VORLEX_STATUS_OK;
}

[[maybe_unused]] size_t bound(vorlex_codec*, size_t n) { return n + 8; }

[[maybe_unused]] vorlex_status presized(vorlex_codec* c, size_t* out_len, uint8_t* out, size_t in_len,
                       const uint8_t* in, vorlex_options* o) {
    if (*out_len < in_len + 8) return VORLEX_STATUS_FAILED;  // the host broke its promise
    return copy(c, out_len, out, in_len, in, o);
}

}  // namespace

#if FIXTURE_MODE != 2
extern "C" vorlex_status vorlex_plugin_init_codec(vorlex_codec* codec, vorlex_codec_funcs* funcs) {
    __atomic_add_fetch(&fixture_init_calls, 1, __ATOMIC_SEQ_CST);
#if FIXTURE_MODE == 1
    (void)codec;
    (void)funcs;
    return vorlex_error(VORLEX_STATUS_NO_SUCH_CODEC);
#else
#if FIXTURE_MODE == 4
    if (const char* marker = getenv("VORLEX_TEST_MARKER")) {
        const int fd = open(marker, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd >= 0) {
            const char* path = vorlex_codec_get_path(codec);
            (void)!write(fd, path, strlen(path));
            (void)!write(fd, "\n", 1);
            close(fd);
        }
    }
#else
    if (!vorlex::plugin::codec_is(codec, FIXTURE_NAME)) {
        return vorlex_error(VORLEX_STATUS_NO_SUCH_CODEC);
    }
#endif
    funcs->decompress_buffer = copy;
    funcs->get_max_compressed_size = bound;
#if FIXTURE_MODE == 3
    funcs->compress_buffer_presized = presized;
#else
    funcs->compress_buffer = copy;
#endif
    return VORLEX_STATUS_OK;
#endif
}
#endif
