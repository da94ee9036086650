#include "codecs.hpp"

#include <string>
#include <utility>

#include <vorlex/vorlex.hpp>

namespace vorlex::bench {
namespace {

std::string subject_name(vorlex_codec* codec, std::optional<int> level) {
    const std::string name = vorlex_codec_get_name(codec);
    return level ? name + ':' + std::to_string(*level) : name;
}

class HostSubject final : public Subject {
public:
    HostSubject(vorlex_codec* codec, std::optional<int> level)
        : Subject(subject_name(codec, level), false),
          codec_(codec),
          records_size_(vorlex_codec_records_size(codec) != 0) {
        if (level) options_.set_level(*level);
    }

    size_t compress_capacity(size_t n) const override {
        const size_t bound = vorlex_get_max_compressed_size(codec_, n);
        // A codec that names no bound gets the same allowance vorlex.hpp gives.
        return bound != 0 ? bound : n + n / 2 + 1024;
    }

    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        size_t length = out.size();
        const vorlex_status st =
            vorlex_compress(codec_, out.data(), &length, in.data(), in.size(), options_.get());
        if (st <= 0) return vorlex_status_to_string(st);
        if (length > out.size()) return "compression reported more bytes than its capacity";
        produced = length;
        return nullptr;
    }

    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        // Data that records its size is read for it, as an application would;
        // for the others the caller must know it: brieflz takes it as the
        // exact size to produce, fari and lzjb as the output's capacity.
        size_t length = out.size();
        if (records_size_) {
            vorlex_status st = vorlex_get_uncompressed_size(codec_, in.data(), in.size(), &length);
            if (st <= 0) return vorlex_status_to_string(st);
            if (length > out.size()) return "recorded size exceeds the original size";
        }
        const vorlex_status st =
            vorlex_decompress(codec_, out.data(), &length, in.data(), in.size(), nullptr);
        if (st <= 0) return vorlex_status_to_string(st);
        if (length > out.size()) return "decompression reported more bytes than its capacity";
        produced = length;
        return nullptr;
    }

private:
    vorlex_codec* codec_;
    bool records_size_;
    vorlex::Options options_;
};

}  // namespace

std::unique_ptr<Subject> make_host_subject(vorlex_codec* codec, std::optional<int> level) {
    return std::make_unique<HostSubject>(codec, level);
}

std::vector<std::unique_ptr<Subject>> load_codecs(const std::vector<std::string>& names,
                                                  std::string& error,
                                                  std::vector<std::string>* warnings) {
    std::vector<std::pair<vorlex_codec*, std::optional<int>>> handles;
    if (names.empty()) {
        std::vector<vorlex_codec*> all(vorlex_list_codecs(nullptr, 0));
        all.resize(vorlex_list_codecs(all.data(), all.size()));
        if (all.empty()) {
            error = "no codec plug-ins found (set VORLEX_PLUGIN_PATH?)";
            return {};
        }
        for (vorlex_codec* c : all) handles.emplace_back(c, std::nullopt);
    }
    for (const std::string& item : names) {
        const size_t colon = item.find(':');
        const std::string name = item.substr(0, colon);
        std::optional<int> level;
        if (colon != std::string::npos) level = std::stoi(item.substr(colon + 1));
        vorlex_codec* c = vorlex_get_codec(name.c_str());
        if (c == nullptr) {
            const char* why = vorlex_get_codec_error(name.c_str());
            error = "codec " + name + ": " + (why != nullptr ? why : "cannot be loaded");
            return {};
        }
        int lo = 0, hi = 0;
        if (level && vorlex_codec_get_levels(c, &lo, &hi, nullptr) != VORLEX_STATUS_OK) {
            // As everywhere: a codec without levels ignores one, and says so.
            if (warnings != nullptr) {
                warnings->push_back("codec " + name + " has no compression levels; level " +
                                    std::to_string(*level) + " ignored");
            }
            level.reset();
        }
        if (level && (*level < lo || *level > hi)) {
            error = "codec " + name + " has no level " + std::to_string(*level) + " (levels " +
                    std::to_string(lo) + " to " + std::to_string(hi) + ")";
            return {};
        }
        handles.emplace_back(c, level);
    }
    std::vector<std::unique_ptr<Subject>> out;
    for (const auto& [c, level] : handles) out.push_back(make_host_subject(c, level));
    return out;
}

}  // namespace vorlex::bench
