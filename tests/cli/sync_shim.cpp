// LD_PRELOAD library for durability.sh: records each call that makes a result
// durable or moves or removes a name (fsync, rename, renameat2, link, unlink)
// as one line of $SYNC_SHIM_LOG, and fails with EIO the kind of call named by
// $SYNC_SHIM_FAIL (fsync-file, fsync-dir, rename, unlink). $SYNC_SHIM_CHANGE
// ("append:PATH", "touch:PATH" or "replace:PATH") plays another program
// changing an input while the tool works: at the first fsync of a file it
// appends a byte to PATH, sets its modification time, or renames a new file
// over it.
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

void change_input() {
    static bool done = false;
    const char* c = getenv("SYNC_SHIM_CHANGE");
    if (done || c == nullptr) return;
    done = true;
    const char* colon = strchr(c, ':');
    if (colon == nullptr) return;
    const char* path = colon + 1;
    const size_t kind = size_t(colon - c);
    if (kind == 6 && strncmp(c, "append", kind) == 0) {
        const int fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd >= 0) {
            (void)!write(fd, "+", 1);
            close(fd);
        }
    } else if (kind == 5 && strncmp(c, "touch", kind) == 0) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
        utimensat(AT_FDCWD, path, times, 0);
    } else if (kind == 7 && strncmp(c, "replace", kind) == 0) {
        char other[PATH_MAX];
        snprintf(other, sizeof other, "%s.new", path);
        const int fd = open(other, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) close(fd);
        next<int (*)(const char*, const char*)>("rename")(other, path);
    }
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
    if (strcmp(what, "fsync-file") == 0) change_input();
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
