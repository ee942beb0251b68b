// Screens written to a file and read back: see frames.h. One frame is a
// line "rows cols cursor_row cursor_col visible", then per row a line of
// its cells separated by the unit separator, then per row a line of its
// reverse-video flags.
#include "frames.h"

#include <fstream>
#include <sstream>

namespace keys {
namespace {
constexpr char kSep = '\x1f';
}

bool write_frames(const std::string& path, const std::vector<Frame>& frames) {
  std::ofstream out(path, std::ios::binary);
  for (const Frame& f : frames) {
    out << f.rows << ' ' << f.cols << ' ' << f.cursor_row << ' ' << f.cursor_col << ' ' << f.cursor_visible << '\n';
    for (int r = 0; r < f.rows; ++r) {
      for (int c = 0; c < f.cols; ++c) out << f.at(r, c) << (c + 1 < f.cols ? std::string(1, kSep) : "\n");
    }
    for (int r = 0; r < f.rows; ++r) out << f.reverse.substr(static_cast<size_t>(r * f.cols), f.cols) << '\n';
  }
  return static_cast<bool>(out);
}

std::vector<Frame> read_frames(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<Frame> frames;
  std::string line;
  while (std::getline(in, line)) {
    Frame f;
    std::istringstream head(line);
    head >> f.rows >> f.cols >> f.cursor_row >> f.cursor_col >> f.cursor_visible;
    for (int r = 0; r < f.rows && std::getline(in, line); ++r) {
      std::string cell;
      std::istringstream row(line);
      while (std::getline(row, cell, kSep)) f.cells.push_back(cell);
    }
    for (int r = 0; r < f.rows && std::getline(in, line); ++r) f.reverse += line;
    f.cells.resize(static_cast<size_t>(f.rows * f.cols));
    frames.push_back(std::move(f));
  }
  return frames;
}

}  // namespace keys
