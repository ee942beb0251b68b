// Text built by the title bar and the key-help line: see lib.h.
#include <cctype>
#include <string>

#include "core/ascii.h"
#include "lib.h"
#include "values/value.h"

namespace {

const char* key_label(char code) {
  switch (code) {
    case 'a': return "  Esc: Accept";
    case 'f': return "  Ctrl-F: Find";
    case 'c': return "  Ctrl-C: Cancel";
    case 'w': return "  Ctrl-W: Help";
    case 'v': return "  Ctrl-V: Last Viewed";
    case 'o': return "  Ctrl-O: Order History";
    case 't': return "  Ctrl-T: View Tax";
    case 'n': return "  Ctrl-N: Notes";
    case 'u': return "  Ctrl-U: Unit Purchase";
    case 'p': return "  Ctrl-P: Price Change";
    case 'e': return "  Ctrl-E: Erase Row";
    case 'y': return "  Ctrl-Y: Ship To";
    case '1': return "  F1: Insert Row";
    case '2': return "  F2: Delete Row";
    case '5': return "  F5: Find";
    case '6': return "  F6: Select";
    case '8': return "  F8: Print Invoice";
    case '9': return "  F9: Email Invoice";
    case '0': return "  F10: Show Invt";
    case '-': return "  PgUp: Prev";
    case '+': return "  PgDn: Next";
    default: return nullptr;
  }
}

}  // namespace

std::string banner_line(std::string_view lv_s, int lv_width) {
  // A CHAR(132) line of blanks with the title placed from the start column
  // up to column lv_width (cut there when longer).
  std::string title = rt::rtrim(rt::cut_chars(lv_s, 132));
  std::string line(132, ' ');
  int len = static_cast<int>(title.size());
  int start = (lv_width - len) / 2;
  if (start < 1) start = 1;
  int stop = lv_width < 132 ? lv_width : 132;
  for (int col = start, i = 0; col <= stop && i < len; ++col, ++i)
    line[static_cast<size_t>(col - 1)] = title[static_cast<size_t>(i)];
  return line;
}

std::string active_keys_text(std::string_view lv_s) {
  std::string codes = rt::rtrim(rt::cut_chars(lv_s, 30));
  std::string text;
  for (char c : codes) {
    const char* label = key_label(rt::ascii_lower(c));
    // An unknown code drops what was collected; later codes append after it.
    text = label ? rt::rtrim(text) + label : std::string("  Invalid Key");
    text = rt::cut_chars(text, 80);
  }
  return text.size() > 2 ? text.substr(2) : std::string();
}
