// An SVG scatter of compression ratio against speed: one panel for
// compression, one for decompression, speed on a logarithmic axis, one mark
// per codec, peers in another colour, the Pareto front dashed. Self-contained
// (no scripts, no fonts beyond a generic family), so it displays anywhere an
// image does. The panels themselves are drawn by panel.cpp.
#pragma once

#include <string>
#include <vector>

#include "panel.hpp"
#include "results.hpp"

namespace vorlex::bench {

// rows: one per codec (a total or a single input); rows without a positive
// speed are left out. title and subtitle head the picture.
std::string render_svg(const std::vector<Row>& rows, const std::string& title,
                       const std::string& subtitle);

// The rows that can be drawn (positive ratio and speeds in both directions).
std::vector<Row> plottable(const std::vector<Row>& rows);

// One point per plottable row for the compression (compress) or the
// decompression panel, in row order, with the row's values as its tip.
std::vector<PlotPoint> plot_points(const std::vector<Row>& rows, bool compress);

// "zstd: ratio 3.677 (451271 to 122742 bytes); compression 39.2 MB/s; ..."
std::string point_tip(const Row& row);

}  // namespace vorlex::bench
