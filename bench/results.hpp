// From measurements to report rows: the median of each subject's rounds, rows
// summed over a group of inputs (a total over files, or all files' prefixes
// of one size), and each row's speed relative to lz4 and memcpy in the same
// group of the same run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runner.hpp"

namespace vorlex::bench {

struct Row {
    std::string input;  // a file, "total", or a size such as "4 KiB"
    std::string codec;
    bool peer = false;
    uint64_t inputs = 0;      // cases summed into this row
    uint64_t original = 0;    // bytes, summed
    uint64_t compressed = 0;  // bytes, summed
    // Sums over the cases of each case's median time per call.
    double compress_seconds = 0;
    double decompress_seconds = 0;
    // This row's speed over the reference's, same input, same run.
    std::optional<double> compress_vs_lz4, decompress_vs_lz4;
    std::optional<double> compress_vs_memcpy, decompress_vs_memcpy;

    double ratio() const;
    double compress_mb_s() const;
    double decompress_mb_s() const;
    // Mean time of one call over the row's cases.
    double compress_seconds_per_call() const;
    double decompress_seconds_per_call() const;
};

// One row per group (in order of first appearance) and subject (in run
// order), summing the group's cases. A subject that failed on any case of a
// group gets no row for that group: a partial sum would mislead.
std::vector<Row> rows_by_group(const std::vector<Measurement>& measurements);

// One row per subject summing every case, labelled label; none for a subject
// that failed anywhere.
std::vector<Row> total_rows(const std::vector<Measurement>& measurements,
                            const std::string& label);

// Fills the *_vs_lz4 and *_vs_memcpy fields from the reference rows of the
// same input label; rows whose input has no such reference keep them empty.
void add_reference_ratios(std::vector<Row>& rows);

}  // namespace vorlex::bench
