// The vorlex binary end to end: round trips of every codec the build has,
// standard streams, several files, thread counts, every kind of damaged
// container, overwrite refusal, --rm, raw data, usage errors, terminals and
// signals. Each test runs the tool in a fresh folder and checks the exit
// code, the message and which files are left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xxhash.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <vorlex/vorlex.hpp>

#include "common/bytes.hpp"
#include "support/test_data.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using vorlex::Bytes;

struct Result {
    int status = -1;  // exit status, or -1 when killed
    int signal = 0;
    std::string out, err;
};

std::string tool() { return VORLEX_TOOL; }

Bytes read_file(const fs::path& p) { return vorlex::test::read_file(p); }
std::string read_text(const fs::path& p) {
    const Bytes b = read_file(p);
    return std::string(b.begin(), b.end());
}
void write_file(const fs::path& p, const Bytes& b) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

bool contains(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

// Text, incompressible and run stretches, so blocks are both compressed and stored.
Bytes mixed_content(size_t n, uint32_t seed) {
    Bytes b = vorlex::test::text_bytes(n / 2, seed);
    const Bytes r = vorlex::test::random_bytes(n / 4, seed + 1);
    b.insert(b.end(), r.begin(), r.end());
    b.resize(n, 'z');
    return b;
}

// Where the child's standard streams come from and go to.
struct Streams {
    std::string in;   // file in the work folder for standard input; /dev/null when empty
    int in_fd = -1;   // or this descriptor
    int out_fd = -1;  // standard output: this descriptor, else captured
};

Streams stdin_file(const std::string& name) { return {name, -1, -1}; }
Streams stdin_fd(int fd) { return {"", fd, -1}; }
Streams stdout_fd(int fd) { return {"", -1, fd}; }

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vorlex-cli-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    pid_t spawn(const std::vector<std::string>& args, const Streams& s) {
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
        if (s.in_fd >= 0) {
            posix_spawn_file_actions_adddup2(&fa, s.in_fd, 0);
        } else {
            const std::string in = s.in.empty() ? "/dev/null" : (dir / s.in).string();
            posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
        }
        if (s.out_fd >= 0) {
            posix_spawn_file_actions_adddup2(&fa, s.out_fd, 1);
        } else {
            posix_spawn_file_actions_addopen(&fa, 1, out_path().c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0600);
        }
        posix_spawn_file_actions_addopen(&fa, 2, err_path().c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<std::string> argv_s{tool()};
        argv_s.insert(argv_s.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argv_s) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
        return pid;
    }

    Result finish(pid_t pid) {
        Result r;
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
        r.out = read_text(out_path());
        r.err = read_text(err_path());
        fs::remove(out_path());
        fs::remove(err_path());
        return r;
    }

    Result run(const std::vector<std::string>& args, const Streams& s = Streams()) {
        return finish(spawn(args, s));
    }

    // Files in the work folder (the captured streams live beside it).
    std::set<std::string> files() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename());
        return names;
    }

    fs::path out_path() const { return dir.string() + ".stdout"; }
    fs::path err_path() const { return dir.string() + ".stderr"; }

    fs::path dir;
};

std::vector<vorlex::Codec> codecs() {
    auto all = vorlex::available_codecs();
    EXPECT_FALSE(all.empty());
    return all;
}

// ---- Round trips -----------------------------------------------------------------

TEST_F(Cli, EveryCodecRoundTripsSeveralFilesIncludingEmptyOnes) {
    const std::vector<std::pair<std::string, Bytes>> inputs = {
        {"empty", {}}, {"one", {'x'}}, {"mixed", mixed_content(100000, 1)}};
    for (const vorlex::Codec& c : codecs()) {
        const std::string name(c.name());
        for (const auto& [file, data] : inputs) write_file(dir / file, data);
        Result r = run({"--codec", name, "-B", "16K", "empty", "one", "mixed"});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(files(), (std::set<std::string>{"empty", "empty.vlx", "one", "one.vlx", "mixed",
                                                  "mixed.vlx"}))
            << name;
        r = run({"-t", "empty.vlx", "one.vlx", "mixed.vlx"});
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        for (const auto& [file, data] : inputs) fs::remove(dir / file);
        r = run({"-d", "--rm", "empty.vlx", "one.vlx", "mixed.vlx"});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        for (const auto& [file, data] : inputs) {
            EXPECT_EQ(read_file(dir / file), data) << name << " " << file;
            fs::remove(dir / file);
        }
        EXPECT_TRUE(files().empty()) << "--rm removed the containers";
    }
}

