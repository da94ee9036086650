#include "panel.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace vorlex::bench {
namespace {

std::string speed_tick(double v) {
    char buf[32];
    if (v >= 1) std::snprintf(buf, sizeof buf, "%.0f", v);
    else std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// 2.75, 2.5, 3: as many decimals as the quarter steps need.
std::string ratio_tick(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
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

}  // namespace

std::string svg_number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

std::string xml_escape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

Range speed_decades(const std::vector<double>& speeds) {
    double lo = *std::min_element(speeds.begin(), speeds.end());
    double hi = *std::max_element(speeds.begin(), speeds.end());
    lo = std::floor(std::log10(lo));
    hi = std::ceil(std::log10(hi));
    if (hi <= lo) hi = lo + 1;
    return {lo, hi};
}

Range ratio_axis(const std::vector<double>& ratios, double& step) {
    const double lo = *std::min_element(ratios.begin(), ratios.end());
    const double hi = *std::max_element(ratios.begin(), ratios.end());
    step = hi - lo > 6 ? 1.0 : hi - lo > 1.5 ? 0.5 : 0.25;
    return {std::max(0.0, std::floor(lo / step) * step - step), std::ceil(hi / step) * step + step};
}

std::vector<size_t> pareto_front(const std::vector<PlotPoint>& points) {
    std::vector<size_t> front;
    for (size_t i = 0; i < points.size(); ++i) {
        const PlotPoint& p = points[i];
        const bool beaten = std::any_of(points.begin(), points.end(), [&](const PlotPoint& q) {
            return q.speed >= p.speed && q.ratio >= p.ratio &&
                   (q.speed > p.speed || q.ratio > p.ratio);
        });
        if (!beaten) front.push_back(i);
    }
    std::stable_sort(front.begin(), front.end(), [&](size_t a, size_t b) {
        return points[a].speed < points[b].speed ||
               (points[a].speed == points[b].speed && points[a].ratio > points[b].ratio);
    });
    return front;
}

void draw_panel(std::string& svg, const std::vector<PlotPoint>& points, const PanelFrame& f) {
    const Range& xr = f.speed_decades;
    const Range& yr = f.ratio;
    const auto px = [&](double mbps) {
        return f.left + (std::log10(mbps) - xr.lo) / (xr.hi - xr.lo) * f.width;
    };
    const auto py = [&](double ratio) {
        return f.top + f.height - (ratio - yr.lo) / (yr.hi - yr.lo) * f.height;
    };
    const std::string bottom = svg_number(f.top + f.height);
    svg += "<rect x=\"" + svg_number(f.left) + "\" y=\"" + svg_number(f.top) + "\" width=\"" +
           svg_number(f.width) + "\" height=\"" + svg_number(f.height) +
           "\" fill=\"#fafafa\" stroke=\"#888\"/>\n";
    // Grid: each decade labelled; 2 and 5 within it as fainter lines.
    for (int d = int(xr.lo); d <= int(xr.hi); ++d) {
        for (const double m : {1.0, 2.0, 5.0}) {
            const double v = m * std::pow(10.0, d);
            if (std::log10(v) > xr.hi + 1e-9) break;
            const std::string x = svg_number(px(v));
            svg += "<line x1=\"" + x + "\" y1=\"" + svg_number(f.top) + "\" x2=\"" + x +
                   "\" y2=\"" + bottom + "\" stroke=\"" + (m == 1.0 ? "#ccc" : "#eee") + "\"/>\n";
            if (m == 1.0 || xr.hi - xr.lo <= 3) {
                svg += "<text x=\"" + x + "\" y=\"" + svg_number(f.top + f.height + 16) +
                       "\" text-anchor=\"middle\" font-size=\"11\">" + speed_tick(v) + "</text>\n";
            }
        }
    }
    for (double r = yr.lo; r <= yr.hi + 1e-9; r += f.ratio_step) {
        const std::string y = svg_number(py(r));
        svg += "<line x1=\"" + svg_number(f.left) + "\" y1=\"" + y + "\" x2=\"" +
               svg_number(f.left + f.width) + "\" y2=\"" + y + "\" stroke=\"#eee\"/>\n";
        svg += "<text x=\"" + svg_number(f.left - 6) + "\" y=\"" + svg_number(py(r) + 4) +
               "\" text-anchor=\"end\" font-size=\"11\">" + ratio_tick(r) + "</text>\n";
    }
    svg += "<text x=\"" + svg_number(f.left + f.width / 2) + "\" y=\"" +
           svg_number(f.top + f.height + 36) + "\" text-anchor=\"middle\" font-size=\"12\">" +
           xml_escape(f.speed_label) + "</text>\n";
    const std::string mid_x = svg_number(f.left - 44), mid_y = svg_number(f.top + f.height / 2);
    svg += "<text x=\"" + mid_x + "\" y=\"" + mid_y +
           "\" text-anchor=\"middle\" font-size=\"12\" transform=\"rotate(-90 " + mid_x + " " +
           mid_y + ")\">compression ratio</text>\n";

    // The front under the marks: a codec off it is slower and compresses
    // less than some codec on it.
    const std::vector<size_t> front = pareto_front(points);
    if (front.size() > 1) {
        std::string path;
        for (const size_t i : front) {
            if (!path.empty()) path += ' ';
            path += svg_number(px(points[i].speed));
            path += ',';
            path += svg_number(py(points[i].ratio));
        }
        svg += std::string("<polyline class=\"front\" points=\"") + path +
               "\" fill=\"none\" stroke=\"" + FRONT_COLOUR +
               "\" stroke-width=\"1.2\" stroke-dasharray=\"5 3\"/>\n";
    }

    // Marks first, then labels placed where they hide no mark and no other
    // label: codecs of similar speed and ratio crowd together.
    std::vector<Box> taken;
    std::vector<std::pair<double, double>> at;
    for (size_t i = 0; i < points.size(); ++i) {
        const PlotPoint& p = points[i];
        const double x = px(p.speed), y = py(p.ratio);
        at.emplace_back(x, y);
        taken.push_back({x - 5, y - 5, x + 5, y + 5});
        const bool on_front = std::find(front.begin(), front.end(), i) != front.end();
        svg += "<g class=\"pt" + std::string(on_front ? " on-front" : "") + "\" data-codec=\"" +
               xml_escape(p.codec) + "\" data-peer=\"" + (p.peer ? "1" : "0") + "\"><title>" +
               xml_escape(p.tip) + "</title>";
        const char* colour = p.peer ? PEER_COLOUR : OURS_COLOUR;
        if (p.peer) {
            svg += "<rect x=\"" + svg_number(x - 4.5) + "\" y=\"" + svg_number(y - 4.5) +
                   "\" width=\"9\" height=\"9\" fill=\"" + colour + "\"/>";
        } else {
            svg += "<circle cx=\"" + svg_number(x) + "\" cy=\"" + svg_number(y) +
                   "\" r=\"5\" fill=\"" + colour + "\"/>";
        }
        svg += "</g>\n";
    }
    const Box frame{f.left, f.top, f.left + f.width, f.top + f.height};
    for (size_t i = 0; i < points.size(); ++i) {
        const auto [x, y] = at[i];
        const double w = LABEL_CHAR_W * double(points[i].codec.size());
        // Candidate spots: right above, right below, left above, left below,
        // centred above, centred below. x is the label's left edge, y its baseline.
        const std::pair<double, double> spots[] = {
            {x + 8, y - 4},      {x + 8, y + 13},   {x - 8 - w, y - 4},
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
        svg += "<text class=\"label\" x=\"" + svg_number(best.x0) + "\" y=\"" +
               svg_number(best.y1 - 2) + "\" font-size=\"11\" fill=\"" +
               (points[i].peer ? PEER_COLOUR : OURS_COLOUR) + "\">" +
               xml_escape(points[i].codec) + "</text>\n";
    }
}

}  // namespace vorlex::bench
