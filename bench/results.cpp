#include "results.hpp"

#include <algorithm>

#include "measure.hpp"
#include "peers.hpp"

namespace vorlex::bench {

double Row::ratio() const { return compression_ratio(original, compressed); }
double Row::compress_mb_s() const { return mb_per_second(original, compress_seconds); }
double Row::decompress_mb_s() const { return mb_per_second(original, decompress_seconds); }
double Row::compress_seconds_per_call() const {
    return inputs == 0 ? 0 : compress_seconds / double(inputs);
}
double Row::decompress_seconds_per_call() const {
    return inputs == 0 ? 0 : decompress_seconds / double(inputs);
}

namespace {

// Sums measurements into rows keyed by (label, codec, peer), keeping first-seen
// order; failed keys are dropped at the end.
class Summer {
public:
    void add(const std::string& label, const Measurement& m) {
        auto it = std::find_if(rows_.begin(), rows_.end(), [&](const Entry& e) {
            return e.row.input == label && e.row.codec == m.codec && e.row.peer == m.peer;
        });
        if (it == rows_.end()) {
            Row row;
            row.input = label;
            row.codec = m.codec;
            row.peer = m.peer;
            rows_.push_back({std::move(row), false});
            it = rows_.end() - 1;
        }
        if (!m.ok()) {
            it->failed = true;
            return;
        }
        Row& r = it->row;
        r.inputs += 1;
        r.original += m.original;
        r.compressed += m.compressed;
        r.compress_seconds += median(m.compress_per_call);
        r.decompress_seconds += median(m.decompress_per_call);
    }

    std::vector<Row> rows() const {
        std::vector<Row> out;
        for (const Entry& e : rows_) {
            if (!e.failed) out.push_back(e.row);
        }
        return out;
    }

private:
    struct Entry {
        Row row;
        bool failed;
    };
    std::vector<Entry> rows_;
};

}  // namespace

std::vector<Row> rows_by_group(const std::vector<Measurement>& measurements) {
    Summer s;
    for (const Measurement& m : measurements) s.add(m.group, m);
    return s.rows();
}

std::vector<Row> total_rows(const std::vector<Measurement>& measurements,
                            const std::string& label) {
    Summer s;
    for (const Measurement& m : measurements) s.add(label, m);
    return s.rows();
}

void add_reference_ratios(std::vector<Row>& rows) {
    const auto find = [&](const std::string& input, std::string_view codec) -> const Row* {
        for (const Row& r : rows) {
            if (r.peer && r.input == input && r.codec == codec) return &r;
        }
        return nullptr;
    };
    for (Row& r : rows) {
        if (const Row* lz4 = find(r.input, LZ4_PEER)) {
            r.compress_vs_lz4 = speed_ratio(r.compress_mb_s(), lz4->compress_mb_s());
            r.decompress_vs_lz4 = speed_ratio(r.decompress_mb_s(), lz4->decompress_mb_s());
        }
        if (const Row* mem = find(r.input, MEMCPY_PEER)) {
            r.compress_vs_memcpy = speed_ratio(r.compress_mb_s(), mem->compress_mb_s());
            r.decompress_vs_memcpy = speed_ratio(r.decompress_mb_s(), mem->decompress_mb_s());
        }
    }
}

}  // namespace vorlex::bench