// A slice of every corpus file, through every codec, on two threads.
TEST_F(Cli, EveryCodecRoundTripsTheCorpus) {
    const auto corpus = vorlex::test::corpus_files();
    VORLEX_REQUIRE_CORPUS(corpus);
    Bytes all;
    for (const auto& f : corpus) {
        const Bytes b = read_file(f.path);
        all.insert(all.end(), b.begin(), b.begin() + long(std::min<size_t>(b.size(), 256 << 10)));
    }
    write_file(dir / "corpus", all);
    for (const vorlex::Codec& c : codecs()) {
        const std::string name(c.name());
        Result r = run({"-f", "-T2", "-B", "128K", "--codec", name, "corpus"});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        r = run({"-d", "-T2", "-c", "corpus.vlx"});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_TRUE(r.out == std::string(all.begin(), all.end())) << name;
    }
}

TEST_F(Cli, OutputIsTheSameWhateverTheThreadCount) {
    write_file(dir / "in", mixed_content(200000, 2));
    for (const vorlex::Codec& c : codecs()) {
        const std::string name(c.name());
        std::string first;
        for (const char* t : {"-T1", "-T2", "-T4"}) {
            const Result r = run({"-c", "-B", "4K", t, "--codec", name, "in"});
            ASSERT_EQ(r.status, 0) << name << " " << t << ": " << r.err;
            if (first.empty()) first = r.out;
            EXPECT_TRUE(r.out == first) << name << " " << t;
        }
    }
}

