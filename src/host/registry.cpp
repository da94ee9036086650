// Plug-in discovery and loading. A codec NAME comes from the first
// libvorlex-plugin-NAME.so, in search order (plugin_folders.hpp), that may be
// trusted, loads and accepts the name; every candidate passed over is
// remembered with the reason. A name with a plug-in file is resolved once (std::call_once),
// whatever the number of threads asking; the outcome, success or the reason
// for failure, is kept for the life of the process, so handles never dangle.
// A name with no file anywhere leaves nothing behind: names can come from
// untrusted data (a container header, a command line), and remembering each
// distinct unknown one would let such data grow the process without bound.
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <vorlex/vorlex.h>

#include "codec.hpp"
#include "frame/buffer.hpp"
#include "plugin_folders.hpp"

namespace vorlex::host {

bool is_valid_codec_name(const char* name) {
    if (name == nullptr) return false;
    size_t n = 0;
    for (; name[n] != '\0'; ++n) {
        const char c = name[n];
        const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!ok || n >= 64) return false;
    }
    return n != 0;
}

namespace {

constexpr const char PREFIX[] = "libvorlex-plugin-";
constexpr const char SUFFIX[] = ".so";

struct Entry {
    std::once_flag once;
    vorlex_codec codec;
    bool loaded = false;
    std::string error;
    std::string passed_over;  // candidates refused or failed, even when another loaded
};

class Registry {
public:
    Entry* find(const std::string& name) {
        std::lock_guard lock(mutex_);
        const auto it = entries_.find(name);
        return it == entries_.end() ? nullptr : it->second.get();
    }

    Entry& entry(const std::string& name) {
        std::lock_guard lock(mutex_);
        auto& slot = entries_[name];
        if (!slot) {
            slot = std::make_unique<Entry>();
            slot->codec.name = name;
        }
        return *slot;
    }

    template <class F>
    void for_each_loaded(F f) {
        std::lock_guard lock(mutex_);
        for (auto& [name, e] : entries_) {
            if (e->loaded) f(e->codec);
        }
    }

    // Texts handed out that belong to no entry live here for good; there are
    // as many as distinct folder lists and reports, not names.
    const char* keep(std::string text) {
        std::lock_guard lock(mutex_);
        return texts_.insert(std::move(text)).first->c_str();
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::unique_ptr<Entry>> entries_;
    std::set<std::string> texts_;
};

Registry& registry() {
    static Registry r;
    return r;
}

// Try one file: load it, find the entry point, ask it for the codec. On
// success the library stays loaded for good; on failure it is closed and the
// reason returned.
bool try_plugin(const std::string& path, vorlex_codec& codec, std::string& why) {
    void* lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        const char* e = ::dlerror();
        why = std::string("cannot load ") + path + ": " + (e ? e : "unknown error");
        return false;
    }
    void* sym = ::dlsym(lib, "vorlex_plugin_init_codec");
    if (sym == nullptr) {
        why = path + ": not a vorlex plug-in (no vorlex_plugin_init_codec)";
        ::dlclose(lib);
        return false;
    }
    auto init = reinterpret_cast<vorlex_plugin_init_codec_func>(sym);
    // The plug-in fills a scratch table: a refusal leaves nothing half-written.
    vorlex_codec_funcs funcs{};
    codec.path = path;
    const vorlex_status st = init(&codec, &funcs);
    if (st != VORLEX_STATUS_OK) {
        why = path + ": plug-in refused codec '" + codec.name + "' (" + vorlex_status_to_string(st) +
              ")";
        codec.path.clear();
        codec.has_levels = false;
        codec.compress_block = codec.decompress_block = nullptr;
        codec.release = nullptr;
        ::dlclose(lib);
        return false;
    }
    codec.funcs = funcs;
    return true;
}

constexpr const char NOT_FOUND[] = "no plug-in file of that name was found";

// The names in the plug-in folders for NAME, in search order: whatever is
// there, file or not, so that what is refused is refused with a reason.
std::vector<std::string> plugin_files(const std::string& name) {
    std::vector<std::string> paths;
    for (const std::string& dir : searched_folders()) {
        std::string path = dir + "/" + PREFIX + name + SUFFIX;
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0) paths.push_back(std::move(path));
    }
    return paths;
}

std::string not_found_text() {
    return std::string(NOT_FOUND) + " (" + describe_search(plugin_folders()) + ")";
}

void load(Entry& e) {
    std::string& reasons = e.passed_over;
    for (const std::string& path : plugin_files(e.codec.name)) {
        std::string why = plugin_file_refusal(path);
        if (!why.empty()) {
            why = path + ": refused: " + why;
        } else if (try_plugin(path, e.codec, why)) {
            e.loaded = true;
            return;
        }
        reasons += (reasons.empty() ? "" : "; ") + why;
    }
    // The file can vanish between the look and the load.
    e.error = (reasons.empty() ? std::string(NOT_FOUND) : reasons) + " (" +
              describe_search(plugin_folders()) + ")";
}

