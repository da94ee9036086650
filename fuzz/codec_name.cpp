// The host's codec-name lookup on arbitrary names. A name is looked up only
// when it is 1 to 64 of a-z, 0-9, '_' and '-' (anything else, '/' and '.'
// included, never reaches the file system); a lookup either gives a handle or
// a reason, never both; a handle is the listed codec of exactly that name and
// the same handle every time.
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include <vorlex/vorlex.h>

#include "support/check.hpp"
#include "support/host.hpp"

namespace {

bool valid_name(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

const std::set<std::string>& listed() {
    static const std::set<std::string> names = [] {
        vorlex::fuzz::codec("copy");  // sets the plug-in folder
        vorlex_codec* codecs[64];
        const size_t n = vorlex_list_codecs(codecs, 64);
        FUZZ_CHECK(n <= 64);
        std::set<std::string> s;
        for (size_t i = 0; i < n; ++i) s.insert(vorlex_codec_get_name(codecs[i]));
        return s;
    }();
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::set<std::string>& known = listed();
    // The name is the input up to its first NUL, as a C caller would pass it.
    std::string name(reinterpret_cast<const char*>(data), size);
    name.resize(std::strlen(name.c_str()));

    vorlex_codec* c = vorlex_get_codec(name.c_str());
    const char* why = vorlex_get_codec_error(name.c_str());
    FUZZ_CHECK((c == nullptr) != (why == nullptr));
    if (!valid_name(name)) FUZZ_CHECK(c == nullptr);
    FUZZ_CHECK((c != nullptr) == (known.count(name) == 1));
    if (c != nullptr) {
        FUZZ_CHECK(std::strcmp(vorlex_codec_get_name(c), name.c_str()) == 0);
        FUZZ_CHECK(vorlex_codec_get_path(c)[0] != '\0');
        FUZZ_CHECK(vorlex_get_codec(name.c_str()) == c);
    } else {
        FUZZ_CHECK(why[0] != '\0');
    }
    return 0;
}
