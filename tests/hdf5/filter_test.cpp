// The HDF5 filter through HDF5's C API, loaded the way every HDF5 program
// loads it: from a plug-in folder, by filter id. Datasets are written to a
// file, closed, and read back from the file; the chunks are then looked at as
// stored (H5Dread_chunk, H5Dget_chunk_info) to see what the filter made of
// them.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <hdf5.h>

#include <vorlex/vorlex.h>
#include <vorlex/vorlex_hdf5.h>

#include "support/test_data.hpp"

namespace fs = std::filesystem;
using vorlex::test::Bytes;

namespace {

constexpr hsize_t CHUNK = 64 * 1024;
constexpr hsize_t CHUNKS = 4;

// The descriptions on HDF5's error stack, innermost first, one a line.
herr_t collect(unsigned, const H5E_error2_t* e, void* text) {
    static_cast<std::string*>(text)->append(e->desc != nullptr ? e->desc : "").append("\n");
    return 0;
}

std::string error_stack() {
    std::string text;
    H5Ewalk2(H5E_DEFAULT, H5E_WALK_DOWNWARD, collect, &text);
    return text;
}

struct Filter {
    unsigned flags;
    std::vector<unsigned> values;
};

class Hdf5Filter : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_GE(H5PLprepend(VORLEX_HDF5_PLUGIN_DIR), 0);
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);  // tests read the stack themselves
    }

    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "vorlex-hdf5-XXXXXX").string();
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        dir_ = templ;
        file_ = (dir_ / "data.h5").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Creates /data, a 1-D byte dataset of data.size() bytes in chunks of
    // CHUNK, through the filter, and writes data. Returns false (HDF5's error
    // stack saying why) when the dataset cannot be created or written.
    bool write(const Bytes& data, const Filter& f) {
        const hid_t file = H5Fcreate(file_.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
        EXPECT_GE(file, 0);
        const hsize_t dims = data.size();
        const hid_t space = H5Screate_simple(1, &dims, nullptr);
        const hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
        EXPECT_GE(H5Pset_chunk(dcpl, 1, &CHUNK), 0);
        EXPECT_GE(H5Pset_filter(dcpl, VORLEX_H5Z_FILTER, f.flags, f.values.size(),
                                f.values.data()),
                  0);
        const hid_t dset = H5Dcreate2(file, "data", H5T_NATIVE_UINT8, space, H5P_DEFAULT, dcpl,
                                      H5P_DEFAULT);
        bool ok = dset >= 0;
        if (ok) {
            ok = H5Dwrite(dset, H5T_NATIVE_UINT8, H5S_ALL, H5S_ALL, H5P_DEFAULT, data.data()) >= 0;
            if (!ok) errors_ = error_stack();
            H5Dclose(dset);
        } else {
            errors_ = error_stack();
        }
        H5Pclose(dcpl);
        H5Sclose(space);
        EXPECT_GE(H5Fclose(file), 0);
        return ok;
    }

    // Reads /data back whole, or returns false with the error stack kept.
    bool read(Bytes& out) {
        const hid_t file = H5Fopen(file_.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
        EXPECT_GE(file, 0);
        const hid_t dset = H5Dopen2(file, "data", H5P_DEFAULT);
        EXPECT_GE(dset, 0);
        const hid_t space = H5Dget_space(dset);
        out.assign(size_t(H5Sget_simple_extent_npoints(space)), 0);
        const bool ok =
            H5Dread(dset, H5T_NATIVE_UINT8, H5S_ALL, H5S_ALL, H5P_DEFAULT, out.data()) >= 0;
        if (!ok) errors_ = error_stack();
        H5Sclose(space);
        H5Dclose(dset);
        H5Fclose(file);
        return ok;
    }

    // How chunk index i is stored: its address, size and filter mask.
    struct Stored {
        haddr_t address;
        hsize_t size;
        unsigned mask;
    };
    Stored stored(hsize_t i) {
        const hid_t file = H5Fopen(file_.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
        const hid_t dset = H5Dopen2(file, "data", H5P_DEFAULT);
        const hid_t space = H5Dget_space(dset);
        Stored s{};
        hsize_t offset = 0;
        EXPECT_GE(H5Dget_chunk_info(dset, space, i, &offset, &s.mask, &s.address, &s.size), 0);
        H5Sclose(space);
        H5Dclose(dset);
        H5Fclose(file);
        return s;
    }

    // Chunk index i's bytes as stored.
    Bytes raw_chunk(hsize_t i) {
        const Stored s = stored(i);
        Bytes raw(size_t(s.size));
        std::ifstream f(file_, std::ios::binary);
        f.seekg(std::streamoff(s.address));
        f.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size()));
        EXPECT_TRUE(f.good());
        return raw;
    }

    void flip_byte(uint64_t at) {
        std::fstream f(file_, std::ios::binary | std::ios::in | std::ios::out);
        f.seekg(std::streamoff(at));
        const int c = f.get();
        f.seekp(std::streamoff(at));
        f.put(char(c ^ 0x20));
        ASSERT_TRUE(f.good());
    }

    fs::path dir_;
    std::string file_;
    std::string errors_;
};

