// LD_PRELOAD library for durability.sh: records each call that makes a result
// durable or moves or removes a name (fsync, rename, renameat2, link, unlink)
// as one line of $SYNC_SHIM_LOG, and fails with EIO the kind of call named by
// $SYNC_SHIM_FAIL (fsync-file, fsync-dir, rename, unlink).
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

template <class F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void record(const char* what, const char* a, const char* b = nullptr) {
    const char* log = getenv("SYNC_SHIM_LOG");
    if (log == nullptr) return;
    const int saved = errno;
    const int fd = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
        char line[3 * PATH_MAX];
        const int n = snprintf(line, sizeof line, "%s %s%s%s\n", what, a, b ? " " : "", b ? b : "");
        if (n > 0) (void)!write(fd, line, size_t(n) < sizeof line ? size_t(n) : sizeof line);
        close(fd);
    }
    errno = saved;
}

bool failing(const char* what) {
    const char* f = getenv("SYNC_SHIM_FAIL");
    if (f == nullptr || strcmp(f, what) != 0) return false;
    errno = EIO;
    return true;
}

}  // namespace

extern "C" {

int fsync(int fd) {
    char path[PATH_MAX] = "?";
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n >= 0) path[n] = '\0';
    struct stat st;
    const char* what = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? "fsync-dir" : "fsync-file";
    record(what, path);
    if (failing(what)) return -1;
    return next<int (*)(int)>("fsync")(fd);
}

int rename(const char* from, const char* to) {
    record("rename", from, to);
    if (failing("rename")) return -1;
    return next<int (*)(const char*, const char*)>("rename")(from, to);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
    record("rename", from, to);
    if (failing("rename")) return -1;
    return next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2")(
        from_dir, from, to_dir, to, flags);
}

int link(const char* from, const char* to) {
    record("link", from, to);
    return next<int (*)(const char*, const char*)>("link")(from, to);
}

int unlink(const char* path) {
    record("unlink", path);
    if (failing("unlink")) return -1;
    return next<int (*)(const char*)>("unlink")(path);
}

}  // extern "C"
