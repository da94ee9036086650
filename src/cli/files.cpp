// Input opening, temporary outputs, the atomic rename, signal cleanup and the
// standard descriptors.
#include "files.hpp"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "failure.hpp"

namespace vorlex::cli {

namespace {

// The temporary file the signal handler removes. One file is in progress at
// a time; the path is written only with the handled signals blocked.
char g_temp_path[PATH_MAX];
volatile sig_atomic_t g_have_temp = 0;

// Every signal whose default action ends the process (SIGXFSZ, from a file
// size limit, among them), the real-time ones aside (added at run time).
constexpr int FATAL_SIGNALS[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT,
                                 SIGBUS,  SIGFPE,  SIGUSR1,   SIGSEGV, SIGUSR2, SIGPIPE,
                                 SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGXFSZ, SIGVTALRM,
                                 SIGPROF, SIGPOLL, SIGPWR,    SIGSYS};

extern "C" void on_fatal_signal(int sig) {
    if (g_have_temp) ::unlink(g_temp_path);
    ::signal(sig, SIG_DFL);
    ::raise(sig);  // delivered, with the default action, once the handler returns
}

class SignalsBlocked {
public:
    SignalsBlocked() {
        sigset_t set;
        sigfillset(&set);
        pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

private:
    sigset_t old_;
};

void set_temp(const std::string& path) {
    SignalsBlocked blocked;
    if (path.empty()) {
        g_have_temp = 0;
        return;
    }
    std::memcpy(g_temp_path, path.c_str(), path.size() + 1);  // fits: mkstemp made it
    g_have_temp = 1;
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// fsync, through interruptions. An object that cannot be synced (EINVAL:
// a pipe, a terminal, some special file systems) has nothing to make durable.
bool sync_fd(int fd) {
    while (::fsync(fd) != 0) {
        if (errno == EINVAL) return true;
        if (errno != EINTR) return false;
    }
    return true;
}

// The folder's entry for a renamed file reaches the disk only when the folder
// itself is synced. Nothing here allocates unless it fails: once the file is
// in place, a lack of memory must not turn the success into a failure.
void sync_folder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) fail_errno("cannot open the folder " + folder + " to sync it");
    const bool ok = sync_fd(fd);
    const int saved = errno;
    ::close(fd);
    errno = saved;
    if (!ok) fail_errno("cannot sync the folder " + folder + " to disk (fsync)");
}

mode_t current_umask() {
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
}

void handle_if_default(int sig, const struct sigaction& sa) {
    struct sigaction old {};
    // A signal ignored by whoever started us stays ignored (nohup), and one
    // already handled (a sanitizer's fault handler) keeps its handler.
    if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL ||
        (old.sa_flags & SA_SIGINFO) != 0) {
        return;
    }
    ::sigaction(sig, &sa, nullptr);
}

// The longest file name the folder takes.
size_t name_max(const std::string& folder) {
    const long n = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return n > 0 ? size_t(n) : size_t(NAME_MAX);
}

}  // namespace

void install_signal_handlers() {
    struct sigaction sa {};
    sa.sa_handler = on_fatal_signal;
    sigemptyset(&sa.sa_mask);
    for (int s : FATAL_SIGNALS) handle_if_default(s, sa);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) handle_if_default(s, sa);
}

bool open_missing_standard_descriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor is this one: the ones below are open.
        const int got = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (got != fd) {
            if (got >= 0) ::close(got);
            return false;
        }
    }
    return true;
}

// ---- Input -----------------------------------------------------------------

Input::Input(const std::string& path, bool force) {
    if (path == "-") {
        fd_ = STDIN_FILENO;
        is_stdin_ = true;
        name_ = "stdin";
        if (::fstat(fd_, &st_) != 0) fail_errno("cannot read standard input");
        return;
    }
    path_ = name_ = path;
    // Not blocking: a FIFO with no writer must be refused at once, not wait.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) fail_errno("cannot open");
    try {
        check_and_settle(force);
    } catch (...) {
        if (fd_ >= 0) ::close(fd_);  // no destructor runs for a throwing constructor
        throw;
    }
}

