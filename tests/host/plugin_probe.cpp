// plugin_probe CODEC: prints the host's plug-in search report, then loads
// CODEC: exit 0 when it loads, 1 (with the reason) when not.
#include <cstdio>

#include <vorlex/vorlex.h>

// Run set-user-ID, a process cannot be traced, so LeakSanitizer cannot work,
// and such a process does not read ASAN_OPTIONS: leak checking is off here.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: plugin_probe CODEC\n", stderr);
        return 2;
    }
    std::fputs(vorlex_plugin_search_report(), stdout);
    if (vorlex_get_codec(argv[1]) != nullptr) return 0;
    std::printf("%s: %s\n", argv[1], vorlex_get_codec_error(argv[1]));
    return 1;
}
