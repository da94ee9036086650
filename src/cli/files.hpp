// Inputs and outputs on disk. An output file is written under a temporary
// name in its destination folder and renamed into place only when everything
// succeeded; on failure, and on any signal that ends the process, the
// temporary file is removed, so a failed run leaves neither a partial file
// nor a changed input behind. Without -f an existing file is never replaced,
// not even one that appears while we work; with -f an existing output that
// is not a regular file (a device, a FIFO) is written into, never replaced.
#pragma once

#include <sys/stat.h>

#include <string>

namespace vorlex::cli {

// Catch every signal that ends the process, removing the temporary output.
void install_signal_handlers();

// Open /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that
// no file we open lands there (and gets progress text or a prompt written
// into it). False when that cannot be done.
bool open_missing_standard_descriptors();

class Input {
public:
    // "-" is standard input. Throws Failure when the file cannot be read,
    // and for a FIFO, device or socket unless force.
    Input(const std::string& path, bool force);
    ~Input();
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    int fd() const { return fd_; }
    bool is_stdin() const { return is_stdin_; }
    const std::string& path() const { return path_; }
    // The name messages use: the path, or "stdin".
    const std::string& name() const { return name_; }
    // Bytes in the file, 0 when not known (pipes).
    uint64_t size() const;
    const struct stat& status() const { return st_; }

private:
    // Refuse what may not be read, and make the descriptor blocking.
    void check_and_settle(bool force);
    // Block until a FIFO has data or its writer has come and gone.
    void wait_for_writer();

    int fd_ = -1;
    bool is_stdin_ = false;
    std::string path_, name_;
    struct stat st_ {};
};

class Output {
public:
    // Standard output: nothing to commit or remove.
    Output();
    // A temporary file beside `path`, to become `path` on commit. Throws
    // Failure when path exists (unless force) or is the input itself.
    Output(const std::string& path, bool force, const Input& input);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    int fd() const { return fd_; }
    bool is_file() const { return !path_.empty(); }
    // Give the file the input's permissions and times, sync it to disk, move
    // it into place and sync its folder; throws Failure naming the step that
    // failed (the file stays in place when only the folder sync failed).
    void commit();

private:
    bool open_in_place();
    void discard();

    int fd_;
    std::string path_, folder_, temp_;
    bool force_ = false;
    bool in_place_ = false;  // an existing device or FIFO, written directly
    bool keep_owner_ = false;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    mode_t mode_ = 0;
    struct timespec times_[2] {};
    bool committed_ = false;
};

// Sync standard output when it is a regular file, before --rm removes an
// input whose result went there (it has been flushed already).
void sync_standard_output();

// Remove the input after a successful run (--rm), only if it is still
// what was read: the open descriptor and the name must both show the
// device, inode, size, modification and status-change times seen when it
// was opened. Otherwise (data appended meanwhile, the file replaced or
// touched) it stays, and Failure says why.
void remove_input(const Input& input);

// The first half of remove_input, for a removal that comes later (-r -o):
// Failure unless the open input is unchanged.
void check_input_unchanged(const Input& input);
// The second half: removes path if it still names the file whose status
// was `was`; Failure otherwise.
void remove_unchanged(const std::string& path, const struct stat& was);

}  // namespace vorlex::cli
