// MATCHES patterns: "*" any run of characters, "?" one character, "[abc]",
// "[a-z]" and "[^abc]" one character in or not in a set, a backslash makes
// the next character literal. Characters are those of values/text.h (an
// invalid byte is one character that matches only itself). Trailing
// blanks of the compared value do not count, as for every CHAR comparison.
//
// Owns the meaning of a pattern for both back ends: the embedded one calls
// matches() directly, PostgreSQL gets the same pattern as an anchored
// regular expression. LIKE patterns too are matched here on the embedded
// back end (PostgreSQL's own LIKE means the same). Never sees SQL text.
#pragma once

#include <string>
#include <string_view>

namespace rt::sql {

bool matches(std::string_view value, std::string_view pattern);

// LIKE: "%" any run of characters, "_" one character, the escape character
// (a backslash unless ESCAPE names another) makes the next one literal.
// Case counts and so do the value's blanks, as in PostgreSQL's LIKE.
bool like(std::string_view value, std::string_view pattern, char32_t escape = U'\\');

// How the compared value is folded before it meets the pattern:
// upper(x) MATCHES p compares the upshifted x.
enum class Fold : unsigned char { None, Upper, Lower };

// The PostgreSQL regular expression (for the ~ operator) that accepts
// exactly the values v for which matches(fold(v), pattern) holds, trailing
// blanks of the value included. With a fold the regular expression is
// applied to x itself and does the folding with the runtime's case
// mapping, so the server's own upper(), which in the C locale folds only
// ASCII letters, plays no part.
std::string matches_to_regex(std::string_view pattern, Fold fold = Fold::None);

}  // namespace rt::sql
