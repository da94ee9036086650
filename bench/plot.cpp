#include "plot.hpp"

#include <algorithm>

#include "panel.hpp"
#include "render.hpp"

namespace vorlex::bench {
namespace {

constexpr double WIDTH = 990, HEIGHT = 470;
constexpr double PANEL_W = 400, PANEL_H = 330, TOP = 80, LEFT = 70, GAP = 80;

}  // namespace

std::string point_tip(const Row& r) {
    return r.codec + (r.peer ? " (peer)" : "") + ": ratio " + fixed(r.ratio(), 3) + " (" +
           std::to_string(r.original) + " to " + std::to_string(r.compressed) +
           " bytes); compression " + fixed(r.compress_mb_s(), 1) + " MB/s; decompression " +
           fixed(r.decompress_mb_s(), 1) + " MB/s";
}

std::vector<Row> plottable(const std::vector<Row>& rows) {
    std::vector<Row> out;
    for (const Row& r : rows) {
        if (r.compress_mb_s() > 0 && r.decompress_mb_s() > 0 && r.ratio() > 0) out.push_back(r);
    }
    return out;
}

std::vector<PlotPoint> plot_points(const std::vector<Row>& rows, bool compress) {
    std::vector<PlotPoint> points;
    for (const Row& r : plottable(rows)) {
        points.push_back({r.codec, r.peer, compress ? r.compress_mb_s() : r.decompress_mb_s(),
                          r.ratio(), point_tip(r)});
    }
    return points;
}

std::string render_svg(const std::vector<Row>& rows, const std::string& title,
                       const std::string& subtitle) {
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + svg_number(WIDTH) +
                      "\" height=\"" + svg_number(HEIGHT) + "\" viewBox=\"0 0 " +
                      svg_number(WIDTH) + " " + svg_number(HEIGHT) +
                      "\" font-family=\"sans-serif\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"" + svg_number(WIDTH / 2) +
           "\" y=\"26\" text-anchor=\"middle\" font-size=\"16\">" + xml_escape(title) + "</text>\n";
    svg += "<text x=\"" + svg_number(WIDTH / 2) +
           "\" y=\"46\" text-anchor=\"middle\" font-size=\"11\" fill=\"#555\">" +
           xml_escape(subtitle) + "</text>\n";
    // Legend.
    svg += "<circle cx=\"" + svg_number(WIDTH - 290) + "\" cy=\"62\" r=\"5\" fill=\"" +
           OURS_COLOUR + "\"/><text x=\"" + svg_number(WIDTH - 280) +
           "\" y=\"66\" font-size=\"11\">vorlex codecs</text>\n";
    svg += "<rect x=\"" + svg_number(WIDTH - 195) +
           "\" y=\"57.5\" width=\"9\" height=\"9\" fill=\"" + PEER_COLOUR + "\"/><text x=\"" +
           svg_number(WIDTH - 180) + "\" y=\"66\" font-size=\"11\">peers</text>\n";
    svg += "<line x1=\"" + svg_number(WIDTH - 135) + "\" y1=\"62\" x2=\"" +
           svg_number(WIDTH - 113) + "\" y2=\"62\" stroke=\"" + FRONT_COLOUR +
           "\" stroke-width=\"1.2\" stroke-dasharray=\"5 3\"/><text x=\"" +
           svg_number(WIDTH - 107) + "\" y=\"66\" font-size=\"11\">Pareto front</text>\n";
    const std::vector<PlotPoint> comp = plot_points(rows, true);
    const std::vector<PlotPoint> dec = plot_points(rows, false);
    if (comp.empty()) {
        svg += "<text x=\"" + svg_number(WIDTH / 2) + "\" y=\"" + svg_number(HEIGHT / 2) +
               "\" text-anchor=\"middle\">no results</text>\n</svg>\n";
        return svg;
    }
    std::vector<double> cs, ds, ratios;
    for (size_t i = 0; i < comp.size(); ++i) {
        cs.push_back(comp[i].speed);
        ds.push_back(dec[i].speed);
        ratios.push_back(comp[i].ratio);
    }
    PanelFrame frame;
    frame.top = TOP;
    frame.width = PANEL_W;
    frame.height = PANEL_H;
    frame.ratio = ratio_axis(ratios, frame.ratio_step);

    frame.left = LEFT;
    frame.speed_decades = speed_decades(cs);
    frame.speed_label = "compression speed, MB/s (log scale)";
    draw_panel(svg, comp, frame);

    frame.left = LEFT + PANEL_W + GAP;
    frame.speed_decades = speed_decades(ds);
    frame.speed_label = "decompression speed, MB/s (log scale)";
    draw_panel(svg, dec, frame);
    svg += "</svg>\n";
    return svg;
}

}  // namespace vorlex::bench
