// The character model: see text.h.
#include "values/text.h"

#include <unicode/uchar.h>
#include <unicode/uset.h>

#include <algorithm>

#include "core/host.h"
#include "core/runtime.h"

namespace rt::text {

namespace {

constexpr char32_t kRawBase = 0xDC00;

// Length of the well-formed sequence at s[i], 0 when there is none.
int sequence_length(std::string_view s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  int n = 0;
  unsigned lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;  // overlong
    if (c == 0xED) hi = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;  // overlong
    if (c == 0xF4) hi = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (i + static_cast<std::size_t>(n) > s.size()) return 0;
  if (b(1) < lo || b(1) > hi) return 0;
  for (int k = 2; k < n; ++k)
    if (b(static_cast<std::size_t>(k)) < 0x80 || b(static_cast<std::size_t>(k)) > 0xBF) return 0;
  return n;
}

std::vector<std::pair<char32_t, char32_t>> build_pairs(bool to_upper) {
  std::vector<std::pair<char32_t, char32_t>> out;
  UErrorCode err = U_ZERO_ERROR;
  USet* set = uset_openEmpty();
  uset_applyIntPropertyValue(set, to_upper ? UCHAR_CHANGES_WHEN_UPPERCASED : UCHAR_CHANGES_WHEN_LOWERCASED, 1, &err);
  if (U_SUCCESS(err)) {
    const int32_t n = uset_getItemCount(set);
    for (int32_t k = 0; k < n; ++k) {
      UChar32 lo = 0, hi = 0;
      UErrorCode e = U_ZERO_ERROR;
      if (uset_getItem(set, k, &lo, &hi, nullptr, 0, &e) != 0) continue;  // strings: none here
      for (UChar32 c = lo; c <= hi; ++c) {
        const char32_t m = to_upper ? upper(static_cast<char32_t>(c)) : lower(static_cast<char32_t>(c));
        if (m != static_cast<char32_t>(c)) out.emplace_back(static_cast<char32_t>(c), m);
      }
    }
  }
  uset_close(set);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

int decode(std::string_view s, std::size_t i, char32_t* cp) {
  const auto c = static_cast<unsigned char>(s[i]);
  const int n = sequence_length(s, i);
  switch (n) {
    case 1: *cp = c; return 1;
    case 0: *cp = kRawBase + c; return 1;
    default: break;
  }
  char32_t v = c & (0x7F >> n);
  for (int k = 1; k < n; ++k) v = (v << 6) | (static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0x3F);
  *cp = v;
  return n;
}

void append(std::string& out, char32_t cp) {
  if (is_raw_byte(cp)) {
    out += static_cast<char>(cp - kRawBase);
  } else if (cp < 0x80) {
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

std::string encode(char32_t cp) {
  std::string s;
  append(s, cp);
  return s;
}

std::u32string decode_all(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp;
    i += static_cast<std::size_t>(decode(s, i, &cp));
    out.push_back(cp);
  }
  return out;
}

std::string encode_all(std::u32string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char32_t cp : s) append(out, cp);
  return out;
}

bool valid(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const int n = sequence_length(s, i);
    if (n == 0) return false;
    i += static_cast<std::size_t>(n);
  }
  return true;
}

std::string scrub(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const int n = sequence_length(s, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(s.substr(i, static_cast<std::size_t>(n)));
      i += static_cast<std::size_t>(n);
    }
  }
  return out;
}

int length(std::string_view s) {
  int n = 0;
  for (std::size_t i = 0; i < s.size(); ++n) {
    const int k = sequence_length(s, i);
    i += static_cast<std::size_t>(k == 0 ? 1 : k);
  }
  return n;
}

int width(char32_t cp) {
  if (cp < 0x300 || is_raw_byte(cp)) return 1;
  const auto c = static_cast<UChar32>(cp);
  const int8_t cat = u_charType(c);
  if (cat == U_NON_SPACING_MARK || cat == U_ENCLOSING_MARK || cat == U_FORMAT_CHAR) return 0;
  if (cp >= 0x1160 && cp <= 0x11FF) return 0;  // Hangul vowels and finals join the syllable
  const int ea = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
  return ea == U_EA_WIDE || ea == U_EA_FULLWIDTH ? 2 : 1;
}

int width(std::string_view s) {
  int w = 0;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++w;
      ++i;
      continue;
    }
    char32_t cp;
    i += static_cast<std::size_t>(decode(s, i, &cp));
    w += width(cp);
  }
  return w;
}

std::string_view cut_chars(std::string_view s, int n) { return s.substr(0, offset_of(s, n)); }

std::size_t offset_of(std::string_view s, int n) {
  std::size_t i = 0;
  for (int k = 0; k < n && i < s.size(); ++k) {
    const int len = sequence_length(s, i);
    i += static_cast<std::size_t>(len == 0 ? 1 : len);
  }
  return i;
}

std::string_view cut_columns(std::string_view s, int cols, int* used) {
  int w = 0;
  std::size_t i = 0;
  while (i < s.size()) {
    char32_t cp;
    const int n = decode(s, i, &cp);
    const int cw = width(cp);
    if (w + cw > cols) break;
    w += cw;
    i += static_cast<std::size_t>(n);
  }
  if (used) *used = w;
  return s.substr(0, i);
}

char32_t upper(char32_t cp) {
  if (cp < 0x80) return cp >= 'a' && cp <= 'z' ? cp - 'a' + 'A' : cp;
  if (is_raw_byte(cp)) return cp;
  return static_cast<char32_t>(u_toupper(static_cast<UChar32>(cp)));
}

char32_t lower(char32_t cp) {
  if (cp < 0x80) return cp >= 'A' && cp <= 'Z' ? cp - 'A' + 'a' : cp;
  if (is_raw_byte(cp)) return cp;
  return static_cast<char32_t>(u_tolower(static_cast<UChar32>(cp)));
}

namespace {

template <class Map>
std::string map_text(std::string_view s, Map map) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out += static_cast<char>(map(c));
      ++i;
      continue;
    }
    char32_t cp;
    i += static_cast<std::size_t>(decode(s, i, &cp));
    append(out, map(cp));
  }
  return out;
}

}  // namespace

std::string upshift(std::string_view s) {
  return map_text(s, [](char32_t c) { return upper(c); });
}

std::string one_line(std::string_view s) {
  std::string r;
  bool blank = false;
  for (char c : s) {
    if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
      blank = !r.empty();
      continue;
    }
    if (blank) r += ' ';
    blank = false;
    r += c;
  }
  return r;
}

std::string downshift(std::string_view s) {
  return map_text(s, [](char32_t c) { return lower(c); });
}

const std::vector<std::pair<char32_t, char32_t>>& case_pairs(bool to_upper) {
  static const std::vector<std::pair<char32_t, char32_t>> up = build_pairs(true);
  static const std::vector<std::pair<char32_t, char32_t>> down = build_pairs(false);
  return to_upper ? up : down;
}

}  // namespace rt::text

namespace rt {
std::string getenv_text(const char* name, bool* replaced) {
  std::string v = getenv_str(name);
  const bool bad = !text::valid(v);
  if (replaced) *replaced = bad;
  return bad ? text::scrub(v) : v;
}
}  // namespace rt
