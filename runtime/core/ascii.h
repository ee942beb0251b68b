// Case folding of the ASCII letters, and only of them. Names the programs
// compare without regard to case (menu options, SQL words, settings) are
// ASCII; the process locale, which the screen sets for its characters,
// must not change what they match (in a Turkish locale "I" does not fold
// to "i"). Owns nothing; never looks at the locale.
#pragma once

namespace rt {

constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr int ascii_lower(int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

}  // namespace rt
