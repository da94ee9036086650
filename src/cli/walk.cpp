// The recursive walk: lstat on everything found inside a folder, so a link is
// seen as a link, and entries sorted by name, so a run's order is the same on
// every file system.
#include "walk.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

namespace vorlex::cli {

namespace {

bool has_suffix(const std::string& name, const std::string& suffix) {
    return name.size() > suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class Walker {
public:
    Walker(const std::string& suffix, bool compressing, const Reporter& reporter)
        : suffix_(suffix), compressing_(compressing), reporter_(reporter) {}

    void name(const std::string& path) {
        struct stat st;
        if (path == "-" || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            // Opening it reports what is wrong, if anything.
            return file(path);
        }
        folder(path);
    }

    WalkResult result;

private:
    void file(const std::string& path) {
        if (path != "-" && compressing_ == has_suffix(path, suffix_)) {
            reporter_.note(path, compressing_ ? "already has the " + suffix_ + " suffix; skipped"
                                              : "no " + suffix_ + " suffix; skipped");
            return;
        }
        // The same file under two names (a folder named twice, "d" and
        // "d/", a link named beside its target) is taken once: twice would
        // store it twice, and --rm would then fail on the second removal.
        struct stat st;
        if (path != "-" && ::stat(path.c_str(), &st) == 0) {
            const auto [at, fresh] = seen_.emplace(std::pair(st.st_dev, st.st_ino), path);
            if (!fresh) {
                reporter_.note(path, "same file as " + at->second + "; taken once");
                return;
            }
        }
        result.files.push_back(path);
    }

    void folder(const std::string& path) {
        std::vector<std::string> entries;
        if (!list(path, entries)) {
            reporter_.error(path, std::string("cannot read the folder: ") + std::strerror(errno));
            result.all_ok = false;
            return;
        }
        const std::string prefix = path.back() == '/' ? path : path + "/";
        for (const std::string& entry : entries) {
            const std::string child = prefix + entry;
            struct stat st;
            if (::lstat(child.c_str(), &st) != 0) {
                reporter_.error(child, std::string("cannot read: ") + std::strerror(errno));
                result.all_ok = false;
            } else if (S_ISLNK(st.st_mode)) {
                reporter_.note(child, "is a symbolic link; left alone");
            } else if (S_ISDIR(st.st_mode)) {
                folder(child);
            } else if (S_ISREG(st.st_mode)) {
                file(child);
            } else {
                reporter_.note(child, "not a regular file; left alone");
            }
        }
    }

    // The names in the folder but . and .., sorted; false with errno set.
    static bool list(const std::string& path, std::vector<std::string>& names) {
        DIR* dir = ::opendir(path.c_str());
        if (dir == nullptr) return false;
        int error = 0;
        for (;;) {
            errno = 0;
            const dirent* e = ::readdir(dir);
            if (e == nullptr) {
                error = errno;
                break;
            }
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                names.emplace_back(e->d_name);
            }
        }
        ::closedir(dir);
        errno = error;
        std::sort(names.begin(), names.end());
        return error == 0;
    }

    std::map<std::pair<dev_t, ino_t>, std::string> seen_;  // files taken, by identity
    std::string suffix_;
    bool compressing_;
    const Reporter& reporter_;
};

}  // namespace

WalkResult walk(const std::vector<std::string>& names, const std::string& suffix,
                bool compressing, const Reporter& reporter) {
    Walker w(suffix, compressing, reporter);
    for (const std::string& n : names) w.name(n);
    return std::move(w.result);
}

}  // namespace vorlex::cli