TEST_F(Cli, StandardInputToStandardOutput) {
    const Bytes data = mixed_content(50000, 3);
    write_file(dir / "in", data);
    Result r = run({}, stdin_file("in"));
    ASSERT_EQ(r.status, 0) << r.err;
    write_file(dir / "in.vlx", Bytes(r.out.begin(), r.out.end()));
    r = run({"-d"}, stdin_file("in.vlx"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == std::string(data.begin(), data.end()));
    r = run({"-d", "-c", "-"}, stdin_file("in.vlx"));
    EXPECT_TRUE(r.out == std::string(data.begin(), data.end()));
    r = run({"-c", "in"});
    EXPECT_EQ(read_file(dir / "in.vlx"), Bytes(r.out.begin(), r.out.end()))
        << "a file and a pipe give the same container";
    EXPECT_EQ(files(), (std::set<std::string>{"in", "in.vlx"})) << "-c writes no file";
}

TEST_F(Cli, AFailedFileDoesNotStopTheOthers) {
    write_file(dir / "a", {'a'});
    write_file(dir / "b", {'b'});
    const Result r = run({"a", "missing", "b"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vorlex: missing: cannot open: No such file or directory\n");
    EXPECT_EQ(files(), (std::set<std::string>{"a", "a.vlx", "b", "b.vlx"}));
}

TEST_F(Cli, ListShowsCodecSizesAndBlocks) {
    write_file(dir / "in", Bytes(10000, 'q'));
    ASSERT_EQ(run({"--codec", "copy", "-B", "4K", "in"}).status, 0);
    const Result r = run({"-l", "in.vlx"});
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t size = fs::file_size(dir / "in.vlx");
    EXPECT_TRUE(contains(r.out, "copy")) << r.out;
    EXPECT_TRUE(contains(r.out, " 4096        3 ")) << r.out;
    EXPECT_TRUE(contains(r.out, std::to_string(size) + "          10000")) << r.out;
    EXPECT_TRUE(contains(r.out, "in.vlx")) << r.out;
    // A filtered frame names its filter as --filter takes it.
    ASSERT_EQ(run({"--codec", "lz4", "--filter", "shuffle:4", "-o", "f.vlx", "in"}).status, 0);
    EXPECT_TRUE(run({"-l", "f.vlx"}).out.starts_with(
        "codec      block size   blocks     compressed       original   ratio  file\n"
        "lz4+shuffle:4"));
}

TEST_F(Cli, ListAddsATotalRowAndShowsNoRatioForAnEmptyContainer) {
    write_file(dir / "a", Bytes(10000, 'q'));
    write_file(dir / "empty", {});
    ASSERT_EQ(run({"--codec", "copy", "-B", "4K", "a", "empty"}).status, 0);
    Result r = run({"-l", "a.vlx"});
    EXPECT_FALSE(contains(r.out, "total")) << "one file, no total: " << r.out;
    r = run({"-l", "a.vlx", "empty.vlx"});
    ASSERT_EQ(r.status, 0) << r.err;
    const uint64_t both = fs::file_size(dir / "a.vlx") + fs::file_size(dir / "empty.vlx");
    char total[160];
    std::snprintf(total, sizeof total, "\ntotal               -        3 %14llu          10000 %7.3f  2 files\n",
                  static_cast<unsigned long long>(both), 10000.0 / double(both));
    EXPECT_TRUE(r.out.ends_with(total)) << r.out;
    EXPECT_TRUE(contains(r.out, "       0       -  empty.vlx\n")) << r.out;
}

// A tree with a nested folder, a link to a file, a link to a folder and an
// output already there: compressed and decompressed in place, then into one
// file.
TEST_F(Cli, RecursiveWalksATreeBothWays) {
    fs::create_directories(dir / "top/sub/deeper");
    const std::vector<std::pair<std::string, Bytes>> tree = {
        {"top/a", mixed_content(30000, 7)},
        {"top/sub/b", Bytes(5000, 'b')},
        {"top/sub/deeper/c", {}},
    };
    for (const auto& [name, data] : tree) write_file(dir / name, data);
    write_file(dir / "top/sub/b.vlx", {'o', 'l', 'd'});
    fs::create_symlink("a", dir / "top/link");
    fs::create_directory_symlink("..", dir / "top/sub/up");

    Result r = run({"-r", "top"});
    EXPECT_EQ(r.status, 1) << "b.vlx is in the way";
    EXPECT_TRUE(contains(r.err, "top/sub/b: top/sub/b.vlx already exists")) << r.err;
    EXPECT_TRUE(contains(r.err, "top/link: is a symbolic link; left alone")) << r.err;
    EXPECT_TRUE(contains(r.err, "top/sub/up: is a symbolic link; left alone")) << r.err;
    EXPECT_TRUE(contains(r.err, "top/sub/b.vlx: already has the .vlx suffix; skipped")) << r.err;
    EXPECT_TRUE(fs::exists(dir / "top/a.vlx") && fs::exists(dir / "top/sub/deeper/c.vlx"));
    EXPECT_FALSE(fs::exists(dir / "top/link.vlx"));
    EXPECT_EQ(read_file(dir / "top/sub/b.vlx"), (Bytes{'o', 'l', 'd'}));

    r = run({"-q", "-r", "-f", "--rm", "top"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "-q leaves the notes out";
    for (const auto& [name, data] : tree) EXPECT_FALSE(fs::exists(dir / name)) << name;

    r = run({"-d", "-r", "--rm", "top"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& [name, data] : tree) {
        EXPECT_EQ(read_file(dir / name), data) << name;
        EXPECT_FALSE(fs::exists(dir / (name + ".vlx"))) << name;
    }
    EXPECT_TRUE(fs::is_symlink(dir / "top/link") && fs::is_symlink(dir / "top/sub/up"));

    // A link named on the command line is followed, but to a file already
    // taken it adds nothing; -r -o puts every input, in name order, into
    // the one file, and only when all of them succeeded.
    r = run({"-r", "-o", "all.vlx", "top", "top/link"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "top/link: same file as top/a; taken once")) << r.err;
    r = run({"-dc", "all.vlx"});
    Bytes joined;
    for (const char* name : {"top/a", "top/sub/b", "top/sub/deeper/c"}) {
        const Bytes b = read_file(dir / name);
        joined.insert(joined.end(), b.begin(), b.end());
    }
    EXPECT_TRUE(r.out == std::string(joined.begin(), joined.end()));
    r = run({"-d", "-r", "-o", "back", "all.vlx", "missing.vlx"});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir / "back")) << r.err;
    const int out = ::open((dir / "top/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    r = run({"-r", "-c", "top"}, stdout_fd(out));
    ::close(out);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "top/out: input and output are the same file")) << r.err;
}

TEST_F(Cli, CodecsListsWhatTheHostLoads) {
    const Result r = run({"--codecs"});
    ASSERT_EQ(r.status, 0);
    for (const vorlex::Codec& c : codecs()) {
        EXPECT_TRUE(contains(r.out, std::string(c.name()) + " ")) << c.name();
        EXPECT_TRUE(contains(r.out, std::string(c.path()))) << c.name();
    }
}

// ---- Damage ------------------------------------------------------------------------

// A three-block reference container and the byte positions of its parts.
struct Reference {
    Bytes bytes;
    size_t header = 0;  // length of the header = offset of block 1
    size_t end = 0;     // offset of the end record
};

std::string codec_for_damage() { return vorlex_get_codec("quicklz") ? "quicklz" : "copy"; }

void fix_header_checksum(Bytes& b, size_t header) {
    vorlex::bytes::store_le32(b.data() + header - 4, uint32_t(XXH3_64bits(b.data(), header - 4)));
}

TEST_F(Cli, DamagedContainersAreRefusedByNameAndLeaveNothingBehind) {
    const std::string codec = codec_for_damage();
    write_file(dir / "ref", vorlex::test::text_bytes(3000, 4));
    ASSERT_EQ(run({"--codec", codec, "-B", "1K", "ref"}).status, 0);
    Reference ref{read_file(dir / "ref.vlx"), 7 + codec.size() + 8, 0};
    ref.end = ref.bytes.size() - 25;
    fs::remove(dir / "ref");
    fs::remove(dir / "ref.vlx");
    const std::string b1 = "block 1 at byte " + std::to_string(ref.header) + ": ";
    const std::string end = "end record at byte " + std::to_string(ref.end) + ": ";
    const bool first_compressed = ref.bytes[ref.header] == 1;

    using Edit = std::function<void(Bytes&)>;
    const auto truncate = [](size_t n) -> Edit { return [n](Bytes& b) { b.resize(n); }; };
    const auto flip = [](size_t i) -> Edit { return [i](Bytes& b) { b[i] ^= 0x10; }; };
    const auto put32 = [](size_t i, uint32_t v) -> Edit {
        return [i, v](Bytes& b) { vorlex::bytes::store_le32(b.data() + i, v); };
    };
    const size_t h = ref.header;
    const struct {
        const char* what;
        Edit edit;
        std::string message;
    } cases[] = {
        {"empty file", truncate(0), "header: truncated"},
        {"cut in the magic", truncate(2), "header: truncated"},
        {"cut in the header", truncate(10), "header: truncated"},
        {"cut before the first record", truncate(h),
         "truncated at byte " + std::to_string(h) + ": the end record is missing"},
        {"cut in a record header", truncate(h + 5), b1 + "truncated"},
        {"cut in a payload", truncate(h + 20), b1 + "truncated (payload of"},
        {"cut before the end record", truncate(ref.end),
         "truncated at byte " + std::to_string(ref.end) + ": the end record is missing"},
        {"cut in the end record", truncate(ref.bytes.size() - 1), end + "truncated"},
        {"wrong magic", flip(1), "not a vorlex container (bad magic)"},
        {"future version", [](Bytes& b) { b[4] = 9; }, "header: unsupported format version 9"},
        {"flipped flags", flip(5), "header: header checksum mismatch"},
        {"flipped codec name", flip(8), "header: header checksum mismatch"},
        {"flipped block size", flip(h - 6), "header: header checksum mismatch"},
        {"flipped header checksum", flip(h - 1), "header: header checksum mismatch"},
        {"unknown codec",
         [h](Bytes& b) {
             std::memset(b.data() + 7, 'q', h - 15);
             fix_header_checksum(b, h);
         },
         "unknown codec '" + std::string(h - 15, 'q') + "'"},
        {"absurd block size",
         [h](Bytes& b) {
             vorlex::bytes::store_le32(b.data() + h - 8, 0xFFFFFFFFu);
             fix_header_checksum(b, h);
         },
         "header: block size 4294967295 out of range"},
        {"unknown record kind", [h](Bytes& b) { b[h] = 7; }, b1 + "unknown record kind 0x07"},
        {"stored length beyond the original", put32(h + 1, 1025),
         b1 + (first_compressed ? "compressed length 1025 out of range" : "claims")},
        {"absurd original length", put32(h + 5, 0x7FFFFFFFu),
         b1 + "original length 2147483647 exceeds the block size 1024"},
        {"flipped block checksum", flip(h + 9), b1 + "checksum mismatch"},
        {"flipped payload", flip(h + 30), b1},
        {"flipped total size", flip(ref.end + 1), end + "total size"},
        {"flipped block count", flip(ref.end + 9), end + "block count"},
        {"flipped content checksum", flip(ref.end + 17), end + "content checksum mismatch"},
        {"trailing garbage",
         [](Bytes& b) { b.insert(b.end(), {'j', 'u', 'n', 'k', '!', '!', '!', '!'}); },
         "trailing data at byte " + std::to_string(ref.bytes.size()) + " after the end record"},
    };
    for (const auto& c : cases) {
        Bytes bad = ref.bytes;
        c.edit(bad);
        write_file(dir / "bad.vlx", bad);
        for (const char* op : {"-d", "-t"}) {
            const Result r = run({op, "-T2", "bad.vlx"});
            EXPECT_EQ(r.status, 1) << c.what << " " << op;
            EXPECT_TRUE(contains(r.err, "vorlex: bad.vlx: " + c.message))
                << c.what << " " << op << ": " << r.err;
            EXPECT_EQ(files(), std::set<std::string>{"bad.vlx"}) << c.what << " " << op;
        }
    }
}

// Decoder memory is the reader's to choose, not the file's: blocks that do
// not fit --memory (twice the block size per block in flight, and the
// tool's own buffers) are refused with a message naming the option.
TEST_F(Cli, DecoderMemoryIsLimitedByTheMemoryOption) {
    write_file(dir / "z", Bytes(8 << 20, 0));
    ASSERT_EQ(run({"-q", "-B", "4M", "--codec", "copy", "z"}).status, 0);
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"-t", "-T4", "--memory=2M", "z.vlx"}, 1,
         "vorlex: z.vlx: header: block size 4194304 needs 8390656 bytes per block in flight"},
        {{"-t", "-T1", "--memory=8M", "z.vlx"}, 1,
         "over the memory limit of 6160384 bytes (what --memory leaves after 2228224 bytes of "
         "the tool's buffers; raise it with --memory=SIZE)"},
        {{"-t", "-T4", "--memory", "11M", "z.vlx"}, 0, ""},
        {{"-t", "--memory=12", "z.vlx"}, 2, "invalid memory limit '12'"},
    };
    for (const auto& c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    }
}

// ---- Files ---------------------------------------------------------------------------

TEST_F(Cli, ExistingFilesAreNotOverwrittenWithoutForce) {
    write_file(dir / "a", {'n', 'e', 'w'});
    write_file(dir / "a.vlx", {'o', 'l', 'd'});
    Result r = run({"a"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vorlex: a: a.vlx already exists; not overwritten (use -f)\n");
    EXPECT_EQ(read_file(dir / "a.vlx"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(files(), (std::set<std::string>{"a", "a.vlx"}));

    r = run({"-f", "a"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"-d", "a.vlx"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "a already exists")) << r.err;
    EXPECT_EQ(read_file(dir / "a"), (Bytes{'n', 'e', 'w'}));

    r = run({"-f", "-o", "a", "a"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vorlex: a: input and output are the same file\n");
    EXPECT_EQ(read_file(dir / "a"), (Bytes{'n', 'e', 'w'}));
}

TEST_F(Cli, RemoveOnlyAfterSuccess) {
    const Bytes data = mixed_content(20000, 5);
    write_file(dir / "a", data);
    write_file(dir / "b", data);
    write_file(dir / "b.vlx", {'x'});
    Result r = run({"--rm", "a", "b"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(files(), (std::set<std::string>{"a.vlx", "b", "b.vlx"}))
        << "a went, b stayed because its output exists";

    Bytes bad = read_file(dir / "a.vlx");
    bad[bad.size() - 3] ^= 1;
    write_file(dir / "c.vlx", bad);
    r = run({"-d", "--rm", "c.vlx", "a.vlx"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "vorlex: c.vlx: end record")) << r.err;
    EXPECT_EQ(files(), (std::set<std::string>{"a", "b", "b.vlx", "c.vlx"}));
    EXPECT_EQ(read_file(dir / "a"), data);
    EXPECT_EQ(run({"-d", "b"}).err, "vorlex: b: unknown suffix, expected .vlx (use -o or -c)\n");
}

TEST_F(Cli, OutputTakesTheInputsPermissions) {
    write_file(dir / "a", {'a'});
    fs::permissions(dir / "a", fs::perms(0640));
    ASSERT_EQ(run({"-o", "named.vlx", "a"}).status, 0);
    EXPECT_EQ(fs::status(dir / "named.vlx").permissions(), fs::perms(0640));
    EXPECT_EQ(fs::last_write_time(dir / "named.vlx"), fs::last_write_time(dir / "a"));
}

// The temporary output of an interrupted run is removed; the input stays.
TEST_F(Cli, SignalsRemoveTheTemporaryOutput) {
    for (const int sig : {SIGINT, SIGTERM}) {
        int pipe_fds[2];
        ASSERT_EQ(::pipe2(pipe_fds, O_CLOEXEC), 0);
        const pid_t pid = spawn({"-T2", "-o", "out.vlx", "-"}, stdin_fd(pipe_fds[0]));
        ::close(pipe_fds[0]);
        const Bytes chunk = mixed_content(100000, 6);
        ASSERT_EQ(::write(pipe_fds[1], chunk.data(), chunk.size()), ssize_t(chunk.size()));
        bool temp_seen = false;
        for (int i = 0; i < 500 && !temp_seen; ++i) {
            for (const std::string& f : files()) temp_seen |= f.rfind(".out.vlx.", 0) == 0;
            if (!temp_seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(temp_seen);
        ::kill(pid, sig);
        const Result r = finish(pid);
        ::close(pipe_fds[1]);
        EXPECT_EQ(r.signal, sig);
        EXPECT_TRUE(files().empty()) << *files().begin();
    }
}

// ---- Terminals -------------------------------------------------------------------------

struct Pty {
    int master = -1, slave = -1;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
        slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~Pty() {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
    }
};

TEST_F(Cli, CompressedDataNeverGoesToOrComesFromATerminal) {
    Pty pty;
    if (pty.slave < 0) GTEST_SKIP() << "no pseudo-terminal here";
    write_file(dir / "a", {'a'});
    Result r = run({"-c", "a"}, stdout_fd(pty.slave));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "vorlex: a: refusing to write compressed data to a terminal (use -f to force)\n");
    r = run({"-d"}, stdin_fd(pty.slave));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "vorlex: stdin: refusing to read compressed data from a terminal (use -f to "
              "force)\n");
    EXPECT_EQ(files(), std::set<std::string>{"a"});
}

// ---- Raw data ------------------------------------------------------------------------------

// The bare format interoperates with the library's buffer calls both ways.
TEST_F(Cli, RawDataRoundTripsAndMatchesTheLibrary) {
    const Bytes data = vorlex::test::text_bytes(70000, 7);
    write_file(dir / "in", data);
    for (const vorlex::Codec& c : codecs()) {
        const std::string name(c.name());
        const std::string size = std::to_string(data.size());
        Result r = run({"--raw", "--codec", name, "in"});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        const Bytes tool_raw = read_file(dir / ("in." + name));
        Bytes decoded;
        ASSERT_GT(c.decompress(tool_raw, decoded, data.size()), 0) << name;
        EXPECT_EQ(decoded, data) << name;

        Bytes lib_raw;
        ASSERT_GT(c.compress(data, lib_raw), 0) << name;
        write_file(dir / "lib.raw", lib_raw);
        std::vector<std::string> args{"--raw", "-d", "-c", "--codec", name, "lib.raw"};
        // Codecs with native streams (gzip) decode raw data without a size.
        const bool streams =
            (vorlex_codec_get_info_flags(c.get()) & VORLEX_INFO_NATIVE_STREAMS) != 0;
        if (!c.records_size() && !streams) {
            r = run(args);
            EXPECT_EQ(r.status, 2) << name << " needs --size";
            EXPECT_TRUE(contains(r.err, "give --size")) << r.err;
            args.insert(args.begin(), {"--size", size});
        }
        r = run(args);
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_TRUE(r.out == std::string(data.begin(), data.end())) << name;

        r = run({"--raw", "-d", "-f", "--rm", "--size", size, "--codec", name, "in." + name});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(read_file(dir / "in"), data);
        fs::remove(dir / ("in." + name));
        fs::remove(dir / "lib.raw");
    }
}

// ---- Usage and messages --------------------------------------------------------------------

TEST_F(Cli, UsageErrorsExitTwo) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"-x"}, "vorlex: unknown option '-x'\n"},
        {{"-B", "12"}, "invalid block size '12'"},
        {{"--codec", "nosuch", "a"}, "unknown codec 'nosuch'"},
        {{"--codec", "No/Such", "a"}, "invalid codec name"},
        {{"-o", "x", "a", "b"}, "-o takes a single input file"},
        {{"--codec", "zstd", "-23", "a"}, "codec 'zstd' has no level 23 (levels"},
        {{"--level", "x", "a"}, "invalid compression level 'x'"},
    };
    for (const auto& c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
        EXPECT_TRUE(contains(r.err, "Try 'vorlex --help'")) << r.err;
        EXPECT_EQ(r.out, "");
    }
    const Result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(contains(help.out, "Usage: vorlex")) << "help goes to standard output";
}

// The level reaches every block of a container and raw data, and decoding
// needs none.
TEST_F(Cli, LevelsReachContainersAndRawData) {
    const Bytes data = vorlex::test::text_bytes(200000, 3);
    write_file(dir / "a", data);
    for (const bool raw : {false, true}) {
        std::vector<size_t> sizes;
        for (const char* level : {"-1", "-19"}) {
            std::vector<std::string> args{"-c", "--codec", "zstd", "-B", "64K", level, "a"};
            if (raw) args.insert(args.begin(), "--raw");
            const Result r = run(args);
            ASSERT_EQ(r.status, 0) << r.err;
            sizes.push_back(r.out.size());
            write_file(dir / "z", Bytes(r.out.begin(), r.out.end()));
            std::vector<std::string> back{"-dc", "z"};
            if (raw) back.insert(back.end(), {"--raw", "--codec", "zstd"});
            const Result d = run(back);
            ASSERT_EQ(d.status, 0) << d.err;
            EXPECT_TRUE(d.out == std::string(data.begin(), data.end())) << level;
        }
        EXPECT_LT(sizes[1], sizes[0]) << (raw ? "raw" : "container");
    }
    // A codec without levels ignores one, with a warning: the bytes are its own.
    const Result plain = run({"-c", "a"}), leveled = run({"-c", "-9", "a"});
    ASSERT_EQ(leveled.status, 0) << leveled.err;
    EXPECT_TRUE(contains(leveled.err, "codec 'quicklz' has no compression levels")) << leveled.err;
    EXPECT_TRUE(leveled.out == plain.out);
}

TEST_F(Cli, VerboseQuietAndProgress) {
    write_file(dir / "a", Bytes(5000, 'v'));
    Result r = run({"-v", "--codec", "copy", "a"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.err, "a: 5000 -> ")) << r.err;
    r = run({"-v", "-t", "a.vlx"});
    EXPECT_TRUE(contains(r.err, "a.vlx: OK, 5000 bytes in 1 blocks")) << r.err;
    r = run({"--progress", "-c", "a"});
    EXPECT_TRUE(contains(r.err, "MB/s, ratio")) << r.err;
    r = run({"-q", "--progress", "-c", "a"});
    EXPECT_EQ(r.err, "");
}

TEST_F(Cli, BenchIsDispatched) {
#ifdef VORLEX_HAVE_BENCH
    GTEST_SKIP() << "the bench is built in; its own tests cover it";
#else
    const Result r = run({"bench"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "vorlex: bench not built\n");
#endif
}

}  // namespace

namespace {

// --range writes just those bytes; --keep-going writes every block it can,
// zeros for the damaged one, names the range lost and exits 1; -l -v lists
// the blocks; --no-index writes frames that still read at any offset.
TEST_F(Cli, RangesKeepGoingAndTheIndex) {
    const Bytes content = mixed_content(10 * 1024, 9);
    write_file(dir / "a", content);
    ASSERT_EQ(run({"-B", "1K", "--codec", "copy", "a"}).status, 0);
    ASSERT_EQ(run({"-B", "1K", "--codec", "copy", "--no-index", "-o", "n.vlx", "a"}).status, 0);
    EXPECT_EQ(read_file(dir / "a.vlx").size(),
              read_file(dir / "n.vlx").size() + 17 + 8 * 10) << "the index: 17 + 8 per block";

    const struct {
        const char* range;
        size_t offset, length;
    } ranges[] = {{"1000:100", 1000, 100}, {"0:1", 0, 1}, {"9K:", 9216, 1024},
                  {"10239:50", 10239, 1}, {"20000:5", 10240, 0}, {"2K", 2048, 8192}};
    for (const char* file : {"a.vlx", "n.vlx"}) {
        for (const auto& r : ranges) {
            const Result got = run({"-dc", std::string("--range=") + r.range, file});
            ASSERT_EQ(got.status, 0) << file << " " << r.range << ": " << got.err;
            EXPECT_EQ(Bytes(got.out.begin(), got.out.end()),
                      Bytes(content.begin() + long(r.offset),
                            content.begin() + long(r.offset + r.length)))
                << file << " " << r.range;
        }
    }

    const Result listing = run({"-l", "-v", "a.vlx"});
    EXPECT_EQ(listing.status, 0) << listing.err;
    EXPECT_TRUE(contains(listing.out, "1 frame (1 indexed), 10 blocks")) << listing.out;
    EXPECT_TRUE(contains(listing.out, "       1       10             9216")) << listing.out;

    // Block 4's payload damaged: 3072 to 4095 lost, the rest in place.
    Bytes bad = read_file(dir / "a.vlx");
    const size_t block4 = 19 + 3 * (17 + 1024);
    bad[block4 + 17 + 100] ^= 1;
    write_file(dir / "bad.vlx", bad);
    const Result salvaged = run({"-d", "--keep-going", "bad.vlx"});
    EXPECT_EQ(salvaged.status, 1);
    EXPECT_TRUE(contains(salvaged.err, "bytes 3072 to 4095 lost (block 4 at byte " +
                                           std::to_string(block4) + ": checksum mismatch)"))
        << salvaged.err;
    Bytes want = content;
    std::fill(want.begin() + 3072, want.begin() + 4096, 0);
    EXPECT_EQ(read_file(dir / "bad"), want);
    EXPECT_EQ(run({"-dc", "--range=5000:10", "bad.vlx"}).status, 0) << "other blocks read";
    EXPECT_EQ(run({"-dc", "--range=4000:10", "bad.vlx"}).status, 1);

    for (const auto& usage : std::vector<std::vector<std::string>>{
             {"--range=1:2", "a"}, {"-d", "--range=x", "a.vlx"}, {"--keep-going", "a"},
             {"-d", "--no-index", "a.vlx"}}) {
        EXPECT_EQ(run(usage).status, 2) << usage[0];
    }
}

}  // namespace
