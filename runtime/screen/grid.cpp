// Cell grid: writing text, blanking, copying, reading rows back.
#include "screen/grid.h"

#include "screen/utf8.h"

namespace rt::ui {

Grid::Grid(int rows, int cols) : rows_(rows), cols_(cols), cells_(static_cast<std::size_t>(rows * cols)) {}

void Grid::set_cell(int r, int c, const Cell& cell) {
  // Never leave half of a wide character behind.
  Cell& old = at(r, c);
  if (old.cont && c > 0) at(r, c - 1) = Cell{U' ', 0, at(r, c - 1).attr, false};
  if (!old.cont && c + 1 < cols_ && at(r, c + 1).cont) at(r, c + 1) = Cell{U' ', 0, old.attr, false};
  old = cell;
}

int Grid::put(int r, int c, std::string_view text, std::uint8_t attr, int max_cols) {
  if (r < 0 || r >= rows_) return 0;
  int limit = max_cols < 0 ? cols_ - c : std::min(max_cols, cols_ - c);
  int col = c;
  int used = 0;
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp;
    i += static_cast<std::size_t>(utf8_decode(text, i, cp));
    if (cp < 0x20 || cp == 0x7F) cp = U' ';
    if (cp == 0xFFFD || rt::text::is_raw_byte(cp)) cp = U'?';
    int w = char_width(cp);
    if (w == 0) {
      // A combining mark joins the character before it.
      if (col > c && col - 1 >= 0 && col - 1 < cols_) {
        int pc = col - 1;
        if (at(r, pc).cont && pc > 0) --pc;
        at(r, pc).mark = cp;
      }
      continue;
    }
    if (used + w > limit) {
      if (w == 2 && used < limit && col >= 0) set_cell(r, col, Cell{U' ', 0, attr, false}), ++used;
      break;
    }
    if (col >= 0) {
      set_cell(r, col, Cell{cp, 0, attr, false});
      if (w == 2) set_cell(r, col + 1, Cell{U' ', 0, attr, true});
    }
    col += w;
    used += w;
  }
  return used;
}

void Grid::blank(int r, int c, int n, std::uint8_t attr) {
  if (r < 0 || r >= rows_) return;
  int end = n < 0 ? cols_ : std::min(cols_, c + n);
  for (int k = std::max(c, 0); k < end; ++k) set_cell(r, k, Cell{U' ', 0, attr, false});
}

void Grid::clear() {
  for (auto& cell : cells_) cell = Cell{};
}

void Grid::blit(const Grid& src, int r, int c) {
  for (int y = 0; y < src.rows_; ++y) {
    int ty = r + y;
    if (ty < 0 || ty >= rows_) continue;
    // A wide character cut by either edge of the copy becomes a blank.
    if (c > 0 && c < cols_ && at(ty, c).cont) at(ty, c - 1) = Cell{};
    for (int x = 0; x < src.cols_; ++x) {
      int tx = c + x;
      if (tx < 0 || tx >= cols_) continue;
      at(ty, tx) = src.at(y, x);
    }
    int right = c + src.cols_;
    if (right > 0 && right < cols_ && at(ty, right).cont) at(ty, right) = Cell{};
  }
}

std::string Grid::row_text(int r, bool keep_trailing) const {
  std::string s;
  for (int c = 0; c < cols_; ++c) {
    const Cell& cell = at(r, c);
    if (cell.cont) continue;
    utf8_append(s, cell.ch);
    if (cell.mark) utf8_append(s, cell.mark);
  }
  if (!keep_trailing) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
  }
  return s;
}

bool Grid::row_has_attr(int r, int c, int n, std::uint8_t a) const {
  for (int k = c; k < c + n && k < cols_; ++k)
    if ((at(r, k).attr & a) != a) return false;
  return true;
}

}  // namespace rt::ui
