// The tool's container reader on arbitrary bytes: reading (decoding every
// block through the host and checking every checksum) and listing either
// succeed or throw the tool's Failure, with a message; nothing else escapes,
// nothing is read or written out of bounds, and no length is trusted before
// it is checked, so a hostile length allocates nothing (libFuzzer's malloc
// limit turns a memory bomb into a crash). When reading succeeds, listing
// agrees with it, and two worker threads give the same bytes as one.
//
// Input: container bytes, then [u8 mode]. mode bit 0: rewrite the first
// header's checksum to match, so mutations get past the header into blocks.
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "container.hpp"
#include "container_format.hpp"
#include "failure.hpp"
#include "io.hpp"
#include "support/check.hpp"
#include "support/host.hpp"
#include "support/input.hpp"

namespace {

namespace cli = vorlex::cli;

void repair_header_checksum(std::vector<uint8_t>& d) {
    if (d.size() < cli::format::HEADER_FIXED) return;
    const size_t before = cli::format::HEADER_FIXED + d[6] + 4;
    if (d.size() < before + 4) return;
    const uint32_t sum = cli::format::header_checksum(d.data(), before);
    for (int i = 0; i < 4; ++i) d[before + size_t(i)] = uint8_t(sum >> (8 * i));
}

bool read_all(const std::vector<uint8_t>& d, unsigned threads, std::vector<uint8_t>& out,
              cli::Totals& totals) {
    cli::MemorySource in{std::span<const uint8_t>(d)};
    cli::MemorySink sink;
    try {
        totals = cli::read_container(in, sink, threads);
    } catch (const cli::Failure& f) {
        FUZZ_CHECK(f.what()[0] != '\0');
        return false;
    }
    out = std::move(sink.bytes);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vorlex::fuzz::codec("copy");  // points the host at this build's plug-ins
    vorlex::fuzz::Input input(data, size);
    const uint8_t mode = input.take_u8();
    // An exact-size copy: the reader sees nothing past the input.
    std::vector<uint8_t> d(input.data(), input.data() + input.size());
    if ((mode & 1) != 0) repair_header_checksum(d);

    std::vector<uint8_t> out;
    cli::Totals totals;
    const bool read = read_all(d, 1, out, totals);

    std::vector<cli::MemberInfo> members;
    bool listed = true;
    try {
        cli::MemorySource in{std::span<const uint8_t>(d)};
        members = cli::list_container(in);
    } catch (const cli::Failure& f) {
        FUZZ_CHECK(f.what()[0] != '\0');
        listed = false;
    }

    if (read) {
        FUZZ_CHECK(totals.original == out.size());
        FUZZ_CHECK(listed);
        uint64_t original = 0;
        for (const cli::MemberInfo& m : members) original += m.totals.original;
        FUZZ_CHECK(original == out.size());

        std::vector<uint8_t> again;
        cli::Totals totals2;
        FUZZ_CHECK(read_all(d, 2, again, totals2));
        FUZZ_CHECK(again == out);
    }
    return 0;
}