void Input::check_and_settle(bool force) {
    if (::fstat(fd_, &st_) != 0) fail_errno("cannot read");
    if (S_ISDIR(st_.st_mode)) throw Failure("is a directory (use -r to walk it)");
    if (!S_ISREG(st_.st_mode)) {
        // A FIFO, device or socket may never end (/dev/zero) or never start.
        if (!force) throw Failure("not a regular file; not read (use -f to read it)");
        // Forced: wait for the writer, as reading a FIFO normally does. The
        // descriptor stays open while waiting: closing it to reopen blocking
        // would leave a writer that has already connected with no reader,
        // and it would die of SIGPIPE. poll() on a FIFO no writer has opened
        // yet reports nothing, so it returns once data or a hang-up arrives.
        if (S_ISFIFO(st_.st_mode)) wait_for_writer();
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) fail_errno("cannot read");
}

void Input::wait_for_writer() {
    struct pollfd pfd = {fd_, POLLIN, 0};
    while (::poll(&pfd, 1, -1) < 0) {
        if (errno != EINTR) fail_errno("cannot read");
    }
}

Input::~Input() {
    if (!is_stdin_ && fd_ >= 0) ::close(fd_);
}

uint64_t Input::size() const { return S_ISREG(st_.st_mode) ? uint64_t(st_.st_size) : 0; }

void sync_standard_output() {
    struct stat st;
    if (::fstat(STDOUT_FILENO, &st) != 0 || !S_ISREG(st.st_mode)) return;
    if (!sync_fd(STDOUT_FILENO)) fail_errno("cannot sync standard output to disk (fsync)");
}

namespace {

bool same_time(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// How `now` differs from what the input was when it was opened, or "".
std::string difference(const struct stat& was, const struct stat& now) {
    if (now.st_dev != was.st_dev || now.st_ino != was.st_ino) return "it was replaced by another file";
    if (now.st_size != was.st_size) {
        return "its size went from " + std::to_string(was.st_size) + " to " +
               std::to_string(now.st_size) + " bytes";
    }
    if (!same_time(now.st_mtim, was.st_mtim)) return "it was modified";
    if (!same_time(now.st_ctim, was.st_ctim)) return "its status changed";
    return {};
}

[[noreturn]] void keep_input(const std::string& why) {
    throw Failure("not removed: " + why + " while it was processed");
}

}  // namespace

void check_input_unchanged(const Input& input) {
    if (input.is_stdin()) return;
    struct stat now;
    if (::fstat(input.fd(), &now) != 0) fail_errno("not removed: cannot check the input");
    const std::string why = difference(input.status(), now);
    if (!why.empty()) keep_input(why);
}

void remove_unchanged(const std::string& path, const struct stat& was) {
    struct stat now;
    if (::stat(path.c_str(), &now) != 0) {
        if (errno == ENOENT) keep_input("its name went away");
        fail_errno("not removed: cannot check the input");
    }
    const std::string why = difference(was, now);
    if (!why.empty()) keep_input(why);
    if (::unlink(path.c_str()) != 0) fail_errno("cannot remove the input");
}

void remove_input(const Input& input) {
    if (input.is_stdin()) return;
    // The name first: a file renamed over it also changes the status of
    // the one still open, and "replaced" is the better reason.
    struct stat now;
    if (::stat(input.path().c_str(), &now) == 0 &&
        (now.st_dev != input.status().st_dev || now.st_ino != input.status().st_ino)) {
        keep_input("it was replaced by another file");
    }
    check_input_unchanged(input);
    remove_unchanged(input.path(), input.status());
}

// ---- Output ----------------------------------------------------------------

Output::Output() : fd_(STDOUT_FILENO) {}

Output::Output(const std::string& path, bool force, const Input& input)
    : fd_(-1), path_(path), force_(force) {
    struct stat existing;
    if (::stat(path.c_str(), &existing) == 0) {
        if (!input.is_stdin() && existing.st_dev == input.status().st_dev &&
            existing.st_ino == input.status().st_ino) {
            throw Failure("input and output are the same file");
        }
        if (!force) throw Failure(path + " already exists; not overwritten (use -f)");
        if (S_ISDIR(existing.st_mode)) throw Failure(path + " is a directory");
        if (!S_ISREG(existing.st_mode) && open_in_place()) return;
    }
    // Once the file exists nothing here may throw: a constructor that throws
    // gets no destructor call, and the file would be left behind.
    folder_ = folder_of(path);
    // The temporary name is the final one plus 8 characters; where that
    // would be too long, a shorter part of the final name is used.
    std::string base = base_of(path);
    const size_t longest = name_max(folder_);
    if (base.size() + 8 > longest && longest > 8) base.resize(longest - 8);
    temp_ = folder_ + "/." + base + ".XXXXXX";
    if (temp_.size() >= sizeof g_temp_path) throw Failure(path + ": name too long");
    {
        // No signal may come between creating the file and recording it for
        // the handler, or the file would be left behind.
        SignalsBlocked blocked;
        fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);  // mode 0600 until commit
        if (fd_ >= 0) set_temp(temp_);
    }
    if (fd_ < 0) fail_errno("cannot create a file in " + folder_);

