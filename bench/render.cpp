#include "render.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>

#include "html.hpp"

namespace vorlex::bench {
namespace {

std::string join(const std::vector<std::string>& items, const char* sep) {
    std::string out;
    for (const std::string& s : items) out += (out.empty() ? "" : sep) + s;
    return out;
}

// Shortest text that reads back as the same double; non-finite values have
// no JSON spelling and are written as empty.
std::string exact(double v) {
    if (!std::isfinite(v)) return {};
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string optional_fixed(const std::optional<double>& v, int decimals) {
    return v ? fixed(*v, decimals) : "-";
}

}  // namespace

std::vector<Column> columns(const Report& report) {
    const auto any = [&](std::optional<double> Row::*field) {
        return std::any_of(report.rows.begin(), report.rows.end(),
                           [&](const Row& r) { return (r.*field).has_value(); });
    };
    std::vector<Column> cols;
    cols.push_back({report.per_call ? "size" : "file", false, [](const Row& r) { return r.input; }});
    cols.push_back({"codec", false, [](const Row& r) { return r.codec; }});
    if (!report.per_call) {
        cols.push_back({"original", true, [](const Row& r) { return std::to_string(r.original); }});
        cols.push_back(
            {"compressed", true, [](const Row& r) { return std::to_string(r.compressed); }});
    }
    cols.push_back({"ratio", true, [](const Row& r) { return fixed(r.ratio(), 3); }});
    if (report.per_call) {
        cols.push_back({"comp us/call", true,
                        [](const Row& r) { return micros(r.compress_seconds_per_call()); }});
        cols.push_back({"dec us/call", true,
                        [](const Row& r) { return micros(r.decompress_seconds_per_call()); }});
    }
    cols.push_back({"comp MB/s", true, [](const Row& r) { return fixed(r.compress_mb_s(), 1); }});
    cols.push_back({"dec MB/s", true, [](const Row& r) { return fixed(r.decompress_mb_s(), 1); }});
    if (any(&Row::compress_vs_lz4)) {
        cols.push_back({"comp/lz4", true,
                        [](const Row& r) { return optional_fixed(r.compress_vs_lz4, 3); }});
        cols.push_back({"dec/lz4", true,
                        [](const Row& r) { return optional_fixed(r.decompress_vs_lz4, 3); }});
    }
    if (any(&Row::compress_vs_memcpy)) {
        cols.push_back({"comp/memcpy", true,
                        [](const Row& r) { return optional_fixed(r.compress_vs_memcpy, 3); }});
        cols.push_back({"dec/memcpy", true,
                        [](const Row& r) { return optional_fixed(r.decompress_vs_memcpy, 3); }});
    }
    return cols;
}

namespace {

std::vector<std::vector<std::string>> cells(const Report& report, const std::vector<Column>& cols) {
    std::vector<std::vector<std::string>> out;
    for (const Row& r : report.rows) {
        std::vector<std::string> line;
        for (const Column& c : cols) line.push_back(c.cell(r));
        out.push_back(std::move(line));
    }
    return out;
}

// A pipe would end the cell early.
std::string markdown_cell(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out;
}

std::string csv_field(const std::string& s) {
    if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string json_number(double v) {
    const std::string s = exact(v);
    return s.empty() ? "null" : s;
}

std::string json_optional(const std::optional<double>& v) { return v ? json_number(*v) : "null"; }

std::string json_strings(const std::vector<std::string>& items) {
    std::string out = "[";
    for (const std::string& s : items) {
        if (out.size() > 1) out += ", ";
        out += json_string(s);
    }
    out += ']';
    return out;
}

}  // namespace

std::string fixed(double value, int decimals) {
    if (!std::isfinite(value)) return "-";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return buf;
}

std::string micros(double seconds) {
    const double us = seconds * 1e6;
    if (!std::isfinite(us)) return "-";
    if (us < 10) return fixed(us, 3);
    if (us < 100) return fixed(us, 2);
    if (us < 1000) return fixed(us, 1);
    return fixed(us, 0);
}

std::vector<std::string> header_lines(const Report& report) {
    const RunInfo& i = report.info;
    std::vector<std::string> lines;
    lines.push_back("vorlex bench: libvorlex " + i.version + ", commit " + i.commit);
    lines.push_back("CPU: " + i.cpu + "; compiler: " + i.compiler + "; build: " + i.build);
    lines.push_back("MB/s = 10^6 bytes of original data per second; median of " +
                    std::to_string(i.rounds) + (i.rounds == 1 ? " round" : " rounds") +
                    ", each at least " + fixed(i.min_time, 3) +
                    " s per direction; every row verified by a round trip");
    if (report.per_call) {
        lines.push_back("us/call: microseconds per call, the mean over the inputs of each "
                        "input's median");
    }
    if (!i.peers.empty()) lines.push_back("peers: " + join(i.peers, ", "));
    if (!i.missing_peers.empty()) {
        lines.push_back("missing peers (not found when built): " + join(i.missing_peers, ", "));
    }
    return lines;
}

std::string render_table(const Report& report) {
    std::string out;
    for (const std::string& line : header_lines(report)) out += line + "\n";
    out += "\n";
    const std::vector<Column> cols = columns(report);
    const auto body = cells(report, cols);
    std::vector<size_t> width(cols.size());
    for (size_t c = 0; c < cols.size(); ++c) {
        width[c] = cols[c].header.size();
        for (const auto& line : body) width[c] = std::max(width[c], line[c].size());
    }
    const auto emit = [&](const std::vector<std::string>& line) {
        std::string text;
        for (size_t c = 0; c < cols.size(); ++c) {
            const std::string pad(width[c] - line[c].size(), ' ');
            if (c != 0) text += "  ";
            text += cols[c].numeric ? pad + line[c] : line[c] + pad;
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out += text + "\n";
    };
    std::vector<std::string> headers;
    for (const Column& c : cols) headers.push_back(c.header);
    emit(headers);
    for (size_t r = 0; r < body.size(); ++r) {
        // A blank line between inputs keeps each input's codecs together.
        if (r != 0 && report.rows[r].input != report.rows[r - 1].input) out += "\n";
        emit(body[r]);
    }
    return out;
}

std::string render_markdown(const Report& report) {
    std::string out;
    for (const std::string& line : header_lines(report)) out += line + "  \n";
    out += "\n";
    const std::vector<Column> cols = columns(report);
    std::string head = "|", rule = "|";
    for (const Column& c : cols) {
        head += " " + c.header + " |";
        rule += c.numeric ? " ---: |" : " :--- |";
    }
    out += head + "\n" + rule + "\n";
    for (const auto& line : cells(report, cols)) {
        std::string text = "|";
        for (const std::string& cell : line) {
            text += ' ';
            text += markdown_cell(cell);
            text += " |";
        }
        out += text + "\n";
    }
    return out;
}

std::string render_csv(const Report& report) {
    std::string out;
    for (const std::string& line : header_lines(report)) out += "# " + line + "\n";
    out += "input,codec,peer,inputs,original,compressed,ratio,compress_mb_s,decompress_mb_s,"
           "compress_s_per_call,decompress_s_per_call,compress_vs_lz4,decompress_vs_lz4,"
           "compress_vs_memcpy,decompress_vs_memcpy\n";
    const auto opt = [](const std::optional<double>& v) { return v ? exact(*v) : std::string(); };
    for (const Row& r : report.rows) {
        out += csv_field(r.input) + "," + csv_field(r.codec) + "," + (r.peer ? "1" : "0") + "," +
               std::to_string(r.inputs) + "," + std::to_string(r.original) + "," +
               std::to_string(r.compressed) + "," + exact(r.ratio()) + "," +
               exact(r.compress_mb_s()) + "," + exact(r.decompress_mb_s()) + "," +
               exact(r.compress_seconds_per_call()) + "," +
               exact(r.decompress_seconds_per_call()) + "," + opt(r.compress_vs_lz4) + "," +
               opt(r.decompress_vs_lz4) + "," + opt(r.compress_vs_memcpy) + "," +
               opt(r.decompress_vs_memcpy) + "\n";
    }
    return out;
}

std::string render_json(const Report& report) {
    const RunInfo& i = report.info;
    std::string out = "{\n  \"run\": {\n";
    out += "    \"version\": " + json_string(i.version) + ",\n";
    out += "    \"commit\": " + json_string(i.commit) + ",\n";
    out += "    \"cpu\": " + json_string(i.cpu) + ",\n";
    out += "    \"compiler\": " + json_string(i.compiler) + ",\n";
    out += "    \"build\": " + json_string(i.build) + ",\n";
    out += "    \"rounds\": " + std::to_string(i.rounds) + ",\n";
    out += "    \"min_time\": " + json_number(i.min_time) + ",\n";
    out += "    \"unit\": \"MB/s = 10^6 bytes of original data per second\",\n";
    out += "    \"peers\": " + json_strings(i.peers) + ",\n";
    out += "    \"missing_peers\": " + json_strings(i.missing_peers) + "\n  },\n";
    out += std::string("  \"per_call\": ") + (report.per_call ? "true" : "false") + ",\n";
    out += "  \"rows\": [";
    for (size_t n = 0; n < report.rows.size(); ++n) {
        const Row& r = report.rows[n];
        out += n == 0 ? "\n" : ",\n";
        out += "    {\"input\": " + json_string(r.input) + ", \"codec\": " + json_string(r.codec) +
               ", \"peer\": " + (r.peer ? "true" : "false") +
               ", \"inputs\": " + std::to_string(r.inputs) +
               ", \"original\": " + std::to_string(r.original) +
               ", \"compressed\": " + std::to_string(r.compressed) +
               ", \"ratio\": " + json_number(r.ratio()) +
               ", \"compress_mb_s\": " + json_number(r.compress_mb_s()) +
               ", \"decompress_mb_s\": " + json_number(r.decompress_mb_s()) +
               ", \"compress_s_per_call\": " + json_number(r.compress_seconds_per_call()) +
               ", \"decompress_s_per_call\": " + json_number(r.decompress_seconds_per_call()) +
               ", \"compress_vs_lz4\": " + json_optional(r.compress_vs_lz4) +
               ", \"decompress_vs_lz4\": " + json_optional(r.decompress_vs_lz4) +
               ", \"compress_vs_memcpy\": " + json_optional(r.compress_vs_memcpy) +
               ", \"decompress_vs_memcpy\": " + json_optional(r.decompress_vs_memcpy) + "}";
    }
    out += report.rows.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

std::string render(const Report& report, Format format) {
    switch (format) {
        case Format::markdown: return render_markdown(report);
        case Format::csv: return render_csv(report);
        case Format::json: return render_json(report);
        case Format::html: return render_html(report);
        case Format::table: break;
    }
    return render_table(report);
}

}  // namespace vorlex::bench
