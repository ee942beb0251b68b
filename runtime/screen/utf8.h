// UTF-8 decoding and character widths as the screen counts them.
// Independent of the process locale, so that tests and the terminal agree
// on how many columns a text takes. Owns no state.
#pragma once

#include <string>
#include <string_view>

namespace rt::ui {

// Decodes the character at s[i]; returns the bytes it takes (at least 1).
// Invalid or cut sequences give U+FFFD for one byte.
int utf8_decode(std::string_view s, std::size_t i, char32_t& cp);
void utf8_append(std::string& out, char32_t cp);
std::string utf8_encode(char32_t cp);
// Columns a character takes: 0 for combining marks, 2 for wide (East
// Asian wide and fullwidth) characters, 1 otherwise.
int char_width(char32_t cp);
// Columns of a UTF-8 text.
int text_width(std::string_view s);
// The longest prefix of s that fits in `cols` columns, never splitting a
// character.
std::string_view fit_columns(std::string_view s, int cols);

}  // namespace rt::ui