// Each codec number writes chunks that name that codec and block size, read
// back equal, and shrink compressible data (copy, which does not compress,
// adds the frame's few bytes).
TEST_F(Hdf5Filter, EveryCodecRoundTripsThroughAFile) {
    struct Case {
        std::vector<unsigned> values;
        const char* codec;
        uint32_t block_size;  // in the frame header; 0: not checked
    };
    const Case cases[] = {
        {{1}, "quicklz", 0},         {{2, 16}, "brieflz", 16 * 1024}, {{3}, "fari", 0},
        {{4, 64}, "lzjb", 64 * 1024}, {{5, 8, 0}, "copy", 8 * 1024},   {{6}, "lz4", 0},
        {{7, 0, 19}, "zstd", 0},      {{8, 16, 9}, "gzip", 16 * 1024}, {{9}, "snappy", 0},
        {{}, "quicklz", 0},           {{0, 0}, "quicklz", 0},
    };
    const Bytes data = vorlex::test::text_bytes(CHUNK * CHUNKS - 1000, 7);  // last chunk partial
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codec + (" with " + std::to_string(c.values.size()) + " values"));
        ASSERT_TRUE(write(data, {0, c.values})) << errors_;
        Bytes back;
        ASSERT_TRUE(read(back)) << errors_;
        EXPECT_EQ(back, data);
        for (hsize_t i = 0; i < CHUNKS; ++i) {
            const Stored s = stored(i);
            EXPECT_EQ(s.mask, 0u);
            if (std::strcmp(c.codec, "copy") == 0) {
                EXPECT_GT(s.size, CHUNK);
            } else {
                EXPECT_LT(s.size, CHUNK * 3 / 4);
            }
        }
        const Bytes raw = raw_chunk(0);
        ASSERT_GT(raw.size(), 7 + std::strlen(c.codec) + 4);
        EXPECT_EQ(std::memcmp(raw.data(), "\x89VLX", 4), 0);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw.data() + 7), raw[6]), c.codec);
        if (c.block_size != 0) {
            const uint8_t* b = raw.data() + 7 + raw[6];
            EXPECT_EQ(uint32_t(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24), c.block_size);
        }
    }
}

