// The page is written whole here: every figure, the table and the CSV are in
// the HTML as the bench measured them, so it reads (and prints) without its
// script; the script (bench/page/page.js) adds the choices: input, link
// speed, sorting, values on hover. Any text from the run (file names, CPU,
// flags) is escaped, and the JSON the script reads is kept from closing its
// <script> element.
#include "html.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "bench_page_assets.h"
#include "plot.hpp"

namespace vorlex::bench {
namespace {

// The row label of the sum over files (bench_main.cpp); with --small, rows
// are grouped by size and there is no total.
constexpr const char* TOTAL = "total";

// Every load from elsewhere is refused: scripts and styles only inline,
// images only as data: URLs (the favicon), no fetch, frames, fonts, forms or
// base URL. The browser reports a refused load on its console, which the
// browser test watches.
constexpr const char* CSP =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
    "img-src data:; base-uri 'none'; form-action 'none'";

// Page geometry of one panel's <svg>.
constexpr double SVG_W = 520, SVG_H = 390;
constexpr double PANEL_LEFT = 64, PANEL_TOP = 14, PANEL_W = 436, PANEL_H = 318;

std::string join(const std::vector<std::string>& items, const char* sep) {
    std::string out;
    for (const std::string& s : items) out += (out.empty() ? "" : sep) + s;
    return out;
}

std::string with_commas(uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// The CSV as a data: URL, so the download needs neither a script nor a
// request. Percent-encoding keeps everything that means something in a URL
// (%, #, ?) or in the attribute (", &, <, >) out, and every control or
// non-ASCII byte.
std::string csv_data_url(const std::string& csv) {
    std::string out = "data:text/csv;charset=utf-8,";
    for (const char c : csv) {
        const auto u = static_cast<unsigned char>(c);
        const bool plain =
            (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            std::string_view("-_.,:;/=+()*!~@$[]^").find(c) != std::string_view::npos;
        if (plain) {
            out += c;
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", u);
            out += buf;
        }
    }
    return out;
}

// JSON inside <script>: "<" may only appear in strings, where \u003c reads
// back the same, and without it no "</script>" or "<!--" can end the element.
std::string script_safe_json(const std::string& json) {
    std::string out;
    out.reserve(json.size());
    for (const char c : json) {
        if (c == '<') out += "\\u003c";
        else out += c;
    }
    return out;
}

std::vector<std::string> group_labels(const Report& report) {
    std::vector<std::string> labels;
    for (const Row& r : report.rows) {
        if (std::find(labels.begin(), labels.end(), r.input) == labels.end()) {
            labels.push_back(r.input);
        }
    }
    // The total leads: it is what most readers came for.
    const auto total = std::find(labels.begin(), labels.end(), TOTAL);
    if (!report.per_call && total != labels.end()) std::rotate(labels.begin(), total, total + 1);
    return labels;
}

std::vector<Row> rows_of(const Report& report, const std::string& label) {
    std::vector<Row> out;
    for (const Row& r : report.rows) {
        if (r.input == label) out.push_back(r);
    }
    return out;
}

bool is_total(const Report& report, const std::string& label) {
    return !report.per_call && label == TOTAL;
}

// "dickens: 10,192,446 bytes", "total: 12 files, 211,938,580 bytes",
// "4 KiB: the first 4 KiB of 12 inputs".
std::string group_caption(const Report& report, const std::string& label,
                          const std::vector<Row>& rows) {
    const uint64_t bytes = rows.empty() ? 0 : rows.front().original;
    const uint64_t inputs = rows.empty() ? 0 : rows.front().inputs;
    if (report.per_call) {
        return label + ": the first " + label + " of " + std::to_string(inputs) +
               (inputs == 1 ? " input" : " inputs") + ", one call each";
    }
    if (is_total(report, label)) {
        return "all " + std::to_string(inputs) + " files: " + with_commas(bytes) + " bytes";
    }
    return label + ": " + with_commas(bytes) + " bytes";
}

std::string panel_svg(const std::vector<PlotPoint>& points, const Range& ratio, double step,
                      bool compress, const std::string& caption) {
    const std::string what = compress ? "compression" : "decompression";
    std::string svg = "<svg class=\"plot " + what + "\" width=\"" + svg_number(SVG_W) +
                      "\" height=\"" + svg_number(SVG_H) + "\" viewBox=\"0 0 " +
                      svg_number(SVG_W) + " " + svg_number(SVG_H) +
                      "\" font-family=\"sans-serif\" role=\"img\" aria-label=\"" +
                      xml_escape("compression ratio against " + what + " speed, " + caption) +
                      "\">\n";
    std::vector<double> speeds;
    for (const PlotPoint& p : points) speeds.push_back(p.speed);
    PanelFrame frame;
    frame.left = PANEL_LEFT;
    frame.top = PANEL_TOP;
    frame.width = PANEL_W;
    frame.height = PANEL_H;
    frame.speed_decades = speed_decades(speeds);
    frame.ratio = ratio;
    frame.ratio_step = step;
    frame.speed_label = what + " speed, MB/s (log scale)";
    draw_panel(svg, points, frame);
    svg += "</svg>\n";
    return svg;
}

std::string plots_section(const Report& report, const std::vector<std::string>& labels) {
    std::string out = "<section id=\"plots\">\n<h2>Ratio against speed</h2>\n";
    out += "<p class=\"legend\"><span class=\"dot\"></span>vorlex codecs"
           "<span class=\"sq\"></span>peers<span class=\"dash\"></span>Pareto front: the "
           "codecs no other one beats on speed and ratio at once. Up is smaller output, "
           "right is faster; point at a mark for its values.</p>\n";
    for (size_t g = 0; g < labels.size(); ++g) {
        const std::vector<Row> rows = rows_of(report, labels[g]);
        const std::string caption = group_caption(report, labels[g], rows);
        out += "<div class=\"group\" id=\"plots-" + std::to_string(g) + "\" data-input=\"" +
               xml_escape(labels[g]) + "\">\n<h3>" + xml_escape(caption) + "</h3>\n";
        const std::vector<PlotPoint> comp = plot_points(rows, true);
        const std::vector<PlotPoint> dec = plot_points(rows, false);
        if (comp.empty()) {
            out += "<p class=\"note\">No codec has results for this input.</p>\n</div>\n";
            continue;
        }
        std::vector<double> ratios;
        for (const PlotPoint& p : comp) ratios.push_back(p.ratio);
        double step = 0.5;
        const Range ratio = ratio_axis(ratios, step);
        out += "<div class=\"panels\">\n";
        out += panel_svg(comp, ratio, step, true, caption);
        out += panel_svg(dec, ratio, step, false, caption);
        out += "</div>\n</div>\n";
    }
    return out + "</section>\n";
}

std::string input_options(const Report& report, const std::vector<std::string>& labels) {
    std::string out;
    for (const std::string& label : labels) {
        const std::string text = is_total(report, label) ? "total (all files)" : label;
        out += "<option value=\"" + xml_escape(label) + "\">" + xml_escape(text) + "</option>";
    }
    return out;
}

std::string link_section(const Report& report, const std::vector<std::string>& labels) {
    std::string out = "<section id=\"link-speed\">\n<h2>Fastest across a link</h2>\n";
    out += "<p>Each codec's time to compress the data, send the compressed bytes over a link "
           "of the chosen speed, and decompress them, one step after the other; the fastest "
           "first. Slow links favour strong compression, fast ones favour fast codecs or none. "
           "Share a speed with the address: <code>benchmarks.html?link=10MB/s</code> (also "
           "<code>100Mbit/s</code>, <code>1GB/s</code>, <code>memory</code>).</p>\n";
    out += "<div class=\"controls\">\n";
    out += "<label>Input <select id=\"input\">" + input_options(report, labels) +
           "</select></label>\n";
    out += "<label>Link speed <input type=\"range\" id=\"link-range\" aria-label=\"link speed, "
           "logarithmic from 1 MB/s to memory speed\"> <input type=\"text\" id=\"link-text\" "
           "aria-label=\"link speed\" spellcheck=\"false\"></label>\n";
    out += "<span class=\"presets\">"
           "<button type=\"button\" data-link=\"1MB/s\">1 MB/s</button>"
           "<button type=\"button\" data-link=\"10MB/s\">10 MB/s</button>"
           "<button type=\"button\" data-link=\"100MB/s\">100 MB/s</button>"
           "<button type=\"button\" data-link=\"1GB/s\">1 GB/s</button>"
           "<button type=\"button\" data-link=\"memory\">memory (<span id=\"link-memory\">"
           "</span>)</button></span>\n";
    out += "<a id=\"link-share\" href=\"?link=100MB/s\">link to this view</a>\n</div>\n";
    out += "<p id=\"link-note\" class=\"note\"></p>\n";
    out += "<p id=\"best\" class=\"best\" data-best-total=\"\"></p>\n";
    out += "<noscript><p class=\"note\">The ranking is computed by the page's script, which is "
           "off; the plots and the table below need none.</p></noscript>\n";
    out += "<p class=\"key note\">Each bar: <span class=\"c\"></span>compress"
           "<span class=\"t\"></span>transfer<span class=\"d\"></span>decompress</p>\n";
    out += "<table id=\"ranking\" class=\"ranking\"><thead><tr><th class=\"num\">#</th>"
           "<th>codec</th><th class=\"num\">total</th><th>time</th><th class=\"num\">compress"
           "</th><th class=\"num\">transfer</th><th class=\"num\">decompress</th>"
           "<th class=\"num\">effective</th></tr></thead><tbody></tbody></table>\n";
    return out + "</section>\n";
}

std::string table_section(const Report& report, const std::vector<std::string>& labels) {
    const std::vector<Column> cols = columns(report);
    std::string out = "<section id=\"results\">\n<h2>All results</h2>\n";
    out += "<div class=\"controls\">\n<label>Show <select id=\"table-input\"><option value=\"\">"
           "all inputs</option>" +
           input_options(report, labels) + "</select></label>\n";
    out += "<a id=\"csv\" download=\"vorlex-benchmarks.csv\" href=\"" +
           xml_escape(csv_data_url(render_csv(report))) +
           "\">Download the data as CSV</a> <span class=\"note\">(the same as <code>vorlex "
           "bench --format csv</code>: every field, full precision)</span>\n</div>\n";
    out += "<p class=\"note\">Click a column's name to sort by it. MB/s are 10<sup>6</sup> bytes "
           "of original data per second; comp/lz4 and the like divide a speed by the peer's "
           "in the same run, which is what compares across machines.</p>\n";
    out += "<div class=\"table-wrap\"><table id=\"results-table\" class=\"sortable\">"
           "<thead><tr>";
    for (const Column& c : cols) {
        out += std::string("<th") + (c.numeric ? " class=\"num\"" : "") + ">" +
               xml_escape(c.header) + "</th>";
    }
    out += "</tr></thead>\n<tbody>\n";
    for (const Row& r : report.rows) {
        out += "<tr data-input=\"" + xml_escape(r.input) + "\" data-codec=\"" +
               xml_escape(r.codec) + "\" data-peer=\"" + (r.peer ? "1" : "0") + "\"" +
               (r.peer ? " class=\"peer\"" : "") + ">";
        for (const Column& c : cols) {
            const char* cls = c.header == "codec" ? " class=\"codec\""
                              : c.numeric         ? " class=\"num\""
                                                  : "";
            out += std::string("<td") + cls + ">" + xml_escape(c.cell(r)) + "</td>";
        }
        out += "</tr>\n";
    }
    out += "</tbody></table></div>\n";
    return out + "</section>\n";
}

std::string description(const Report& report, const std::vector<std::string>& labels,
                        const std::string& written) {
    const RunInfo& i = report.info;
    const auto item = [](const std::string& term, const std::string& text) {
        return "<dt>" + term + "</dt><dd>" + xml_escape(text) + "</dd>\n";
    };
    std::string out = "<dl class=\"run\">\n";
    out += item("code", "libvorlex " + i.version + ", commit " + i.commit);
    out += item("CPU", i.cpu);
    out += item("compiler", i.compiler);
    out += item("build", i.build);
    out += item("rounds", "median of " + std::to_string(i.rounds) +
                              (i.rounds == 1 ? " round" : " rounds") + ", each at least " +
                              fixed(i.min_time, 3) + " s per direction; every result verified "
                              "by a round trip");
    out += item("peers", i.peers.empty() ? "none (vorlex bench --peers adds them)"
                                         : join(i.peers, ", "));
    if (!i.missing_peers.empty()) {
        out += item("missing peers", join(i.missing_peers, ", ") + " (not found when built)");
    }
    std::vector<std::string> inputs;
    for (const std::string& label : labels) {
        if (is_total(report, label)) continue;
        const std::vector<Row> rows = rows_of(report, label);
        inputs.push_back(report.per_call ? label
                                         : label + " (" + with_commas(rows.front().original) +
                                               " bytes)");
    }
    out += item(report.per_call ? "sizes" : "inputs", join(inputs, ", "));
    if (!written.empty()) out += item("written", written);
    return out + "</dl>\n";
}

std::string utc_now() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (gmtime_r(&now, &tm) == nullptr) return {};
    char buf[32];
    return std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M UTC", &tm) == 0 ? "" : buf;
}

}  // namespace

std::string render_html(const Report& report) { return render_html(report, utc_now()); }

std::string render_html(const Report& report, const std::string& written) {
    const std::vector<std::string> labels = group_labels(report);
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    out += std::string("<meta http-equiv=\"Content-Security-Policy\" content=\"") + CSP + "\">\n";
    out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    out += "<meta name=\"generator\" content=\"vorlex bench " + xml_escape(report.info.version) +
           "\">\n";
    // Without an icon of its own, a browser may ask the server for one.
    out += "<link rel=\"icon\" href=\"data:,\">\n";
    out += "<title>vorlex benchmarks (" + xml_escape(report.info.commit) + ")</title>\n";
    out += "<style>\n" + std::string(PAGE_CSS) + "</style>\n</head>\n<body>\n";
    out += "<header>\n<h1>vorlex benchmarks</h1>\n";
    out += "<p class=\"lede\">Compression ratio and speed of every codec";
    out += report.info.peers.empty() ? "" : " beside well-known libraries (peers)";
    out += report.per_call ? ", one call on small inputs" : "";
    out += ", measured in one process by <code>vorlex bench</code>. Compare only runs with the "
           "same description.</p>\n";
    out += description(report, labels, written);
    out += "<nav><a href=\"#link-speed\">fastest across a link</a><a href=\"#plots\">ratio "
           "against speed</a><a href=\"#results\">all results</a></nav>\n</header>\n<main>\n";
    if (report.rows.empty()) {
        out += "<p>No results: every codec failed or no input was read.</p>\n";
    }
    out += link_section(report, labels);
    out += plots_section(report, labels);
    out += table_section(report, labels);
    out += "</main>\n<footer>Written by <code>vorlex bench --format html</code>. Self-contained: "
           "this page loads nothing from anywhere.</footer>\n";
    out += "<div id=\"tip\" class=\"tip\" hidden></div>\n";
    out += "<script type=\"application/json\" id=\"bench-data\">\n" +
           script_safe_json(render_json(report)) + "</script>\n";
    out += "<script>\n" + std::string(PAGE_JS) + "</script>\n</body>\n</html>\n";
    return out;
}

}  // namespace vorlex::bench
