#include "plot.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace vorlex::bench {
namespace {

constexpr double WIDTH = 990, HEIGHT = 470;
constexpr double PANEL_W = 400, PANEL_H = 330, TOP = 80, LEFT = 70, GAP = 80;
constexpr const char* OURS_COLOUR = "#1f6fb4";
constexpr const char* PEER_COLOUR = "#e0701a";

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

std::string escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string speed_label(double v) {
    char buf[32];
    if (v >= 1) std::snprintf(buf, sizeof buf, "%.0f", v);
    else std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// Text metrics for 11px sans-serif, generous so estimates err towards space.
constexpr double LABEL_CHAR_W = 6.4, LABEL_H = 12;

struct Box {
    double x0, y0, x1, y1;
};

double overlap(const Box& a, const Box& b) {
    const double w = std::min(a.x1, b.x1) - std::max(a.x0, b.x0);
    const double h = std::min(a.y1, b.y1) - std::max(a.y0, b.y0);
    return w > 0 && h > 0 ? w * h : 0;
}

bool inside(const Box& a, const Box& frame) {
    return a.x0 >= frame.x0 && a.x1 <= frame.x1 && a.y0 >= frame.y0 && a.y1 <= frame.y1;
}

struct Range {
    double lo, hi;
};

// Whole decades around the speeds, so the log axis has labelled ends.
Range speed_range(const std::vector<double>& speeds) {
    double lo = *std::min_element(speeds.begin(), speeds.end());
    double hi = *std::max_element(speeds.begin(), speeds.end());
    lo = std::floor(std::log10(lo));
    hi = std::ceil(std::log10(hi));
    if (hi <= lo) hi = lo + 1;
    return {lo, hi};
}

// Ratio axis from a step below the lowest ratio to a step above the highest,
// so no mark sits on the frame; ticks fall on multiples of the step.
Range ratio_range(const std::vector<double>& ratios, double& step) {
    const double lo = *std::min_element(ratios.begin(), ratios.end());
    const double hi = *std::max_element(ratios.begin(), ratios.end());
    step = hi - lo > 6 ? 1.0 : hi - lo > 1.5 ? 0.5 : 0.25;
    return {std::max(0.0, std::floor(lo / step) * step - step), std::ceil(hi / step) * step + step};
}

void panel(std::string& svg, const std::vector<Row>& rows, bool compress, double x0,
           const Range& xr, const Range& yr, double ystep) {
    const auto px = [&](double mbps) {
        return x0 + (std::log10(mbps) - xr.lo) / (xr.hi - xr.lo) * PANEL_W;
    };
    const auto py = [&](double ratio) {
        return TOP + PANEL_H - (ratio - yr.lo) / (yr.hi - yr.lo) * PANEL_H;
    };
    svg += "<rect x=\"" + num(x0) + "\" y=\"" + num(TOP) + "\" width=\"" + num(PANEL_W) +
           "\" height=\"" + num(PANEL_H) + "\" fill=\"#fafafa\" stroke=\"#888\"/>\n";
    // Grid: each decade labelled; 2 and 5 within it as fainter lines.
    for (int d = int(xr.lo); d <= int(xr.hi); ++d) {
        for (const double m : {1.0, 2.0, 5.0}) {
            const double v = m * std::pow(10.0, d);
            if (std::log10(v) > xr.hi + 1e-9) break;
            const double x = px(v);
            svg += "<line x1=\"" + num(x) + "\" y1=\"" + num(TOP) + "\" x2=\"" + num(x) +
                   "\" y2=\"" + num(TOP + PANEL_H) + "\" stroke=\"" +
                   (m == 1.0 ? "#ccc" : "#eee") + "\"/>\n";
            if (m == 1.0 || xr.hi - xr.lo <= 3) {
                svg += "<text x=\"" + num(x) + "\" y=\"" + num(TOP + PANEL_H + 16) +
                       "\" text-anchor=\"middle\" font-size=\"11\">" + speed_label(v) +
                       "</text>\n";
            }
        }
    }
    for (double r = yr.lo; r <= yr.hi + 1e-9; r += ystep) {
        const double y = py(r);
        svg += "<line x1=\"" + num(x0) + "\" y1=\"" + num(y) + "\" x2=\"" + num(x0 + PANEL_W) +
               "\" y2=\"" + num(y) + "\" stroke=\"#eee\"/>\n";
        svg += "<text x=\"" + num(x0 - 6) + "\" y=\"" + num(y + 4) +
               "\" text-anchor=\"end\" font-size=\"11\">" + num(r) + "</text>\n";
    }
    svg += "<text x=\"" + num(x0 + PANEL_W / 2) + "\" y=\"" + num(TOP + PANEL_H + 36) +
           "\" text-anchor=\"middle\" font-size=\"12\">" +
           (compress ? "compression" : "decompression") + " speed, MB/s (log scale)</text>\n";
    svg += "<text x=\"" + num(x0 - 44) + "\" y=\"" + num(TOP + PANEL_H / 2) +
           "\" text-anchor=\"middle\" font-size=\"12\" transform=\"rotate(-90 " + num(x0 - 44) +
           " " + num(TOP + PANEL_H / 2) + ")\">compression ratio</text>\n";
    // Marks first, then labels placed where they hide no mark and no other
    // label: codecs of similar speed and ratio crowd together.
    std::vector<Box> taken;
    std::vector<std::pair<double, double>> at;
    for (const Row& r : rows) {
        const double x = px(compress ? r.compress_mb_s() : r.decompress_mb_s());
        const double y = py(r.ratio());
        at.emplace_back(x, y);
        taken.push_back({x - 5, y - 5, x + 5, y + 5});
        const char* colour = r.peer ? PEER_COLOUR : OURS_COLOUR;
        if (r.peer) {
            svg += "<rect x=\"" + num(x - 4.5) + "\" y=\"" + num(y - 4.5) +
                   "\" width=\"9\" height=\"9\" fill=\"" + colour + "\"/>\n";
        } else {
            svg += "<circle cx=\"" + num(x) + "\" cy=\"" + num(y) + "\" r=\"5\" fill=\"" +
                   colour + "\"/>\n";
        }
    }
    const Box frame{x0, TOP, x0 + PANEL_W, TOP + PANEL_H};
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto [x, y] = at[i];
        const double w = LABEL_CHAR_W * double(rows[i].codec.size());
        // Candidate spots: right above, right below, left above, left below,
        // centred above, centred below. x is the label's left edge, y its baseline.
        const std::pair<double, double> spots[] = {
            {x + 8, y - 4},  {x + 8, y + 13},      {x - 8 - w, y - 4},
            {x - 8 - w, y + 13}, {x - w / 2, y - 9}, {x - w / 2, y + 19}};
        Box best{};
        double best_cost = -1;
        for (const auto& [lx, ly] : spots) {
            const Box box{lx, ly - LABEL_H + 2, lx + w, ly + 2};
            double cost = inside(box, frame) ? 0 : 1e6;
            for (const Box& t : taken) cost += overlap(box, t);
            if (best_cost < 0 || cost < best_cost) {
                best = box;
                best_cost = cost;
            }
            if (cost == 0) break;
        }
        taken.push_back(best);
        svg += "<text x=\"" + num(best.x0) + "\" y=\"" + num(best.y1 - 2) +
               "\" font-size=\"11\" fill=\"" + (rows[i].peer ? PEER_COLOUR : OURS_COLOUR) +
               "\">" + escape(rows[i].codec) + "</text>\n";
    }
}

}  // namespace