// cd_values[3] filters the chunks: the frame records the filter with the
// typesize of cd_values[4], or the type's size (1 here) that set_local
// stores when none is given. Values without a filter stay as they were.
TEST_F(Hdf5Filter, FilterAndTypesizeReachTheFrame) {
    Bytes data(CHUNK * 2);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i / 2 * 3 + (i % 2) * (i / 700));
    const struct {
        std::vector<unsigned> values;
        uint8_t filter, typesize;
    } cases[] = {
        {{6, 0, 0, 4}, 4, 1}, {{6, 0, 0, 1, 2}, 1, 2}, {{7, 16, 1, 2, 8}, 2, 8}, {{6, 0, 0, 0}, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("filter " + std::to_string(c.filter));
        ASSERT_TRUE(write(data, {H5Z_FLAG_MANDATORY, c.values})) << errors_;
        Bytes back;
        ASSERT_TRUE(read(back)) << errors_;
        EXPECT_EQ(back, data);
        const Bytes raw = raw_chunk(0);
        const size_t fields = 7 + raw[6] + 4;
        ASSERT_GT(raw.size(), fields + 2);
        EXPECT_EQ(raw[5] & 0x02, c.filter != 0 ? 0x02 : 0x00);  // 0x01: lz4's block form
        if (c.filter != 0) {
            EXPECT_EQ(raw[fields], c.filter);
            EXPECT_EQ(raw[fields + 1], c.typesize);
        }
    }
}

// cd_values[2] reaches the codec: zstd's top level stores less than its
// fastest on the same data.
TEST_F(Hdf5Filter, LevelReachesTheCodec) {
    const Bytes data = vorlex::test::mixed_bytes(CHUNK, 9);
    hsize_t sizes[2] = {};
    const unsigned levels[2] = {1, 19};
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(write(data, {H5Z_FLAG_MANDATORY, {7, 0, levels[i]}})) << errors_;
        sizes[i] = stored(0).size;
        Bytes back;
        ASSERT_TRUE(read(back)) << errors_;
        EXPECT_EQ(back, data);
    }
    EXPECT_LT(sizes[1], sizes[0]);
    // A codec without levels ignores one, as in every door: quicklz's bytes.
    Bytes plain, leveled;
    ASSERT_TRUE(write(data, {H5Z_FLAG_MANDATORY, {1, 0, 0}})) << errors_;
    plain = raw_chunk(0);
    ASSERT_TRUE(write(data, {H5Z_FLAG_MANDATORY, {1, 0, 5}})) << errors_;
    leveled = raw_chunk(0);
    EXPECT_EQ(leveled, plain);
}

// A chunk the codec cannot shrink: an optional filter lets HDF5 store it
// unfiltered (mask bit set), a mandatory one stores the frame. Both read back.
TEST_F(Hdf5Filter, IncompressibleChunkAsHdf5Expects) {
    const Bytes data = vorlex::test::random_bytes(CHUNK, 3);
    for (const unsigned flags : {unsigned(H5Z_FLAG_OPTIONAL), unsigned(H5Z_FLAG_MANDATORY)}) {
        SCOPED_TRACE(flags == H5Z_FLAG_OPTIONAL ? "optional" : "mandatory");
        ASSERT_TRUE(write(data, {flags, {4}})) << errors_;
        const Stored s = stored(0);
        if (flags == H5Z_FLAG_OPTIONAL) {
            EXPECT_EQ(s.mask, 1u);
            EXPECT_EQ(s.size, CHUNK);
        } else {
            EXPECT_EQ(s.mask, 0u);
            EXPECT_GT(s.size, CHUNK);
        }
        Bytes back;
        ASSERT_TRUE(read(back)) << errors_;
        EXPECT_EQ(back, data);
    }
}

// One byte changed anywhere in a stored chunk (its header, a block's payload,
// the end record) makes the read fail with the filter's error.
TEST_F(Hdf5Filter, DamagedChunkFailsToRead) {
    const Bytes data = vorlex::test::text_bytes(CHUNK, 5);
    for (const unsigned codec : {1u, 3u, 4u}) {
        ASSERT_TRUE(write(data, {H5Z_FLAG_MANDATORY, {codec, 16}})) << errors_;
        const Stored s = stored(0);
        for (const uint64_t at : {uint64_t(8), uint64_t(s.size / 2), uint64_t(s.size - 3)}) {
            SCOPED_TRACE("codec " + std::to_string(codec) + ", byte " + std::to_string(at));
            flip_byte(s.address + at);
            Bytes back;
            EXPECT_FALSE(read(back));
            EXPECT_NE(errors_.find("vorlex filter: damaged chunk"), std::string::npos) << errors_;
            flip_byte(s.address + at);
            EXPECT_TRUE(read(back)) << errors_;
        }
    }
}

