// The dialect's lexer. See tokenize.h.
#include "sql/tokenize.h"

#include "core/ascii.h"

namespace rt::sql {
namespace {

bool digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool letter(unsigned char c) {
  return ascii_lower(static_cast<char>(c)) >= 'a' && ascii_lower(static_cast<char>(c)) <= 'z';
}
bool word_start(unsigned char c) { return letter(c) || c == '_' || c >= 0x80; }
bool word_char(unsigned char c) { return letter(c) || digit(c) || c == '_' || c == '$' || c >= 0x80; }

}  // namespace

bool word_is(const Token& t, std::string_view kw) {
  if (t.kind != Tok::Word || t.text.size() != kw.size()) return false;
  for (size_t i = 0; i < kw.size(); ++i) {
    if (ascii_upper(t.text[i]) != kw[i]) return false;
  }
  return true;
}

std::vector<Token> tokenize(std::string_view s, std::string* error) {
  std::vector<Token> out;
  size_t i = 0;
  const size_t n = s.size();
  auto fail = [&](const char* why) {
    if (error) *error = why;
    out.clear();
    return out;
  };
  while (i < n) {
    const size_t start = i;
    const unsigned char c = static_cast<unsigned char>(s[i]);
    Token t{Tok::Punct, {}, {}};
    if (space(c)) {
      while (i < n && space(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = Tok::Space;
    } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && s[i] != '\n') ++i;
      t.kind = Tok::Comment;
    } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      const size_t end = s.find("*/", i + 2);
      if (end == std::string_view::npos) return fail("a comment is not closed");
      i = end + 2;
      t.kind = Tok::Comment;
    } else if (c == '{') {
      const size_t end = s.find('}', i + 1);
      if (end == std::string_view::npos) return fail("a comment is not closed");
      i = end + 1;
      t.kind = Tok::Comment;
    } else if (c == '\'' || c == '"') {
      const char q = static_cast<char>(c);
      ++i;
      bool closed = false;
      while (i < n) {
        if (s[i] == q) {
          if (i + 1 < n && s[i + 1] == q) {
            t.value += q;
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        t.value += s[i++];
      }
      if (!closed) return fail("a string constant is not closed");
      t.kind = Tok::String;
    } else if (word_start(c)) {
      while (i < n && word_char(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = Tok::Word;
    } else if (digit(c) || (c == '.' && i + 1 < n && digit(static_cast<unsigned char>(s[i + 1])))) {
      while (i < n && digit(static_cast<unsigned char>(s[i]))) ++i;
      if (i < n && s[i] == '.') {
        ++i;
        while (i < n && digit(static_cast<unsigned char>(s[i]))) ++i;
      }
      if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < n && digit(static_cast<unsigned char>(s[j]))) {
          i = j;
          while (i < n && digit(static_cast<unsigned char>(s[i]))) ++i;
        }
      }
      t.kind = Tok::Number;
    } else if (c == '?') {
      ++i;
      t.kind = Tok::Param;
    } else {
      static constexpr std::string_view two[] = {"<=", ">=", "<>", "!=", "||", "::", "=="};
      bool matched = false;
      for (auto op : two) {
        if (s.substr(i, 2) == op) {
          i += 2;
          matched = true;
          break;
        }
      }
      if (!matched) ++i;
      t.kind = Tok::Punct;
    }
    t.text = s.substr(start, i - start);
    out.push_back(std::move(t));
  }
  return out;
}

}  // namespace rt::sql
