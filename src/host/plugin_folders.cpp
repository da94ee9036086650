// Where plug-ins come from, and which plug-in files may be trusted.
#include "plugin_folders.hpp"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorlex::host {

namespace {

constexpr const char ENV_ORIGIN[] = "VORLEX_PLUGIN_PATH";
constexpr const char BESIDE_ORIGIN[] = "beside libvorlex";
constexpr const char PREFIX_ORIGIN[] = "installed prefix";

std::string parent_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string real_path(const std::string& path) {
    char* r = ::realpath(path.c_str(), nullptr);
    if (r == nullptr) return {};
    std::string s = r;
    ::free(r);
    return s;
}

// The folders found from the library itself: the one beside the file as it
// was loaded (a relocated or copied install finds its own plug-ins), then the
// one in the prefix the real file lies in, when a symbolic link to the
// library makes it another. VORLEX_PLUGIN_SUBDIR is the plug-in folder
// relative to the library's folder, the same for every prefix.
std::vector<PluginFolder> library_folders() {
    std::vector<PluginFolder> folders;
    Dl_info info;
    if (::dladdr(reinterpret_cast<void*>(&library_folders), &info) == 0 ||
        info.dli_fname == nullptr || info.dli_fname[0] == '\0') {
        return folders;
    }
    const std::string lib = info.dli_fname;
    // Resolved now, once: a library loaded by a relative name must not
    // follow later changes of the working folder, and names like
    // bin/../lib (from $ORIGIN) read better resolved.
    const std::string beside = real_path(parent_of(lib));
    if (!beside.empty()) {
        folders.push_back({beside + "/" VORLEX_PLUGIN_SUBDIR, BESIDE_ORIGIN, {}});
    }
    const std::string real = real_path(lib);
    if (!real.empty()) {
        std::string installed = parent_of(real) + "/" VORLEX_PLUGIN_SUBDIR;
        if (folders.empty() || folders[0].path != installed) {
            folders.push_back({std::move(installed), PREFIX_ORIGIN, {}});
        }
    }
    return folders;
}

const char* who_writes(mode_t mode) {
    const bool group = (mode & S_IWGRP) != 0, others = (mode & S_IWOTH) != 0;
    return group && others ? "group and others" : group ? "group" : others ? "others" : nullptr;
}

bool shared_sticky(const struct stat& st) {
    return st.st_uid == 0 && (st.st_mode & S_ISVTX) != 0;
}

bool ours(uid_t uid) { return uid == 0 || uid == ::geteuid(); }

// Walk from folder (an absolute, resolved path) to the root. child_uid owns
// the entry inside folder that we rely on.
std::string folder_chain_refusal(std::string folder, uid_t child_uid, const std::string& child) {
    std::string inner = child;
    for (;;) {
        struct stat st;
        if (::stat(folder.c_str(), &st) != 0) {
            return "cannot check folder " + folder + ": " + std::strerror(errno);
        }
        if (const char* who = who_writes(st.st_mode)) {
            if (!shared_sticky(st)) return "folder " + folder + " is writable by " + who;
            if (!ours(child_uid)) {
                return inner + " belongs to another user, in the shared folder " + folder;
            }
        }
        if (folder == "/") return {};
        inner = folder;
        child_uid = st.st_uid;
        folder = parent_of(folder);
    }
}

}  // namespace

std::vector<PluginFolder> plugin_folders() {
    std::vector<PluginFolder> folders;
    const char* env = ::secure_getenv(ENV_ORIGIN);
    if (env == nullptr && std::getenv(ENV_ORIGIN) != nullptr) {
        folders.push_back({std::getenv(ENV_ORIGIN), ENV_ORIGIN,
                           "ignored: the program runs set-user-ID or set-group-ID"});
    } else if (env != nullptr) {
        const std::string s = env;
        size_t start = 0;
        while (start <= s.size()) {
            size_t end = s.find(':', start);
            if (end == std::string::npos) end = s.size();
            std::string entry = s.substr(start, end - start);
            // An empty entry means the working folder to many path
            // variables; here it, like any relative entry, would let
            // whoever controls the working folder choose our code.
            const char* skipped = entry.empty()    ? "empty entry"
                                  : entry[0] != '/' ? "relative path"
                                                    : nullptr;
            folders.push_back({std::move(entry), ENV_ORIGIN, skipped ? skipped : ""});
            start = end + 1;
        }
    }
    static const std::vector<PluginFolder> from_library = library_folders();
    folders.insert(folders.end(), from_library.begin(), from_library.end());
    return folders;
}

std::vector<std::string> searched_folders() {
    std::vector<std::string> dirs;
    for (PluginFolder& f : plugin_folders()) {
        if (f.skipped.empty()) dirs.push_back(std::move(f.path));
    }
    return dirs;
}

std::string describe_search(const std::vector<PluginFolder>& folders) {
    std::string searched, skipped;
    for (const PluginFolder& f : folders) {
        std::string& to = f.skipped.empty() ? searched : skipped;
        to += to.empty() ? "" : ", ";
        to += f.skipped.empty() ? f.path
                                : "'" + f.path + "' in " + f.origin + " (" + f.skipped + ")";
    }
    std::string text = "searched " + (searched.empty() ? std::string("no folder") : searched);
    if (!skipped.empty()) text += "; skipped " + skipped;
    return text;
}

std::string plugin_file_refusal(const std::string& path) {
    struct stat link;
    if (::lstat(path.c_str(), &link) != 0) return std::string("cannot check: ") + std::strerror(errno);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::string("cannot check: ") + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    if (const char* who = who_writes(st.st_mode)) return std::string("writable by ") + who;
    // The folder the name is in (where a symbolic link could be swapped),
    // then the folders of the file it leads to.
    const std::string named_folder = real_path(parent_of(path));
    const std::string real = real_path(path);
    if (named_folder.empty() || real.empty()) {
        return std::string("cannot resolve the path: ") + std::strerror(errno);
    }
    std::string why = folder_chain_refusal(named_folder, link.st_uid, path);
    if (why.empty() && parent_of(real) != named_folder) {
        why = folder_chain_refusal(parent_of(real), st.st_uid, real);
    }
    return why;
}

}  // namespace vorlex::host