// Values the filter does not know refuse the dataset, optional filter or not,
// with a message naming the value.
TEST_F(Hdf5Filter, UnknownValuesRefuseTheDataset) {
    struct Case {
        std::vector<unsigned> values;
        const char* message;
    };
    const Case cases[] = {
        {{1000}, "unknown codec number 1000 in cd_values[0]"},
        {{1, 65537}, "block size 65537 KiB in cd_values[1] out of range"},
        {{7, 0, 99}, "compression level 99 in cd_values[2] out of range for zstd"},
        {{1, 0, 0, 9}, "unknown filter 9 in cd_values[3]"},
        {{1, 0, 0, 1, 256}, "typesize 256 in cd_values[4] out of range"},
        {{1, 0, 0, 0, 0, 0, 0}, "7 client data values given, at most 6"},
    };
    const Bytes data = vorlex::test::text_bytes(CHUNK, 1);
    for (const Case& c : cases) {
        for (const unsigned flags : {unsigned(H5Z_FLAG_OPTIONAL), unsigned(H5Z_FLAG_MANDATORY)}) {
            SCOPED_TRACE(c.message);
            EXPECT_FALSE(write(data, {flags, c.values}));
            EXPECT_NE(errors_.find(std::string("vorlex filter: ") + c.message), std::string::npos)
                << errors_;
        }
    }
}

