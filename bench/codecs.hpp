// Our codecs as benchmark subjects: every call goes through libvorlex's
// buffer API (vorlex_compress / vorlex_decompress) and so through the loaded
// plug-in, exactly as an application would make it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <vorlex/vorlex.h>

#include "subject.hpp"

namespace vorlex::bench {

// level: the compression level to use, or none for the codec's default; the
// subject is then called "codec:level".
std::unique_ptr<Subject> make_host_subject(vorlex_codec* codec,
                                           std::optional<int> level = std::nullopt);

// The codecs called names ("zstd" or "zstd:9", at a level), or every codec the
// host lists when names is empty.
// On a name that does not load, or a level the codec does not have, returns
// an empty list and sets error. A level for a codec without levels is
// ignored, with a note in warnings (when given).
std::vector<std::unique_ptr<Subject>> load_codecs(const std::vector<std::string>& names,
                                                  std::string& error,
                                                  std::vector<std::string>* warnings = nullptr);

}  // namespace vorlex::bench
