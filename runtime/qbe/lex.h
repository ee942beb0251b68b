// The lexical layer of query-by-example criteria: typed text becomes a row
// of units, each one byte that remembers whether a backslash made it
// literal. Everything above this file asks "is this an unescaped `|`?" and
// never looks at backslashes again.
//
// Owns: backslash escapes, trimming of blanks that are not escaped,
// splitting at unescaped separators, and the refusal of bytes that never
// belong in a criterion (control characters, broken UTF-8). Never knows
// about types, columns or SQL.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rt::qbe::detail {

struct Unit {
  char c;
  bool literal;  // a backslash stood before it
};
using Units = std::vector<Unit>;

// Splits typed criteria into units. A backslash makes the byte after it
// literal; a backslash at the very end stands for itself. Fails on control
// characters and on text that is not valid UTF-8: such bytes cannot come
// from a terminal field, and a back end would refuse them in a string.
bool lex(std::string_view typed, Units* out);

// Without the unescaped blanks at both ends ("\ " keeps its blank).
Units trim(const Units& u);

// Parts between unescaped `sep` bytes (one part when there is none).
std::vector<Units> split(const Units& u, char sep);

// True when an unescaped `c` occurs.
bool has_unescaped(const Units& u, char c);

// True when `u` is exactly the unescaped text `op`.
bool is_unescaped(const Units& u, std::string_view op);

// True when `u` starts with the unescaped text `op`.
bool starts_unescaped(const Units& u, std::string_view op);

// The bytes, escapes resolved.
std::string plain(const Units& u);

}  // namespace rt::qbe::detail