// The values a dataset records: the user's, padded with 0, and the chunk's
// size in bytes (element size times the chunk's shape), whatever was given
// in its place.
TEST_F(Hdf5Filter, ChunkSizeIsRecordedAtCreation) {
    const Bytes data = vorlex::test::text_bytes(CHUNK * 2, 2);
    for (const std::vector<unsigned>& given :
         {std::vector<unsigned>{}, {4}, {7, 16, 3}, {7, 16, 3, 0, 0, 12345}}) {
        ASSERT_TRUE(write(data, {H5Z_FLAG_MANDATORY, given})) << errors_;
        const hid_t file = H5Fopen(file_.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
        const hid_t dset = H5Dopen2(file, "data", H5P_DEFAULT);
        const hid_t dcpl = H5Dget_create_plist(dset);
        unsigned flags = 0, config = 0, values[8] = {};
        size_t count = 8;
        ASSERT_GE(H5Pget_filter_by_id2(dcpl, VORLEX_H5Z_FILTER, &flags, &count, values, 0,
                                       nullptr, &config),
                  0);
        std::vector<unsigned> want = given;
        want.resize(VORLEX_H5Z_CD_MAX, 0);
        want[VORLEX_H5Z_CD_CHUNK_BYTES] = unsigned(CHUNK);
        EXPECT_EQ(std::vector<unsigned>(values, values + count), want);
        H5Pclose(dcpl);
        H5Dclose(dset);
        H5Fclose(file);
    }
}

// Hostile chunks written past the filter (H5Dwrite_chunk) and read through
// HDF5: a frame of any size but the chunk's is refused with the reason (HDF5
// would otherwise copy a whole chunk out of a shorter buffer, or keep part
// of a longer one), and bytes that are no frame fail as damaged. The
// neighbouring chunk keeps reading.
TEST_F(Hdf5Filter, HostileChunksAreRefusedThroughHdf5) {
    const Bytes data = vorlex::test::text_bytes(CHUNK * 2, 4);
    vorlex_codec* lzjb = vorlex_get_codec("lzjb");
    ASSERT_NE(lzjb, nullptr);
    auto frame_of = [&](size_t n) {
        const Bytes content = vorlex::test::text_bytes(n, 9);
        Bytes frame(vorlex_frame_compress_bound(lzjb, n, 0));
        size_t length = frame.size();
        EXPECT_EQ(vorlex_frame_compress(lzjb, 0, frame.data(), &length, content.data(), n),
                  VORLEX_STATUS_OK);
        frame.resize(length);
        return std::pair(frame, content);
    };
    struct Case {
        const char* what;
        Bytes chunk;
        const char* message;  // nullptr: reads back as the frame's content
    };
    const std::string short_by_one = "the frame holds " + std::to_string(CHUNK - 1) +
                                     " bytes, the dataset's chunks are " + std::to_string(CHUNK) +
                                     " bytes (cd_values[5])";
    const std::string long_by_one = "the frame holds " + std::to_string(CHUNK + 1) + " bytes";
    const std::string tiny = "the frame holds 1 bytes";
    const std::string empty_frame = "the frame holds 0 bytes";
    const Case cases[] = {
        {"exact", frame_of(CHUNK).first, nullptr},
        {"one byte short", frame_of(CHUNK - 1).first, short_by_one.c_str()},
        {"one byte long", frame_of(CHUNK + 1).first, long_by_one.c_str()},
        {"one byte", frame_of(1).first, tiny.c_str()},
        {"empty frame", frame_of(0).first, empty_frame.c_str()},
        {"no frame", vorlex::test::random_bytes(200, 8), "damaged chunk of 200 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(write(data, {H5Z_FLAG_MANDATORY, {4}})) << errors_;
        const hid_t file = H5Fopen(file_.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
        const hid_t dset = H5Dopen2(file, "data", H5P_DEFAULT);
        const hsize_t at[1] = {CHUNK};  // the second chunk
        ASSERT_GE(H5Dwrite_chunk(dset, H5P_DEFAULT, 0, at, c.chunk.size(), c.chunk.data()), 0);
        H5Dclose(dset);
        H5Fclose(file);
        Bytes back;
        if (c.message == nullptr) {
            ASSERT_TRUE(read(back)) << errors_;
            EXPECT_TRUE(std::equal(data.begin(), data.begin() + CHUNK, back.begin()));
            EXPECT_TRUE(std::equal(back.begin() + CHUNK, back.end(), frame_of(CHUNK).second.begin()));
        } else {
            EXPECT_FALSE(read(back));
            EXPECT_NE(errors_.find(std::string("vorlex filter: damaged chunk")), std::string::npos)
                << errors_;
            EXPECT_NE(errors_.find(c.message), std::string::npos) << errors_;
        }
    }
}

// A file written before the chunk size was recorded (three values or
// fewer, kept as a fixture) reads as it always did.
TEST_F(Hdf5Filter, DatasetsWithoutARecordedChunkSizeStillRead) {
    const std::string text = "older dataset, three values. ";
    Bytes expected;
    while (expected.size() < 4096) expected.insert(expected.end(), text.begin(), text.end());
    expected.resize(4096);
    fs::copy_file(VORLEX_HDF5_FIXTURE_DIR "/older-values.h5", file_,
                  fs::copy_options::overwrite_existing);
    Bytes back;
    ASSERT_TRUE(read(back)) << errors_;
    EXPECT_EQ(back, expected);

    const hid_t file = H5Fopen(file_.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    const hid_t grid = H5Dopen2(file, "grid", H5P_DEFAULT);
    std::vector<int32_t> cells(600);
    ASSERT_GE(H5Dread(grid, H5T_NATIVE_INT32, H5S_ALL, H5S_ALL, H5P_DEFAULT, cells.data()), 0)
        << error_stack();
    for (int i = 0; i < 600; ++i) EXPECT_EQ(cells[size_t(i)], i % 97) << i;
    H5Dclose(grid);
    H5Fclose(file);
}

}  // namespace