    if (input.is_stdin() || !S_ISREG(input.status().st_mode)) {
        mode_ = 0666 & ~current_umask();
        times_[0].tv_nsec = times_[1].tv_nsec = UTIME_OMIT;
    } else {
        mode_ = input.status().st_mode & 0777;
        times_[0] = input.status().st_atim;
        times_[1] = input.status().st_mtim;
        keep_owner_ = true;
        uid_ = input.status().st_uid;
        gid_ = input.status().st_gid;
    }
}

// An existing output that is not a regular file (a device, a FIFO, or a
// symbolic link to one) is written into, never replaced: replacing
// /dev/null with a file, or a FIFO with a file nobody reads, breaks it.
bool Output::open_in_place() {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) fail_errno("cannot open " + path_);
    struct stat st;
    if (::fstat(fd_, &st) == 0 && !S_ISREG(st.st_mode)) {
        in_place_ = true;
        return true;
    }
    // It became a regular file meanwhile: that one is replaced as usual.
    ::close(fd_);
    fd_ = -1;
    return false;
}

Output::~Output() {
    if (!committed_) discard();
}

void Output::discard() {
    if (path_.empty()) return;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (in_place_) return;
    ::unlink(temp_.c_str());
    set_temp("");
}

void Output::commit() {
    if (path_.empty()) return;
    if (in_place_) {
        const int fd = fd_;
        fd_ = -1;
        const bool synced = sync_fd(fd);
        const int saved = errno;
        if (::close(fd) != 0 && synced) fail_errno("write error on " + path_);
        errno = saved;
        if (!synced) fail_errno("cannot sync " + path_ + " to disk (fsync)");
        committed_ = true;
        return;
    }
    // The input's owner and group where we may (root, or a group of ours),
    // as gzip does; not being allowed is no failure. Permissions meant for a
    // group we could not keep are not handed to ours.
    mode_t mode = mode_;
    if (keep_owner_ && ::fchown(fd_, uid_, gid_) != 0 && ::fchown(fd_, uid_t(-1), gid_) != 0) {
        mode = (mode & ~mode_t(070)) | (mode & (mode & 07) << 3);
    }
    if (::fchmod(fd_, mode) != 0) fail_errno("cannot set the permissions of " + path_);
    ::futimens(fd_, times_);  // best effort, as gzip does
    // The data reaches the disk before its name does: after a crash the
    // name then shows the whole file or nothing, never a torn one.
    if (!sync_fd(fd_)) fail_errno("cannot sync " + path_ + " to disk (fsync)");
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail_errno("write error on " + path_);
    if (force_) {
        if (::rename(temp_.c_str(), path_.c_str()) != 0) {
            fail_errno("cannot rename the temporary file to " + path_);
        }
    } else if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, path_.c_str(),
                           RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) throw Failure(path_ + " already exists; not overwritten (use -f)");
        if (errno != EINVAL && errno != ENOSYS) {
            fail_errno("cannot rename the temporary file to " + path_);
        }
        // The file system cannot rename without replacing: a hard link
        // refuses an existing name just as well.
        if (::link(temp_.c_str(), path_.c_str()) != 0) {
            if (errno == EEXIST) {
                throw Failure(path_ + " already exists; not overwritten (use -f)");
            }
            fail_errno("cannot create " + path_);
        }
        ::unlink(temp_.c_str());
    }
    committed_ = true;
    set_temp("");
    // Only a synced folder keeps the new name over a crash; until then the
    // input must stay (the caller removes it after this returns).
    sync_folder(folder_);
}

}  // namespace vorlex::cli
