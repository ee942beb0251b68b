// Splits a statement of the programs' dialect into tokens: words, numbers,
// string constants (single or double quoted: in this dialect both are
// strings, there are no quoted identifiers), "?" placeholders, operators,
// blanks and comments (-- to the end of the line, /* */ and { }).
//
// Owns only the lexical level: it never decides what a word means. The
// tokens keep their source text, so that joining them gives the statement
// back unchanged.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rt::sql {

enum class Tok { Word, Number, String, Param, Punct, Space, Comment };

struct Token {
  Tok kind;
  std::string_view text;  // as written, quotes included
  std::string value;      // String: the content with doubled quotes undone
};

// Tokens of `s`, or an empty vector with `*error` set when a string constant
// or a comment is not closed.
std::vector<Token> tokenize(std::string_view s, std::string* error);

// Case-blind comparison of a word with an upper-case keyword.
bool word_is(const Token& t, std::string_view upper_keyword);

}  // namespace rt::sql
