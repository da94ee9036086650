// Renders a report as an aligned text table, a Markdown table, CSV or JSON.
// Table and Markdown are for people (rounded figures, columns that apply);
// CSV and JSON are for programs (every field, full precision, fixed columns).
// All four start with the run's description, so results can be compared.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "machine.hpp"
#include "options.hpp"
#include "results.hpp"

namespace vorlex::bench {

struct Report {
    RunInfo info;
    std::vector<Row> rows;
    bool per_call = false;  // rows are small-input groups: show time per call
};

// A column of the human-facing tables (text, Markdown, the HTML page).
struct Column {
    std::string header;
    bool numeric;
    std::function<std::string(const Row&)> cell;
};

// The columns that apply to the report's rows.
std::vector<Column> columns(const Report& report);

// The run's description, one line per element, no trailing newlines.
std::vector<std::string> header_lines(const Report& report);

std::string render_table(const Report& report);
std::string render_markdown(const Report& report);
std::string render_csv(const Report& report);
std::string render_json(const Report& report);
std::string render(const Report& report, Format format);

// Rounded figures as the tables show them.
std::string fixed(double value, int decimals);
// Seconds as microseconds with three or four significant digits.
std::string micros(double seconds);

}  // namespace vorlex::bench