std::string render_svg(const std::vector<Row>& all_rows, const std::string& title,
                       const std::string& subtitle) {
    std::vector<Row> rows;
    for (const Row& r : all_rows) {
        if (r.compress_mb_s() > 0 && r.decompress_mb_s() > 0 && r.ratio() > 0) rows.push_back(r);
    }
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(WIDTH) +
                      "\" height=\"" + num(HEIGHT) + "\" viewBox=\"0 0 " + num(WIDTH) + " " +
                      num(HEIGHT) + "\" font-family=\"sans-serif\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"" + num(WIDTH / 2) + "\" y=\"26\" text-anchor=\"middle\" font-size=\"16\">" +
           escape(title) + "</text>\n";
    svg += "<text x=\"" + num(WIDTH / 2) + "\" y=\"46\" text-anchor=\"middle\" font-size=\"11\" "
           "fill=\"#555\">" + escape(subtitle) + "</text>\n";
    // Legend.
    svg += "<circle cx=\"" + num(WIDTH - 190) + "\" cy=\"62\" r=\"5\" fill=\"" + OURS_COLOUR +
           "\"/><text x=\"" + num(WIDTH - 180) + "\" y=\"66\" font-size=\"11\">vorlex codecs</text>\n";
    svg += "<rect x=\"" + num(WIDTH - 95) + "\" y=\"57.5\" width=\"9\" height=\"9\" fill=\"" +
           PEER_COLOUR + "\"/><text x=\"" + num(WIDTH - 80) +
           "\" y=\"66\" font-size=\"11\">peers</text>\n";
    if (rows.empty()) {
        svg += "<text x=\"" + num(WIDTH / 2) + "\" y=\"" + num(HEIGHT / 2) +
               "\" text-anchor=\"middle\">no results</text>\n</svg>\n";
        return svg;
    }
    std::vector<double> cs, ds, ratios;
    for (const Row& r : rows) {
        cs.push_back(r.compress_mb_s());
        ds.push_back(r.decompress_mb_s());
        ratios.push_back(r.ratio());
    }
    double ystep = 0.5;
    const Range yr = ratio_range(ratios, ystep);
    panel(svg, rows, true, LEFT, speed_range(cs), yr, ystep);
    panel(svg, rows, false, LEFT + PANEL_W + GAP, speed_range(ds), yr, ystep);
    svg += "</svg>\n";
    return svg;
}

}  // namespace vorlex::bench
