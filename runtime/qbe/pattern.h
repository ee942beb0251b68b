// A character criterion with wildcards, written as a MATCHES pattern.
//
// In the pattern language `*` is any run of characters, `?` one character,
// `[abc]`, `[a-z]` and `[^abc]` one character in or not in a set, and a
// backslash makes the character after it literal. Owns the translation of
// typed units into that language: wildcards that the operator escaped
// become escaped again, brackets must pair up. Never decides whether a
// criterion is a pattern: that is the caller's reading of the syntax.
#pragma once

#include <optional>
#include <string>

#include "qbe/lex.h"

namespace rt::qbe::detail {

// True when the units hold an unescaped `*` or `?`: only then do brackets
// count as sets, alone they are part of the value.
bool is_pattern(const Units& u);

// The quoted pattern constant (quotes doubled). nullopt when a `[` has no
// `]`, a `]` has no `[`, a set is empty or holds a reversed range
// (`[z-a]`, which no character can match).
std::optional<std::string> pattern_constant(const Units& u);

}  // namespace rt::qbe::detail
