// A rectangle of character cells: what a window holds and what the screen
// shows. Every drawing of the runtime goes into a Grid; the terminal only
// copies the composed 24x80 grid out, so tests read exactly what an
// operator would see by comparing rows with literal strings.
//
// A cell holds one character (with at most one combining mark) and its
// attributes. A double-width character takes two cells: the second is a
// continuation cell. Writing over either half of a wide character blanks
// the other half, so the grid never holds half a character. Never touches
// the terminal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rt::ui {

// Display attributes, combinable.
enum Attr : std::uint8_t { kNormal = 0, kReverse = 1, kBold = 2, kUnderline = 4 };

struct Cell {
  char32_t ch = U' ';
  char32_t mark = 0;  // combining mark drawn over ch, 0 for none
  std::uint8_t attr = kNormal;
  bool cont = false;  // right half of the wide character to its left
  friend bool operator==(const Cell&, const Cell&) = default;
};

class Grid {
 public:
  Grid() = default;
  Grid(int rows, int cols);

  int rows() const { return rows_; }
  int cols() const { return cols_; }

  // Rows and columns count from 0 here; the public screen API counts from 1.
  const Cell& at(int r, int c) const { return cells_[static_cast<std::size_t>(r * cols_ + c)]; }
  Cell& at(int r, int c) { return cells_[static_cast<std::size_t>(r * cols_ + c)]; }

  // Writes UTF-8 text from (r, c), at most `max_cols` columns (to the right
  // edge when negative). A wide character that would not fit whole is
  // replaced by a blank. Returns the number of columns written. Invalid
  // UTF-8 bytes are shown as '?'.
  int put(int r, int c, std::string_view text, std::uint8_t attr = kNormal, int max_cols = -1);
  // Blanks n cells from (r, c) (to the right edge when n < 0).
  void blank(int r, int c, int n = -1, std::uint8_t attr = kNormal);
  void clear();
  // Copies `src` with its top-left corner at (r, c), clipped to this grid.
  void blit(const Grid& src, int r, int c);

  // A row as UTF-8 text, trailing blanks removed unless `keep_trailing`.
  std::string row_text(int r, bool keep_trailing = false) const;
  // Whether every cell of row r from column c for n cells has attribute a.
  bool row_has_attr(int r, int c, int n, std::uint8_t a) const;

  friend bool operator==(const Grid&, const Grid&) = default;

 private:
  void set_cell(int r, int c, const Cell& cell);
  int rows_ = 0;
  int cols_ = 0;
  std::vector<Cell> cells_;
};

}  // namespace rt::ui
