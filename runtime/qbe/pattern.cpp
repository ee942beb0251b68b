// Typed wildcard criteria to MATCHES pattern constants.
#include "qbe/pattern.h"

#include <cstddef>

#include "qbe/constant.h"

namespace rt::qbe::detail {

namespace {

bool special_in_pattern(char c) { return c == '*' || c == '?' || c == '[' || c == ']' || c == '\\'; }

bool special_in_set(char c) { return c == ']' || c == '[' || c == '^' || c == '-' || c == '\\'; }

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
    p.push_back(']');
    i = j;
  }
  return quote(p);
}

}  // namespace rt::qbe::detail
