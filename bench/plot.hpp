// An SVG scatter of compression ratio against speed: one panel for
// compression, one for decompression, speed on a logarithmic axis, one mark
// per codec, peers in another colour. Self-contained (no scripts, no fonts
// beyond a generic family), so it displays anywhere an image does.
#pragma once

#include <string>
#include <vector>

#include "results.hpp"

namespace vorlex::bench {

// rows: one per codec (a total or a single input); rows without a positive
// speed are left out. title and subtitle head the picture.
std::string render_svg(const std::vector<Row>& rows, const std::string& title,
                       const std::string& subtitle);

}  // namespace vorlex::bench
