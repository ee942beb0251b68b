// Typed wildcard criteria to MATCHES pattern constants.
#include "qbe/pattern.h"

#include <cstddef>
#include <vector>

#include "qbe/constant.h"

namespace rt::qbe::detail {

namespace {

bool special_in_pattern(char c) { return c == '*' || c == '?' || c == '[' || c == ']' || c == '\\'; }

bool special_in_set(char c) { return c == ']' || c == '[' || c == '^' || c == '-' || c == '\\'; }

// The members of a set, units [from, to), as code points with whether the
// operator escaped them; false when the bytes are no UTF-8 (lex() refuses
// those before).
struct Member {
  char32_t cp;
  bool literal;
};
bool members_of(const Units& u, std::size_t from, std::size_t to, std::vector<Member>* out) {
  for (std::size_t i = from; i < to;) {
    const unsigned char c = static_cast<unsigned char>(u[i].c);
    const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > to) return false;
    char32_t cp = n == 1 ? c : n == 2 ? (c & 0x1f) : n == 3 ? (c & 0x0f) : (c & 0x07);
    for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(u[i + k].c) & 0x3f);
    out->push_back({cp, u[i].literal});
    i += n;
  }
  return true;
}

// A range whose first character comes after its last ("[z-a]") holds no
// character at all: such a set can never match, and the criterion is
// refused rather than run as a search that finds nothing.
bool ranges_in_order(const std::vector<Member>& m) {
  for (std::size_t k = 0; k + 2 < m.size(); ++k) {
    if (m[k + 1].cp == U'-' && !m[k + 1].literal) {
      if (m[k].cp > m[k + 2].cp) return false;
      k += 2;
    }
  }
  return true;
}

}  // namespace

bool is_pattern(const Units& u) { return has_unescaped(u, '*') || has_unescaped(u, '?'); }

std::optional<std::string> pattern_constant(const Units& u) {
  std::string p;
  p.reserve(u.size() * 2);
  for (std::size_t i = 0; i < u.size(); ++i) {
    const Unit& x = u[i];
    if (x.literal) {
      // A character the operator meant literally: escaped in the pattern
      // when the pattern language would read it otherwise. A lone
      // backslash at the end arrives literal and is escaped here too.
      if (special_in_pattern(x.c)) p.push_back('\\');
      p.push_back(x.c);
      continue;
    }
    if (x.c == ']') return std::nullopt;
    if (x.c != '[') {
      p.push_back(x.c);
      continue;
    }
    // A set: `[`, an optional `^`, at least one member, `]`. Members are
    // copied as typed; a member that would mean something in a set (`]`
    // closing it, `^` negating it, `-` a range) keeps the operator's
    // backslash so that it stays a plain member.
    p.push_back('[');
    std::size_t j = i + 1;
    if (j < u.size() && u[j].c == '^' && !u[j].literal) {
      p.push_back('^');
      ++j;
    }
    const std::size_t first = j;
    while (j < u.size() && !(u[j].c == ']' && !u[j].literal)) {
      if (u[j].literal && special_in_set(u[j].c)) p.push_back('\\');
      p.push_back(u[j].c);
      ++j;
    }
    if (j == u.size() || j == first) return std::nullopt;
    std::vector<Member> members;
    if (!members_of(u, first, j, &members) || !ranges_in_order(members)) return std::nullopt;
    p.push_back(']');
    i = j;
  }
  return quote(p);
}

}  // namespace rt::qbe::detail
