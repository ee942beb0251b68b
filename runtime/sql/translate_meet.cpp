// The translator's rules where values meet: what happens where two
// operands are compared or a value is stored — a text constant met by a
// DATE, a DATE shown as text, CHAR blanks, a number met by text, a
// placeholder met by a column, decimals stored into a DECIMAL(p,s), text
// too long for its column. Rewrites only the tokens of the nodes it is
// given; never walks a statement (translate_types.cpp does).
#include <algorithm>
#include <optional>

#include "core/errors.h"
#include "translator.h"
#include "values/decimal.h"

namespace rt::sql::dialect {

// Text before the first and after the last token of a node.
void Translator::wrap(const Node& n, const std::string& before, const std::string& after) {
  o(n.first) = before + o(n.first);
  o(n.last) += after;
}

// A text constant or a placeholder that meets a DATE.
void Translator::meets_date(const Node& n, bool stored) {
  if (n.string_const) {
    const Token& t = tok(n.first);
    const std::optional<std::string> iso = date_constant(t.value, opt_.date_format);
    if (!iso) {
      fail("'" + t.value + "' is not a date");
      r_.error_code = err::kDateConversion;
      return;
    }
    o(n.first) = quote_literal(*iso);
  } else if (n.param) {
    ParamTarget& p = r_.targets[param_at_.at(n.first)];
    p.kind = ParamTarget::Date;
    p.stored = p.stored || stored;
  } else if (is_text_value(n)) {
    // Any other text is read as a date on each row, as a constant is
    // (date_in() on both back ends): text that is no date is -1218.
    wrap_once(n, lite() ? "date_in(" : "pg_temp.date_in(", "," + quote_literal(dbdate_text()) + ")");
  }
}

// The run's DBDATE as its variable writes it ("MDY4/", "DMY20").
std::string Translator::dbdate_text() const {
  const DateFormat& f = opt_.date_format;
  std::string out;
  for (const char c : f.order) out += c == 'Y' ? (f.year4 ? "Y4" : "Y2") : std::string(1, c);
  return out + (f.sep ? f.sep : '0');
}

// A DATE shown as text (joined with ||, cast to text, united with text)
// takes the DBDATE form, as the runtime shows a date everywhere else.
void Translator::date_as_text(const Node& n) {
  if (n.type.kind != ColType::Date) return;
  if (lite()) {
    wrap(n, "date_text(", "," + quote_literal(dbdate_text()) + ")");
    return;
  }
  const DateFormat& f = opt_.date_format;
  std::string pattern;
  for (int k = 0; k < 3; ++k) {
    if (k > 0 && f.sep) pattern += f.sep;
    pattern += f.order[k] == 'M' ? "MM" : f.order[k] == 'D' ? "DD" : f.year4 ? "YYYY" : "YY";
  }
  wrap(n, "to_char(", "," + quote_literal(pattern) + ")");
}

// The columns of a UNION where one query gives a DATE and the other text:
// a text constant is a date there, any other text makes the column text,
// the DATE shown in the DBDATE form. `types` are the first query's.
void Translator::united(const std::vector<Node>& a, std::vector<ColType>* types, const std::vector<Node>& b,
                        std::vector<ColType>* b_types) {
  auto text = [](const ColType& t) {
    return t.kind == ColType::Char || t.kind == ColType::Varchar || t.kind == ColType::Text;
  };
  for (size_t c = 0; c < a.size() && c < b.size() && r_.ok; ++c) {
    const ColType ta = types && c < types->size() ? (*types)[c] : a[c].type, tb = (*b_types)[c];
    if ((ta.kind == ColType::Date) == (tb.kind == ColType::Date) || !(text(ta) || text(tb))) continue;
    const bool date_a = ta.kind == ColType::Date;
    const Node& other = date_a ? b[c] : a[c];
    if (other.string_const) {
      meets_date(other, false);
      if (!date_a && types && c < types->size()) (*types)[c] = ta.kind == ColType::Date ? ta : tb;
      continue;
    }
    date_as_text(date_a ? a[c] : b[c]);
    if (types && c < types->size()) (*types)[c] = {ColType::Text, 0, -1};
    (*b_types)[c] = {ColType::Text, 0, -1};
  }
}

// A value stored into a column of type `col`.
void Translator::stored_into(const ColType& col, const Node& v) {
  if (col.length > 0) too_long(col, v);
  if (!r_.ok) return;
  if (lite() && col.kind == ColType::Char && v.string_const) trim_constant(v);
  const bool texty = col.kind == ColType::Char || col.kind == ColType::Varchar || col.kind == ColType::Text;
  // A decimal constant stored into text keeps its places, as PostgreSQL
  // stores it (SQLite would store the REAL 7.5 for 7.50).
  if (lite() && texty && v.first == v.last && is_dec(v.type) && tok(v.first).kind == Tok::Number)
    o(v.first) = quote_literal(tok(v.first).text);
  if (col.kind == ColType::Date) {
    meets_date(v, true);
  } else if (v.param && (texty || col.kind == ColType::Int || col.kind == ColType::Float)) {
    ParamTarget& p = r_.targets[param_at_.at(v.first)];
    p.kind = texty ? ParamTarget::Text : ParamTarget::Number;
    p.whole = col.kind == ColType::Int;
    p.stored = true;
  } else if (is_dec(col)) {
    if (v.param) {
      ParamTarget& p = r_.targets[param_at_.at(v.first)];
      p.kind = ParamTarget::Decimal;
      p.stored = true;
      p.precision = col.precision;
      p.scale = col.scale;
    } else if (lite() && col.scale >= 0) {
      wrap(v, "dec_store(", "," + std::to_string(col.precision) + "," + std::to_string(col.scale) + ")");
    }
  }
}

// The text of tokens [k, end] when they are text constants alone: joined
// with ||, in brackets, given to UPPER, LOWER (the case left as written),
// TRIM or NVL. Advances k
// past what it read; nullopt for anything else (a column, a parameter,
// another function, a null).
std::optional<std::string> Translator::constant_text(size_t& k, size_t end) const {
  std::optional<std::string> text;
  while (true) {
    std::optional<std::string> part;
    if (k > end) return std::nullopt;
    if (tok(k).kind == Tok::String) {
      part = tok(k++).value;
    } else if (punct(k, "(")) {
      part = constant_text(++k, end);
      if (!part || !punct(k++, ")")) return std::nullopt;
    } else if ((is(k, "UPPER") || is(k, "LOWER") || is(k, "TRIM") || is(k, "NVL")) && punct(k + 1, "(")) {
      // UPPER and LOWER keep the length, which is all that is asked here.
      const bool trim = is(k, "TRIM"), nvl = is(k, "NVL");
      k += 2;
      part = constant_text(k, end);
      if (!part) return std::nullopt;
      if (nvl && (!punct(k++, ",") || !constant_text(k, end))) return std::nullopt;
      if (!punct(k++, ")")) return std::nullopt;
      if (trim) {
        const size_t b = part->find_first_not_of(' ');
        *part = b == std::string::npos ? std::string() : part->substr(b, part->find_last_not_of(' ') - b + 1);
      }
    } else {
      return std::nullopt;
    }
    text = text.value_or("") + *part;
    if (k > end || !punct(k, "||")) return text;
    ++k;
  }
}

// Text made of constants alone that is too long for the CHAR or VARCHAR it
// is stored into is refused before any row is read, as PostgreSQL folds
// it: a statement that would change no row is refused alike on both back
// ends. A CHAR's trailing blanks do not count.
void Translator::too_long(const ColType& col, const Node& v) {
  size_t k = v.first;
  std::optional<std::string> text = constant_text(k, v.last);
  if (!text || k != v.last + 1) return;
  if (col.kind == ColType::Char) text->erase(text->find_last_not_of(' ') + 1);
  const long chars = std::count_if(text->begin(), text->end(), [](char c) { return (c & 0xC0) != 0x80; });
  if (chars <= col.length) return;
  fail("'" + *text + "' is too long for a column of " + std::to_string(col.length) + " characters");
  r_.error_code = err::kStringTooLong;
}

// Text before and after a node, once however often it is compared (an
// IN list, BETWEEN).
void Translator::wrap_once(const Node& n, const std::string& before, const std::string& after) {
  if (wrapped_.insert(n.first).second) wrap(n, before, after);
}

// Trailing blanks. A CHAR value never keeps them on SQLite (the back end
// trims what is stored) and a CHAR column compares with RTRIM; VARCHAR
// and text values keep theirs and compare as they are. PostgreSQL
// decides by the pair: a constant met by a CHAR is a CHAR, CHAR with
// VARCHAR ignores trailing blanks, CHAR with text compares the CHAR
// without its padding. On SQLite a constant met by a CHAR loses its
// blanks (a temporary table made from a query compares without RTRIM),
// the VARCHAR met by a CHAR is trimmed (rtrim(), not a collation: SQLite
// 3.40's automatic indexes ignore a collation that differs from the
// column's), and a CHAR met by text compares exactly.
void Translator::text_rule(const Node& a, const Node& b, bool b_is_query) {
  // A CHAR met by a CASE or NVL of text: trailing blanks count on neither
  // side (PostgreSQL reads a CASE of text constants as text).
  auto computed = [&](const Node& n) {
    const bool texty = n.type.kind == ColType::Char || n.type.kind == ColType::Varchar ||
                       n.type.kind == ColType::Text || n.type.kind == ColType::Unknown;
    return texty && n.first < n.last &&
           (is(n.first, "CASE") || ((is(n.first, "NVL") || is(n.first, "COALESCE")) && punct(n.first + 1, "(")));
  };
  const bool char_a = a.type.kind == ColType::Char && is_text_value(a) && !computed(a);
  const bool char_b = b.type.kind == ColType::Char && is_text_value(b) && !computed(b);
  if ((char_a && computed(b)) || (char_b && computed(a))) {
    wrap_once(char_a ? b : a, "rtrim(", ")");
    return;
  }
  if (!lite()) return;
  const bool ca = a.type.kind == ColType::Char, cb = b.type.kind == ColType::Char;
  if (a.string_const && cb && is_text_value(b)) trim_constant(a);
  if (b.string_const && ca && is_text_value(a)) trim_constant(b);
  if (!is_text_value(a) || !is_text_value(b) || ca == cb) return;
  const Node& other = ca ? b : a;
  if (other.type.kind == ColType::Varchar) {
    // A CHAR column before IN (SELECT ...) already compares with RTRIM.
    if (!(b_is_query && ca)) wrap_once(other, "rtrim(", ",' ')");
  } else if (a.first == a.last) {
    wrap_once(a, "", " COLLATE BINARY");
  } else {
    wrap_once(a, "(", ") COLLATE BINARY");
  }
}

void Translator::trim_constant(const Node& n) {
  std::string v = tok(n.first).value;
  while (!v.empty() && v.back() == ' ') v.pop_back();
  o(n.first) = quote_literal(v, target_);
}

// A number meets text. A constant must read as a number of the other
// operand's kind (-1213 on both back ends, as PostgreSQL refuses it
// when the statement is read); on SQLite it is written as that number.
// Any other text value is read as a number on each row, and text that is
// no number stops the statement with -1213 (PostgreSQL has no operator
// for text and a number; SQLite would compare them as text).
void Translator::number_meets_text(const Node& num, const Node& text) {
  if (num.string_const || !is_number(num.type)) return;
  if (text.string_const) {
    if (num.type.kind == ColType::Float) return;
    std::string v = tok(text.first).value;
    const size_t b = v.find_first_not_of(' '), e = v.find_last_not_of(' ');
    v = b == std::string::npos ? std::string() : v.substr(b, e - b + 1);
    const bool ok = num.type.kind == ColType::Int ? is_integer_text(v) : Decimal::parse(v).has_value();
    if (!ok) {
      fail("'" + tok(text.first).value + "' is not a number");
      r_.error_code = err::kCharToNumber;
      return;
    }
    if (lite() && constant_digits(v) <= 15 && v.find_first_of("eE") == std::string::npos) o(text.first) = v;
    return;
  }
  if (!is_text_value(text)) return;
  if (lite())
    wrap_once(text, "dec_num(", ")");
  else
    wrap_once(text, "CAST(", " AS numeric)");
}

// Two operands compared.
void Translator::compared(const Node& a, const Node& b) {
  text_rule(a, b);
  number_meets_text(a, b);
  number_meets_text(b, a);
  if (!r_.ok) return;
  if (a.type.kind == ColType::Date) meets_date(b, false);
  if (b.type.kind == ColType::Date) meets_date(a, false);
  param_compared(a, b);
  param_compared(b, a);
}

// A placeholder compared with `other`: a text bound to it meeting a number
// is read as a number of that kind by the binder; one meeting text is
// marked, for the statement to be read again when a number is bound.
void Translator::param_compared(const Node& p, const Node& other) {
  if (!p.param || other.param) return;
  ParamTarget& t = r_.targets[param_at_.at(p.first)];
  if (is_dec(other.type)) {
    t.kind = ParamTarget::Decimal;
  } else if ((other.type.kind == ColType::Int || other.type.kind == ColType::Float) && t.kind == ParamTarget::None) {
    t.kind = ParamTarget::Number;
    t.whole = other.type.kind == ColType::Int;
  } else if (is_text_value(other) || other.string_const) {
    t.meets_text = true;
  }
}

}  // namespace rt::sql::dialect
