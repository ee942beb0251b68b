// UTF-8 decoding and the width table of the screen.
#include "screen/utf8.h"

namespace rt::ui {

int utf8_decode(std::string_view s, std::size_t i, char32_t& cp) {
  auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) {
    cp = b;
    return 1;
  }
  int n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
  if (n == 0 || b > 0xF4 || i + static_cast<std::size_t>(n) > s.size()) {
    cp = 0xFFFD;
    return 1;
  }
  char32_t v = b & (0x7F >> n);
  for (int k = 1; k < n; ++k) {
    auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((c & 0xC0) != 0x80) {
      cp = 0xFFFD;
      return 1;
    }
    v = (v << 6) | (c & 0x3F);
  }
  // Overlong forms and surrogates are not characters.
  static const char32_t min_for[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (v < min_for[n] || (v >= 0xD800 && v <= 0xDFFF) || v > 0x10FFFF) {
    cp = 0xFFFD;
    return 1;
  }
  cp = v;
  return n;
}

void utf8_append(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string utf8_encode(char32_t cp) {
  std::string s;
  utf8_append(s, cp);
  return s;
}

namespace {
struct Range {
  char32_t lo, hi;
};
// Combining marks (the common blocks).
constexpr Range kZero[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
    {0x200B, 0x200F}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
};
// East Asian wide and fullwidth.
constexpr Range kWide[] = {
    {0x1100, 0x115F}, {0x231A, 0x231B}, {0x2329, 0x232A}, {0x23E9, 0x23EC}, {0x2E80, 0x303E},
    {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xA000, 0xA4CF}, {0xA960, 0xA97F},
    {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE10, 0xFE19}, {0xFE30, 0xFE6F}, {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};
bool in(const Range* r, std::size_t n, char32_t c) {
  for (std::size_t i = 0; i < n; ++i)
    if (c >= r[i].lo && c <= r[i].hi) return true;
  return false;
}
}  // namespace

int char_width(char32_t cp) {
  if (cp < 0x300) return 1;
  if (in(kZero, std::size(kZero), cp)) return 0;
  if (in(kWide, std::size(kWide), cp)) return 2;
  return 1;
}

int text_width(std::string_view s) {
  int w = 0;
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp;
    i += static_cast<std::size_t>(utf8_decode(s, i, cp));
    w += char_width(cp);
  }
  return w;
}

std::string_view fit_columns(std::string_view s, int cols) {
  int w = 0;
  std::size_t i = 0;
  while (i < s.size()) {
    char32_t cp;
    int n = utf8_decode(s, i, cp);
    int cw = char_width(cp);
    if (w + cw > cols) break;
    w += cw;
    i += static_cast<std::size_t>(n);
  }
  return s.substr(0, i);
}

}  // namespace rt::ui
