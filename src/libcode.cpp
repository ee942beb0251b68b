// Text utilities on character values (see libcode.h).
#include "libcode.h"

#include <algorithm>
#include <vector>

#include "libshell.h"
#include "qbe/criteria.h"
#include "values/text.h"
#include "values/value.h"

namespace {

// An argument as its CHAR(n) variable holds it.
std::string char_arg(std::string_view s, int width) { return rt::rtrim(rt::cut_chars(s, width)); }

// ---- add_upper -------------------------------------------------------

struct Word {
  std::string text;
  bool marker = false;  // the two-character line-break marker
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The words of a statement: split at blanks, each line-break marker a word
// of its own. nullopt when they do not fit the word table.
std::optional<std::vector<Word>> split_words(std::string_view sql) {
  std::vector<Word> words;
  std::string cur;
  auto flush = [&] {
    if (!cur.empty()) words.push_back({std::move(cur), false});
    cur.clear();
  };
  for (std::size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (is_blank(c)) {
      flush();
    } else if (c == '\\' && i + 1 < sql.size() && sql[i + 1] == 'n') {
      flush();
      words.push_back({"", true});
      ++i;
    } else {
      cur += c;
    }
  }
  flush();
  if (words.size() > kAddUpperWords) return std::nullopt;
  for (const Word& w : words)
    if (w.text.size() > kAddUpperWordMax) return std::nullopt;
  return words;
}

// ---- ignore_case -----------------------------------------------------

// One character of the text as a pattern element.
std::string case_blind(std::string_view c) {
  if (c == "*") return "*";
  // Inside brackets these would open, close, negate or escape a set.
  if (c == "[" || c == "]" || c == "^" || c == "\\") return "\\" + std::string(c);
  return "[" + rt::text::upshift(c) + rt::text::downshift(c) + "]";
}

}  // namespace

std::string add_upper(std::string_view lv_sql) {
  const std::string sql = char_arg(lv_sql, 1024);
  std::optional<std::vector<Word>> words = split_words(sql);
  if (!words) return sql;
  for (std::size_t k = 0; k < words->size(); ++k) {
    const Word& w = (*words)[k];
    if (w.marker || rt::downshift(w.text) != "matches") continue;
    std::size_t j = k;
    while (j > 0 && (*words)[j - 1].marker) --j;
    if (j == 0) continue;  // nothing before it to wrap
    Word& col = (*words)[j - 1];
    if (col.text.size() <= kAddUpperColumnMax) col.text = "upper(" + col.text + ")";
  }
  std::string out;
  for (const Word& w : *words) {
    out += w.text;
    out += ' ';
  }
  out = rt::rtrim(out);
  if (out.size() > 1024) return sql;
  return out;
}

std::string set_cust_name(std::string_view an_name, std::string_view an_first_name, std::string_view an_company) {
  const std::string company = char_arg(an_company, 30);
  if (!company.empty()) return company;
  std::string result = char_arg(an_name, 30);
  const std::string first = char_arg(an_first_name, 30);
  if (!first.empty()) result = result.empty() ? first : result + ", " + first;
  return char_arg(result, 60);
}

std::string ignore_case(std::string_view lv_str, int lv_wild) {
  const std::string s = char_arg(lv_str, 200);
  if (s.empty()) return s;
  constexpr std::size_t kWidth = 200;
  std::string out = lv_wild == 2 ? "*" : "";
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp;
    const auto n = static_cast<std::size_t>(rt::text::decode(s, i, &cp));
    const std::string el = case_blind(std::string_view(s).substr(i, n));
    if (out.size() + el.size() + 1 > kWidth) break;  // room for the final "*"
    out += el;
    i += n;
  }
  out += '*';
  return out;
}

std::optional<std::string> ignore_case_upper(std::string_view lv_str, std::string_view lv_table,
                                             std::string_view lv_column) {
  std::string criteria = char_arg(lv_str, 300);
  if (criteria.empty()) return criteria;
  criteria += '*';
  const std::string table = char_arg(lv_table, 80);
  const std::string column = char_arg(lv_column, 80);
  // The builder joins table and column with a point: "upper(t" and "c)"
  // give upper(t.c). Without a table the column carries both parentheses.
  const std::string t = table.empty() ? "" : "upper(" + table;
  const std::string c = table.empty() ? "upper(" + column + ")" : column + ")";
  const rt::qbe::Condition cond =
      rt::qbe::construct_element(criteria, rt::char_t(20), 20, t, c, rt::DateFormat::current());
  if (!cond.ok) return std::nullopt;
  std::string out = " and " + rt::rtrim(cond.text);
  if (out.size() > 300) return std::nullopt;
  return out;
}

std::string translate(std::string_view l_old, std::string_view l_new, std::string_view l_in, int l_len) {
  // Positions count characters.
  auto chars = [](std::string_view t, int width) { return rt::text::decode_all(char_arg(t, width)); };
  auto rtrim32 = [](std::u32string t) {
    while (!t.empty() && t.back() == U' ') t.pop_back();
    return t;
  };
  const std::u32string old_s = chars(l_old, 256);
  const std::u32string new_s = chars(l_new, 256);
  std::u32string text = chars(l_in, 512);
  if (old_s.empty()) return rt::text::encode_all(text);
  const long old_len = static_cast<long>(old_s.size());
  const long d = old_len - static_cast<long>(new_s.size());
  long end = static_cast<long>(text.size());
  // Positions count from 1. An occurrence ends in a character that is not
  // a blank, so none lies beyond the text itself: the scan stops there too.
  for (long i = 1; i <= end && i <= static_cast<long>(text.size()); ++i) {
    const std::size_t at = static_cast<std::size_t>(i - 1);
    if (text.compare(at, old_s.size(), old_s) != 0) continue;
    if (i > l_len - 5) {
      text = rtrim32(text.substr(0, at));
    } else {
      const std::size_t rest = std::min(at + old_s.size(), text.size());
      text = rtrim32(text.substr(0, at) + new_s + rtrim32(text.substr(rest)));
      if (text.size() > 512) text = rtrim32(text.substr(0, 512));
    }
    end -= d;
    i -= d;
    if (i < 0) i = 0;  // the next step looks again from position 1
  }
  return rt::text::encode_all(text);
}

std::string upper_first(std::string_view lv_str) {
  std::u32string s = rt::text::decode_all(char_arg(lv_str, 80));
  for (std::size_t i = 0; i < s.size(); ++i)
    if (i == 0 || s[i - 1] == U' ') s[i] = rt::text::upper(s[i]);
  return rt::text::encode_all(s);
}

std::array<std::optional<std::string>, 7> split_address(std::string_view lv_addr) {
  std::array<std::optional<std::string>, 7> parts{};
  std::string addr = char_arg(lv_addr, 180);
  for (std::size_t k = 0; !addr.empty() && k < parts.size(); ++k) {
    const std::size_t sep = addr.find('^');
    if (sep == std::string::npos) {
      parts[k] = char_arg(addr, 50);
      addr.clear();
    } else {
      parts[k] = char_arg(addr.substr(0, sep), 50);
      addr = rt::rtrim(addr.substr(sep + 1));
    }
  }
  return parts;
}

bool which_cmd(std::string_view lv_cmd) {
  std::string name = char_arg(lv_cmd, 80);
  // Leading blanks are not part of a command's name (the shell drops them).
  name.erase(0, std::min(name.find_first_not_of(' '), name.size()));
  return shell_run("which " + shell_quote(name)) == 0;
}
