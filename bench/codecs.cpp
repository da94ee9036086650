#include "codecs.hpp"

namespace vorlex::bench {
namespace {

class HostSubject final : public Subject {
public:
    explicit HostSubject(vorlex_codec* codec)
        : Subject(vorlex_codec_get_name(codec), false),
          codec_(codec),
          records_size_(vorlex_codec_records_size(codec) != 0) {}

    size_t compress_capacity(size_t n) const override {
        const size_t bound = vorlex_get_max_compressed_size(codec_, n);
        // A codec that names no bound gets the same allowance vorlex.hpp gives.
        return bound != 0 ? bound : n + n / 2 + 1024;
    }

    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        size_t length = out.size();
        const vorlex_status st =
            vorlex_compress(codec_, out.data(), &length, in.data(), in.size(), nullptr);
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
};

}  // namespace

std::unique_ptr<Subject> make_host_subject(vorlex_codec* codec) {
    return std::make_unique<HostSubject>(codec);
}

std::vector<std::unique_ptr<Subject>> load_codecs(const std::vector<std::string>& names,
                                                  std::string& error) {
    std::vector<vorlex_codec*> handles;
    if (names.empty()) {
        handles.resize(vorlex_list_codecs(nullptr, 0));
        handles.resize(vorlex_list_codecs(handles.data(), handles.size()));
        if (handles.empty()) {
            error = "no codec plug-ins found (set VORLEX_PLUGIN_PATH?)";
            return {};
        }
    }
    for (const std::string& name : names) {
        vorlex_codec* c = vorlex_get_codec(name.c_str());
        if (c == nullptr) {
            const char* why = vorlex_get_codec_error(name.c_str());
            error = "codec " + name + ": " + (why != nullptr ? why : "cannot be loaded");
            return {};
        }
        handles.push_back(c);
    }
    std::vector<std::unique_ptr<Subject>> out;
    for (vorlex_codec* c : handles) out.push_back(make_host_subject(c));
    return out;
}

}  // namespace vorlex::bench
