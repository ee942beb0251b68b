// Drawing a screen and raw bytes for failure messages.
#include "screen_dump.h"

#include <cstdio>

namespace e2e {

std::string escape(std::string_view bytes) {
  std::string out;
  std::size_t line_start = 0;
  for (unsigned char b : bytes) {
    switch (b) {
      case 0x1B: out += "\\e"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\\': out += "\\\\"; break;
      case '\n':
        out += "\\n\n";
        line_start = out.size();
        continue;
      default:
        if (b < 0x20 || b == 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", b);
          out += hex;
        } else {
          out += static_cast<char>(b);
        }
    }
    // Long runs without a newline (a full-screen redraw) wrap before an
    // escape so that each control sequence stays on one line.
    if (b == 0x1B && out.size() - line_start > 100) {
      out.insert(out.size() - 2, "\n");
      line_start = out.size() - 2;
    }
  }
  return out;
}

namespace detail {

std::string draw_screen(const VtScreen& screen, const std::string& label, const std::string& state,
                        std::string_view output) {
  const int rows = screen.rows(), cols = screen.cols();
  auto [cur_row, cur_col] = screen.cursor();
  std::string out =
      "=== terminal " + label + ", " + std::to_string(rows) + "x" + std::to_string(cols) + ", " + state + "\n";
  std::string ruler = "      ";
  for (int c = 1; c <= cols; ++c)
    ruler += c % 10 == 0 ? static_cast<char>('0' + (c / 10) % 10) : c % 5 == 0 ? '+' : '.';
  std::string edge = "     +" + std::string(static_cast<std::size_t>(cols), '-') + "+\n";
  out += ruler + "\n" + edge;
  for (int r = 0; r < rows; ++r) {
    char num[16];
    std::snprintf(num, sizeof num, "%4d |", r + 1);
    std::string marks(static_cast<std::size_t>(cols), ' ');
    bool any_mark = false;
    out += num;
    for (int c = 0; c < cols; ++c) {
      Cell cell = screen.cell(r, c);
      out += cell.text;
      if (cell.reverse) marks[static_cast<std::size_t>(c)] = '^', any_mark = true;
    }
    out += "|\n";
    if (r == cur_row && cur_col < cols) marks[static_cast<std::size_t>(cur_col)] = '@', any_mark = true;
    if (any_mark) {
      marks.erase(marks.find_last_not_of(' ') + 1);
      out += "     |" + marks + "\n";
    }
  }
  out += edge;
  out += "cursor at row " + std::to_string(cur_row + 1) + ", column " + std::to_string(cur_col + 1) +
         (screen.cursor_visible() ? " (visible)" : " (hidden)") +
         (screen.alt_screen() ? ", alternate screen" : ", normal screen") + ", " + std::to_string(screen.bells()) +
         " bell(s)\n";
  constexpr std::size_t kTail = 600;
  std::string_view tail = output.substr(output.size() - std::min(kTail, output.size()));
  out += "--- last " + std::to_string(tail.size()) + " of " + std::to_string(output.size()) +
         " bytes written by the program:\n" + escape(tail) + "\n===\n";
  return out;
}

}  // namespace detail
}  // namespace e2e
