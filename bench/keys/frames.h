// Screens as a terminal shows them, written to a file by keys_bench and
// drawn again by keys_floor: the text of every cell, which cells are in
// reverse video, and the cursor.
#pragma once

#include <string>
#include <vector>

namespace keys {

struct Frame {
  int rows = 0, cols = 0;
  std::vector<std::string> cells;      // row by row; "" for the right half of a wide character
  std::string reverse;                 // one '1' or '0' per cell
  int cursor_row = 0, cursor_col = 0;  // from 0
  bool cursor_visible = true;

  const std::string& at(int r, int c) const { return cells[static_cast<size_t>(r * cols + c)]; }
  bool reversed(int r, int c) const { return reverse[static_cast<size_t>(r * cols + c)] == '1'; }
  bool operator==(const Frame&) const = default;
};

bool write_frames(const std::string& path, const std::vector<Frame>& frames);
std::vector<Frame> read_frames(const std::string& path);

}  // namespace keys
