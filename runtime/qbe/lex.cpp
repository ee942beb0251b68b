// Backslash escapes, blank trimming and separator splitting of criteria.
#include "qbe/lex.h"

#include <cstddef>

#include "values/text.h"

namespace rt::qbe::detail {

namespace {

// Length of the character at s[i], 0 for an invalid byte (text.h):
// PostgreSQL refuses every such byte, so criteria never carry one.
std::size_t utf8_length(std::string_view s, std::size_t i) {
  char32_t cp;
  const int n = rt::text::decode(s, i, &cp);
  return rt::text::is_raw_byte(cp) ? 0 : static_cast<std::size_t>(n);
}

bool is_control(unsigned char c) { return c < 0x20 || c == 0x7F; }

}  // namespace

bool lex(std::string_view typed, Units* out) {
  out->clear();
  out->reserve(typed.size());
  bool escaped = false;
  for (std::size_t i = 0; i < typed.size();) {
    const std::size_t n = utf8_length(typed, i);
    if (n == 0 || (n == 1 && is_control(static_cast<unsigned char>(typed[i])))) return false;
    if (n == 1 && typed[i] == '\\' && !escaped) {
      escaped = true;
      ++i;
      continue;
    }
    // A multi-byte character is never special; the escape marks its first
    // byte only, which changes nothing.
    for (std::size_t k = 0; k < n; ++k) out->push_back({typed[i + k], escaped && k == 0});
    escaped = false;
    i += n;
  }
  if (escaped) out->push_back({'\\', true});
  return true;
}

Units trim(const Units& u) {
  std::size_t b = 0, e = u.size();
  while (b < e && u[b].c == ' ' && !u[b].literal) ++b;
  while (e > b && u[e - 1].c == ' ' && !u[e - 1].literal) --e;
  return Units(u.begin() + static_cast<std::ptrdiff_t>(b), u.begin() + static_cast<std::ptrdiff_t>(e));
}

std::vector<Units> split(const Units& u, char sep) {
  std::vector<Units> parts(1);
  for (const Unit& x : u) {
    if (x.c == sep && !x.literal)
      parts.emplace_back();
    else
      parts.back().push_back(x);
  }
  return parts;
}

bool has_unescaped(const Units& u, char c) {
  for (const Unit& x : u)
    if (x.c == c && !x.literal) return true;
  return false;
}

bool starts_unescaped(const Units& u, std::string_view op) {
  if (u.size() < op.size()) return false;
  for (std::size_t i = 0; i < op.size(); ++i)
    if (u[i].c != op[i] || u[i].literal) return false;
  return true;
}

bool is_unescaped(const Units& u, std::string_view op) { return u.size() == op.size() && starts_unescaped(u, op); }

std::string plain(const Units& u) {
  std::string s;
  s.reserve(u.size());
  for (const Unit& x : u) s.push_back(x.c);
  return s;
}

}  // namespace rt::qbe::detail
