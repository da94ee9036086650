// One scatter panel in SVG: compression ratio (linear, upwards) against speed
// (logarithmic, rightwards), one mark per codec, peers as squares in another
// colour, the Pareto front as a dashed line, each mark carrying its values as
// a hover title. The static picture (plot.cpp) and the HTML page (html.cpp)
// both draw their panels here; each adds its own frame, titles and legend.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vorlex::bench {

inline constexpr const char* OURS_COLOUR = "#1f6fb4";
inline constexpr const char* PEER_COLOUR = "#e0701a";
inline constexpr const char* FRONT_COLOUR = "#777";

struct PlotPoint {
    std::string codec;
    bool peer = false;
    double speed = 0;  // MB/s, > 0
    double ratio = 0;  // > 0
    std::string tip;   // the hover text: the codec's values
};

struct Range {
    double lo, hi;
};

// Whole decades (as powers of ten) around the speeds, so the logarithmic
// axis has labelled ends. speeds must not be empty.
Range speed_decades(const std::vector<double>& speeds);

// From a step below the lowest ratio to a step above the highest, so no mark
// sits on the frame; ticks fall on multiples of step. ratios must not be empty.
Range ratio_axis(const std::vector<double>& ratios, double& step);

// The points no other point matches or beats on both speed and ratio while
// beating it on one, by ascending speed (so by descending ratio): the codecs
// worth choosing for some trade-off. Equal points are all on the front.
std::vector<size_t> pareto_front(const std::vector<PlotPoint>& points);

struct PanelFrame {
    double left = 0, top = 0, width = 0, height = 0;  // the plotting area
    Range speed_decades{0, 1};
    Range ratio{0, 1};
    double ratio_step = 0.5;
    std::string speed_label;  // "compression speed, MB/s (log scale)"
};

// Appends the panel's grid, axes, front, marks and labels to svg. Marks are
// <g class="pt" data-codec=... data-peer=0|1> groups holding a <title> with
// the point's tip, so any SVG viewer shows the values on hover and a script
// can find them. Labels are placed where they hide no mark and no label.
void draw_panel(std::string& svg, const std::vector<PlotPoint>& points, const PanelFrame& frame);

// Text for XML and HTML, in content and in double-quoted attributes.
std::string xml_escape(const std::string& s);

// A coordinate with one decimal.
std::string svg_number(double v);

}  // namespace vorlex::bench
