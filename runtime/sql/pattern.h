// MATCHES patterns: "*" any run of characters, "?" one character, "[abc]",
// "[a-z]" and "[^abc]" one character in or not in a set, a backslash makes
// the next character literal. Characters are UTF-8 code points. Trailing
// blanks of the compared value do not count, as for every CHAR comparison.
//
// Owns the meaning of a pattern for both back ends: the embedded one calls
// matches() directly, PostgreSQL gets the same pattern as an anchored
// regular expression. Never sees SQL text.
#pragma once

#include <string>
#include <string_view>

namespace rt::sql {

bool matches(std::string_view value, std::string_view pattern);

// The PostgreSQL regular expression (for the ~ operator) that accepts
// exactly what `pattern` matches, trailing blanks of the value included.
std::string matches_to_regex(std::string_view pattern);

}  // namespace rt::sql
