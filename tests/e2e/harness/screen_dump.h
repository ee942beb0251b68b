// Showing a terminal to a person reading a test failure: the screen framed
// as it is drawn, and raw output bytes with their escapes visible. Never
// changes the terminal it shows.
#pragma once

#include <string>
#include <string_view>

#include "vt_screen.h"

namespace e2e::detail {

// The framed screen with a column ruler and row numbers; under a row with
// reverse video or the cursor, a line marks them with ^ and @. Then the
// cursor, the modes, `state`, and the tail of `output`.
std::string draw_screen(const VtScreen& screen, const std::string& label, const std::string& state,
                        std::string_view output);

}  // namespace e2e::detail