// The codec names with a file in the plug-in folders, sorted, once each.
std::vector<std::string> names_present() {
    std::vector<std::string> names;
    for (const std::string& dir : searched_folders()) {
        DIR* d = ::opendir(dir.c_str());
        if (d == nullptr) continue;
        while (const dirent* ent = ::readdir(d)) {
            const std::string f = ent->d_name;
            const size_t pre = sizeof PREFIX - 1;
            const size_t suf = sizeof SUFFIX - 1;
            if (f.size() <= pre + suf || f.compare(0, pre, PREFIX) != 0 ||
                f.compare(f.size() - suf, suf, SUFFIX) != 0) {
                continue;
            }
            std::string name = f.substr(pre, f.size() - pre - suf);
            if (is_valid_codec_name(name.c_str())) names.push_back(std::move(name));
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

// The outcome for a valid NAME: a loaded entry, a remembered failure, or
// nullptr when no plug-in file of that name exists.
Entry* resolve(const std::string& name) {
    Entry* e = registry().find(name);
    if (e == nullptr) {
        if (plugin_files(name).empty()) return nullptr;
        e = &registry().entry(name);
    }
    std::call_once(e->once, load, *e);
    return e;
}

}  // namespace

void release_plugin_memory() {
    registry().for_each_loaded([](vorlex_codec& c) {
        if (c.release != nullptr) c.release();
    });
}

}  // namespace vorlex::host

using vorlex::host::is_valid_codec_name;
using vorlex::host::resolve;

extern "C" {

vorlex_codec* vorlex_get_codec(const char* name) {
    try {
        if (!is_valid_codec_name(name)) return nullptr;
        vorlex::host::Entry* e = resolve(name);
        return e != nullptr && e->loaded ? &e->codec : nullptr;
    } catch (...) {
        return nullptr;
    }
}

const char* vorlex_get_codec_error(const char* name) {
    try {
        if (!is_valid_codec_name(name)) {
            return "invalid codec name (use lower-case letters, digits, '_' and '-')";
        }
        vorlex::host::Entry* e = resolve(name);
        if (e == nullptr) return vorlex::host::registry().keep(vorlex::host::not_found_text());
        return e->loaded ? nullptr : e->error.c_str();
    } catch (...) {
        return "out of memory";
    }
}

size_t vorlex_list_codecs(vorlex_codec** codecs, size_t capacity) {
    if (codecs == nullptr) capacity = 0;  // count only
    try {
        size_t count = 0;
        for (const std::string& n : vorlex::host::names_present()) {
            vorlex_codec* c = vorlex_get_codec(n.c_str());
            if (c == nullptr) continue;
            if (count < capacity) codecs[count] = c;
            ++count;
        }
        return count;
    } catch (...) {
        return 0;
    }
}

const char* vorlex_plugin_search_report(void) {
    try {
        using namespace vorlex::host;
        std::string text = "plug-in folders, in search order:\n";
        std::string skipped;
        for (const PluginFolder& f : plugin_folders()) {
            if (f.skipped.empty()) {
                text += "  " + f.path + " (" + f.origin + ")\n";
            } else {
                skipped += "  '" + f.path + "' in " + f.origin + ": " + f.skipped + "\n";
            }
        }
        if (!skipped.empty()) text += "not searched:\n" + skipped;
        std::string refused;
        for (const std::string& n : names_present()) {
            Entry* e = resolve(n);
            if (e != nullptr && !e->passed_over.empty()) refused += "  " + e->passed_over + "\n";
        }
        if (!refused.empty()) text += "passed over:\n" + refused;
        return registry().keep(std::move(text));
    } catch (...) {
        return "out of memory";
    }
}

const char* vorlex_codec_get_name(vorlex_codec* codec) {
    return codec != nullptr ? codec->name.c_str() : nullptr;
}
const char* vorlex_codec_get_path(vorlex_codec* codec) {
    return codec != nullptr ? codec->path.c_str() : nullptr;
}
uint32_t vorlex_codec_get_info_flags(vorlex_codec* codec) {
    return codec != nullptr ? codec->funcs.info_flags : 0;
}

int vorlex_codec_records_size(vorlex_codec* codec) {
    return codec != nullptr && codec->funcs.get_uncompressed_size != nullptr;
}

int vorlex_codec_needs_exact_size(vorlex_codec* codec) {
    return codec != nullptr && (codec->funcs.info_flags & VORLEX_INFO_EXACT_SIZE) != 0;
}

void vorlex_codec_set_block_form(vorlex_codec* codec, vorlex_buffer_func compress_block,
                                 vorlex_buffer_func decompress_block) {
    if (codec == nullptr) return;
    // Half a block form is none: data written in it could not be read back.
    const bool both = compress_block != nullptr && decompress_block != nullptr;
    codec->compress_block = both ? compress_block : nullptr;
    codec->decompress_block = both ? decompress_block : nullptr;
}

void vorlex_codec_set_release(vorlex_codec* codec, vorlex_release_func release) {
    if (codec != nullptr) codec->release = release;
}

int vorlex_codec_has_block_form(vorlex_codec* codec) {
    return codec != nullptr && codec->decompress_block != nullptr;
}

void vorlex_release_cached_memory(void) {
    vorlex::frame::release_kept_blocks();
    try {
        vorlex::host::release_plugin_memory();
    } catch (...) {
        // Only the registry's lock can throw; nothing was released then.
    }
}

}  // extern "C"
