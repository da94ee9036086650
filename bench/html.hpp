// `vorlex bench --format html`: the report as one self-contained page. The
// run's description, ratio against compression and decompression speed for
// the total and each input (panel.cpp draws them), a ranking of every codec
// by compress + transfer + decompress time at a link speed the reader picks
// (`?link=10MB/s` in the address), a sortable table and the CSV. Styles and
// script are embedded (bench/page/), and a Content-Security-Policy forbids
// every load from elsewhere: the page makes no network request.
#pragma once

#include <string>

#include "render.hpp"

namespace vorlex::bench {

// The whole page, stamped with the current time (UTC).
std::string render_html(const Report& report);

// The same, stamped with written (any text, e.g. "2026-12-09 19:30 UTC").
std::string render_html(const Report& report, const std::string& written);

}  // namespace vorlex::bench
