// The screen's names for the character model of values/text.h: decoding,
// encoding and widths, locale-independent. An invalid byte decodes as one
// character one column wide (text.h), which the grid draws as "?".
#pragma once

#include <string>
#include <string_view>

#include "values/text.h"

namespace rt::ui {

// Decodes the character at s[i]; returns the bytes it takes (at least 1).
inline int utf8_decode(std::string_view s, std::size_t i, char32_t& cp) { return rt::text::decode(s, i, &cp); }
inline void utf8_append(std::string& out, char32_t cp) { rt::text::append(out, cp); }
inline std::string utf8_encode(char32_t cp) { return rt::text::encode(cp); }
// Columns a character takes: 0 for combining marks, 2 for wide (East
// Asian wide and fullwidth) characters, 1 otherwise.
inline int char_width(char32_t cp) { return rt::text::width(cp); }
inline int text_width(std::string_view s) { return rt::text::width(s); }
// The longest prefix of s that fits in `cols` columns, never splitting a
// character.
inline std::string_view fit_columns(std::string_view s, int cols) { return rt::text::cut_columns(s, cols); }

}  // namespace rt::ui
