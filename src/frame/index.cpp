// Encoding and checking of the index record.
#include "index.hpp"

#include <cstring>

#include "checksum.hpp"
#include "common/bytes.hpp"

namespace vorlex::frame::index {

using namespace vorlex::bytes;

uint64_t record_length(uint64_t blocks) {
    if (blocks > (UINT64_MAX - FIXED) / ENTRY) return 0;
    return FIXED + blocks * ENTRY;
}

void Builder::add(uint32_t record_length, uint32_t original_length) {
    uint8_t e[ENTRY];
    store_le32(e, record_length);
    store_le32(e + 4, original_length);
    entries_.insert(entries_.end(), e, e + ENTRY);
}

std::vector<uint8_t> Builder::finish(uint64_t member_length) const {
    std::vector<uint8_t> rec(FIXED + entries_.size());
    rec[0] = format::KIND_INDEX;
    if (!entries_.empty()) std::memcpy(rec.data() + 1, entries_.data(), entries_.size());
    uint8_t* tail = rec.data() + 1 + entries_.size();
    store_le64(tail, member_length);
    ContentChecksum sum;
    for (size_t i = 0; i < entries_.size(); i += ENTRY) sum.add(load_le64(entries_.data() + i));
    sum.add(member_length);
    store_le64(tail + 8, sum.value());
    return rec;
}

std::optional<std::string> decode(const uint8_t* rec, uint64_t blocks, Decoded& out) {
    if (rec[0] != format::KIND_INDEX) return "no index record";
    const uint8_t* tail = rec + 1 + blocks * ENTRY;
    ContentChecksum sum;
    for (uint64_t i = 0; i < blocks; ++i) sum.add(load_le64(rec + 1 + i * ENTRY));
    const uint64_t member_length = load_le64(tail);
    sum.add(member_length);
    if (sum.value() != load_le64(tail + 8)) return "index checksum mismatch";
    out.entries.resize(size_t(blocks));
    uint64_t records = 0;
    for (uint64_t i = 0; i < blocks; ++i) {
        Entry& e = out.entries[size_t(i)];
        e.record_length = load_le32(rec + 1 + i * ENTRY);
        e.original_length = load_le32(rec + 5 + i * ENTRY);
        records += e.record_length;
    }
    if (records >= member_length) return "index: member length " + std::to_string(member_length) +
                                         " cannot hold its block records";
    out.member_length = member_length;
    return std::nullopt;
}

}  // namespace vorlex::frame::index
