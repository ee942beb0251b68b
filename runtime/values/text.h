// The one character model of the runtime: UTF-8 decoding and encoding,
// display widths, cutting at a character or a column count, and case
// mapping. Values, the SQL layer's pattern matching and the screen all
// count and fold through here, so they agree with each other and with
// PostgreSQL, which counts CHAR(n) in characters.
//
// Invalid bytes. A byte that does not begin a well-formed UTF-8 sequence
// (a stray continuation byte, a lead byte whose sequence is cut short, an
// overlong form, a surrogate, a code point beyond U+10FFFF) is one
// character of its own: decode() gives it as the code point U+DC00 + byte
// (a lone surrogate, which no well-formed text holds) and encode() turns
// that code point back into the same byte. Nothing is lost or altered on
// the way through; such a character is one column wide, has no case,
// matches only itself in a pattern and is drawn as U+FFFD. Text that must
// leave the program as well-formed UTF-8 (a database server refuses
// anything else) is checked with valid() or cleaned with scrub().
//
// Widths and case come from the Unicode character database as ICU carries
// it, never from the process locale: tests without a locale and programs at
// a UTF-8 terminal measure alike. Case mapping is the Unicode simple case
// mapping (one character to one character, so upshifting never changes a
// length): "é" <-> "É", "ÿ" -> "Ÿ", Greek, Cyrillic, Armenian, Georgian,
// Cherokee and the other cased scripts; "ß" and the ligatures, which have
// no single-character capital, stay as they are.
//
// Owns no state beyond a table of case pairs built on first use. Never
// sees a terminal or a database.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rt::text {

// Decodes the character at s[i] (i < s.size()) into *cp; returns the bytes
// it takes (1 to 4; 1 for an invalid byte, see above).
int decode(std::string_view s, std::size_t i, char32_t* cp);
void append(std::string& out, char32_t cp);
std::string encode(char32_t cp);
std::u32string decode_all(std::string_view s);
std::string encode_all(std::u32string_view s);

// True for the code point that stands for an invalid byte.
inline bool is_raw_byte(char32_t cp) { return cp >= 0xDC80 && cp <= 0xDCFF; }
// True when s is well-formed UTF-8.
bool valid(std::string_view s);
// s with every invalid byte replaced by U+FFFD.
std::string scrub(std::string_view s);

// Characters in s.
int length(std::string_view s);
// Columns one character takes: 0 for combining marks and other zero-width
// characters, 2 for East Asian wide and fullwidth characters, 1 otherwise.
int width(char32_t cp);
// Columns of a text.
int width(std::string_view s);
// The longest prefix of s of at most n characters.
std::string_view cut_chars(std::string_view s, int n);
// The longest prefix of s that fits in `cols` columns, never splitting a
// character; *used (when given) gets the columns it takes.
std::string_view cut_columns(std::string_view s, int cols, int* used = nullptr);
// Byte offset of character number n (0-based) of s, s.size() past the end.
std::size_t offset_of(std::string_view s, int n);

// Simple case mapping of one character, and of a text.
char32_t upper(char32_t cp);
char32_t lower(char32_t cp);
std::string upshift(std::string_view s);
std::string downshift(std::string_view s);

// The text on one line: each run of blanks, tabs and line breaks becomes
// one blank, and none is left at either end (messages that quote a
// statement or a back end's reason on a single line).
std::string one_line(std::string_view s);

// Every character whose upper() (or lower(), for `to_upper` false) is
// another character, as pairs (character, its mapping), sorted by the
// character. Pattern matching uses it to accept, in place of a folded
// character, each character that folds to it.
const std::vector<std::pair<char32_t, char32_t>>& case_pairs(bool to_upper);

}  // namespace rt::text

namespace rt {
// Environment variable `name` (through the run's Host, getenv_str) as text that a
// database accepts: bytes that are not UTF-8 are replaced by U+FFFD, and
// *replaced (when given) tells whether any were, so that the caller can
// say so where the value is used.
std::string getenv_text(const char* name, bool* replaced = nullptr);
}  // namespace rt
