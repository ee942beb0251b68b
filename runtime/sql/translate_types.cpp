// The translator's statement walker and its rules where values meet. Owns
// which tables a statement names, the result columns of a SELECT, the
// walk through its clauses, SET and VALUES, and what happens where two
// operands meet or a value is stored: a text constant met by a DATE, CHAR
// blanks, a number met by text, decimals stored into a DECIMAL(p,s).
// Reads expressions only through the reader (translate_expr.cpp).
#include "translator.h"

#include <algorithm>

#include "core/errors.h"
#include "values/decimal.h"

namespace rt::sql::dialect {

bool Translator::clause_word(size_t i) const {
  static constexpr std::string_view words[] = {"FROM",  "WHERE",  "GROUP", "HAVING", "ORDER", "INTO", "UNION", "FOR",
                                               "SET",   "VALUES", "ON",    "AS",     "ASC",   "DESC", "THEN",  "ELSE",
                                               "END",   "WHEN",   "LIMIT", "JOIN",   "INNER", "LEFT", "RIGHT", "OUTER",
                                               "USING", "SELECT", "WITH",  "BY",     "ESCAPE"};
  for (auto w : words)
    if (is(i, w)) return true;
  return false;
}

// Every table the statement names, with its alias, at any depth.
void Translator::collect_tables() {
  for (size_t i = 0; i < sig_.size(); ++i) {
    const bool from = is(i, "FROM") || is(i, "JOIN") || (i == 0 && is(i, "UPDATE")) ||
                      (r_.kind == StmtKind::Insert && i == 1 && is(i, "INTO"));
    if (!from) continue;
    size_t k = i + 1;
    bool group = false;  // inside OUTER (b, c)
    for (;;) {
      if (is(k, "OUTER")) ++k;
      if (punct(k, "(") && !is(k + 1, "SELECT")) {
        group = true;
        ++k;
      }
      if (k >= sig_.size() || tok(k).kind != Tok::Word || clause_word(k)) break;
      TableRef t;
      t.name = name_at(k);
      t.at = k;
      while (k + 2 < sig_.size() && (punct(k + 1, ".") || punct(k + 1, ":"))) k += 2;
      ++k;
      if (is(k, "AS")) ++k;
      if (k < sig_.size() && tok(k).kind == Tok::Word && !clause_word(k) && !is(k, "OUTER"))
        t.alias = lower(tok(k++).text);
      t.info = schema_ ? schema_->table(t.name) : nullptr;
      tables_.push_back(std::move(t));
      if (group && punct(k, ")")) {
        group = false;
        ++k;
      }
      if (i == 0 || !(is(i, "FROM")) || !punct(k, ",")) break;
      ++k;
    }
  }
}

ColType Translator::type_in(const TableInfo* info, const std::string& col) {
  if (!info) return {};
  for (size_t c = 0; c < info->columns.size(); ++c) {
    if (info->columns[c] == col) return c < info->types.size() ? info->types[c] : ColType{};
  }
  return {};
}

const Translator::TableRef* Translator::table_named(const std::string& q) const {
  for (const TableRef& t : tables_)
    if (t.alias == q) return &t;
  for (const TableRef& t : tables_)
    if (t.name == q) return &t;
  return nullptr;
}

ColType Translator::column_ref(const std::string& qualifier, const std::string& col) const {
  if (!qualifier.empty()) {
    const TableRef* t = table_named(qualifier);
    return t ? type_in(t->info, col) : ColType{};
  }
  for (const TableRef& t : tables_) {
    const ColType ct = type_in(t.info, col);
    if (ct.kind != ColType::Unknown) return ct;
  }
  return {};
}

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

// Text made of constants alone (joined with ||, in brackets) that is too
// long for the CHAR or VARCHAR it is stored into is refused before any row
// is read, as PostgreSQL folds it: a statement that would change no row is
// refused alike on both back ends. A CHAR's trailing blanks do not count.
void Translator::too_long(const ColType& col, const Node& v) {
  std::string text;
  for (size_t k = v.first; k <= v.last; ++k) {
    if (tok(k).kind == Tok::String)
      text += tok(k).value;
    else if (!punct(k, "||") && !punct(k, "(") && !punct(k, ")"))
      return;
  }
  if (col.kind == ColType::Char) text.erase(text.find_last_not_of(' ') + 1);
  const long chars = std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; });
  if (chars <= col.length) return;
  fail("'" + text + "' is too long for a column of " + std::to_string(col.length) + " characters");
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

// Skips to the next clause word at the depth of i, or to end.
size_t Translator::skip_clause(size_t i, size_t end) const {
  const int d = i < sig_.size() ? depth_[i] : 0;
  while (i < end && !(depth_[i] == d && clause_word(i) && !is(i, "AS") && !is(i, "ON"))) ++i;
  return i;
}

// Reads expressions separated by commas up to a clause word. With
// `order_of` (the ORDER BY of a query whose result columns have those
// types), a decimal item on SQLite orders by dec_key() (sqlite_functions.h):
// SQLite holds a decimal past 15 digits, a quotient or an AVG as text,
// which it would sort after every number.
void Translator::expr_list(size_t& i, size_t end, const std::vector<Node>* order_of, bool positions,
                           std::vector<Node>* read) {
  while (i < end) {
    Node n;
    if (!expr(i, end, 0, &n)) {
      i = skip_clause(i + 1, end);
      return;
    }
    if (read) read->push_back(n);
    if (order_of && lite()) {
      const std::optional<int> pos =
          n.first == n.last && tok(n.first).kind == Tok::Number ? int_constant(n) : std::nullopt;
      if (!pos && is_dec(n.type)) {
        wrap(n, "dec_key(", ")");
      } else if (pos && positions && *pos >= 1 && static_cast<size_t>(*pos) <= order_of->size()) {
        const Node& item = (*order_of)[*pos - 1];
        bool param = false;
        for (size_t k = item.first; k <= item.last; ++k) param = param || tok(k).kind == Tok::Param;
        if (is_dec(item.type) && !param) o(n.first) = "dec_key(" + text_of(item) + ")";
      }
    }
    if (is(i, "ASC") || is(i, "DESC")) ++i;
    if (!punct(i, ",")) return;
    ++i;
  }
}

// A SELECT from sig index `at` (the word SELECT) to `end`: the types
// (and names) of its result columns go to the vectors given.
void Translator::select_at(size_t at, size_t end, std::vector<ColType>* types, std::vector<std::string>* names,
                           std::vector<Node>* items) {
  std::vector<Node> own;
  if (!items) items = &own;
  bool compound = false;  // a UNION: ORDER BY names result columns only
  bool star = false;      // "*" in the list: its positions are not items
  bool grouped = false;   // GROUP BY or HAVING
  std::vector<Node> group;
  Node having;
  having.first = 1;  // none: first after last
  for (size_t k = at + 1; k < end; ++k) compound = compound || (depth_[k] == depth_[at] && is(k, "UNION"));
  size_t i = at + 1;
  while (is(i, "DISTINCT") || is(i, "UNIQUE") || is(i, "ALL")) ++i;
  if (is(i, "FIRST") && i + 1 < end && tok(i + 1).kind == Tok::Number) i += 2;
  // The select list.
  while (i < end) {
    if (punct(i, "*") || (tok(i).kind == Tok::Word && punct(i + 1, ".") && punct(i + 2, "*"))) {
      const bool all = punct(i, "*");
      star = true;
      const std::string q = all ? std::string() : lower(tok(i).text);
      i += all ? 1 : 3;
      // "*" is the columns of every table of this query's FROM, in order
      // (those of OUTER (b, c) among them, not those of a query within).
      size_t from = i;
      while (from < end && !(depth_[from] == depth_[at] && is(from, "FROM"))) ++from;
      for (const TableRef& t : tables_) {
        if (!all && t.alias != q && t.name != q) continue;
        if (all && (t.at <= from || t.at >= end)) continue;
        if (all && depth_[t.at] != depth_[at]) {
          size_t open = t.at;
          while (open > from && !(punct(open, "(") && depth_[open] < depth_[t.at])) --open;
          if (depth_[t.at] != depth_[at] + 1 || !is(open - 1, "OUTER")) continue;
        }
        if (!t.info) continue;
        for (size_t c = 0; c < t.info->columns.size(); ++c) {
          if (types) types->push_back(c < t.info->types.size() ? t.info->types[c] : ColType{});
          if (names) names->push_back(t.info->columns[c]);
        }
      }
    } else {
      Node n;
      const size_t start = i;
      if (!expr(i, end, 0, &n)) {
        i = skip_clause(i + 1, end);
        break;
      }
      std::string name;
      if (n.first == n.last && tok(start).kind == Tok::Word) name = lower(tok(start).text);
      if (n.last > start && punct(n.last - 1, ".") && tok(n.last).kind == Tok::Word) name = lower(tok(n.last).text);
      if (is(i, "AS")) ++i;
      if (i < end && tok(i).kind == Tok::Word && !clause_word(i)) name = lower(tok(i++).text);
      if (types) types->push_back(n.type);
      items->push_back(n);
      if (names) names->push_back(name);
    }
    if (!punct(i, ",")) break;
    ++i;
  }
  // The clauses.
  while (i < end) {
    if (is(i, "FROM")) {
      // Tables were collected already; subqueries and ON conditions in
      // the list are read.
      ++i;
      while (i < end &&
             !(depth_[i] == depth_[at] && (is(i, "WHERE") || is(i, "GROUP") || is(i, "HAVING") || is(i, "ORDER") ||
                                           is(i, "INTO") || is(i, "UNION") || is(i, "FOR")))) {
        if (punct(i, "(") && is(i + 1, "SELECT")) {
          const size_t close = close_of(i);
          if (close == std::string::npos || close >= end) return;
          select_at(i + 1, close, nullptr, nullptr);
          i = close + 1;
        } else if (is(i, "ON")) {
          ++i;
          Node n;
          if (!expr(i, end, 0, &n)) ++i;
        } else {
          ++i;
        }
      }
    } else if (is(i, "WHERE") || is(i, "HAVING")) {
      const bool having_clause = is(i, "HAVING");
      ++i;
      Node n;
      if (!expr(i, end, 0, &n))
        i = skip_clause(i + 1, end);
      else if (having_clause)
        having = n;
      grouped = grouped || having_clause;
    } else if ((is(i, "GROUP") || is(i, "ORDER")) && is(i + 1, "BY")) {
      const bool order = is(i, "ORDER") && !compound;
      grouped = grouped || !order;
      i += 2;
      expr_list(i, end, order ? items : nullptr, !star, order ? nullptr : &group);
    } else if (is(i, "UNION")) {
      ++i;
      if (is(i, "ALL")) ++i;
      std::vector<ColType> next_types;
      std::vector<Node> next;
      if (is(i, "SELECT")) select_at(i, end, &next_types, nullptr, &next);
      if (!star && next.size() == next_types.size()) united(*items, types, next, &next_types);
      break;
    } else {
      break;  // INTO TEMP, FOR UPDATE and the like end what is read
    }
  }
  if (lite() && r_.ok) ungrouped(*items, group, having, grouped);
}

// A query that groups (GROUP BY, HAVING, or an aggregate in its list)
// names a column outside an aggregate only when it is grouped by it, or
// within an expression it is grouped by; PostgreSQL refuses the rest
// (-294), where SQLite would take a value of any row of the group.
void Translator::ungrouped(const std::vector<Node>& items, const std::vector<Node>& group, const Node& having,
                           bool grouped) {
  auto aggregate_at = [&](size_t k) {
    return punct(k + 1, "(") && (is(k, "COUNT") || is(k, "SUM") || is(k, "AVG") || is(k, "MIN") || is(k, "MAX"));
  };
  for (size_t c = 0; c < items.size() && !grouped; ++c)
    for (size_t k = items[c].first; k <= items[c].last && !grouped; ++k) grouped = aggregate_at(k);
  if (!grouped) return;
  auto same = [&](size_t k, const Node& g) {
    for (size_t m = g.first; m <= g.last; ++m)
      if (k + m - g.first >= sig_.size() || lower(tok(k + m - g.first).text) != lower(tok(m).text)) return false;
    return true;
  };
  // The table a column reference at k resolves to, its name, and its end.
  auto column_at = [&](size_t k, size_t* last, std::string* col) -> const TableRef* {
    std::string q;
    *last = k;
    *col = lower(tok(k).text);
    if (punct(k + 1, ".") && k + 2 < sig_.size() && tok(k + 2).kind == Tok::Word) {
      q = *col;
      *col = lower(tok(k + 2).text);
      *last = k + 2;
    }
    if (!q.empty()) return table_named(q);
    for (const TableRef& t : tables_)
      if (type_in(t.info, *col).kind != ColType::Unknown) return &t;
    return nullptr;
  };
  std::vector<Node> checked = items;
  if (having.last >= having.first && having.type.kind != ColType::Unknown) checked.push_back(having);
  for (size_t c = 0; c < checked.size(); ++c) {
    bool by_position = false;
    for (const Node& g : group)
      by_position = by_position || (c < items.size() && g.first == g.last && tok(g.first).kind == Tok::Number &&
                                    int_constant(g) == static_cast<int>(c + 1));
    for (size_t k = checked[c].first; k <= checked[c].last && !by_position; ++k) {
      bool skip = false;
      for (const Node& g : group) {
        if (!skip && !(g.first == g.last && tok(g.first).kind == Tok::Number) && same(k, g)) {
          skip = true;
          k += g.last - g.first;
        }
      }
      if (skip) continue;
      if (aggregate_at(k) || (punct(k, "(") && is(k + 1, "SELECT"))) {
        const size_t close = close_of(aggregate_at(k) ? k + 1 : k);
        if (close == std::string::npos) return;
        k = close;
        continue;
      }
      if (tok(k).kind != Tok::Word || punct(k + 1, "(") || (k > 0 && punct(k - 1, "."))) continue;
      size_t last = k;
      std::string col;
      const TableRef* t = column_at(k, &last, &col);
      if (!t || type_in(t->info, col).kind == ColType::Unknown) {
        k = last;
        continue;
      }
      bool found = false;
      for (const Node& g : group) {
        size_t glast = 0;
        std::string gcol;
        if (tok(g.first).kind == Tok::Word && !found && column_at(g.first, &glast, &gcol) == t && glast == g.last)
          found = gcol == col;
      }
      if (!found) {
        fail("column " + col + " is neither grouped nor aggregated");
        r_.error_code = err::kNotGrouped;
        return;
      }
      k = last;
    }
  }
}

void Translator::analyze() {
  if (r_.kind != StmtKind::Select && r_.kind != StmtKind::SelectIntoTemp && r_.kind != StmtKind::Insert &&
      r_.kind != StmtKind::Update && r_.kind != StmtKind::Delete)
    return;
  collect_tables();
  const size_t end = sig_.size();
  switch (r_.kind) {
    case StmtKind::Select:
    case StmtKind::SelectIntoTemp: {
      select_at(0, end, &r_.result_types, &r_.result_names);
      // The table's columns are named by the items: two of one name are
      // refused as CREATE TABLE refuses them (SQLite would rename one).
      const std::vector<std::string>& n = r_.result_names;
      for (size_t a = 0; a < n.size() && r_.ok; ++a) {
        if (!n[a].empty() && std::find(n.begin() + a + 1, n.end(), n[a]) != n.end()) {
          fail("column " + n[a] + " is named twice in the temporary table");
          r_.error_code = err::kColumnTwice;
        }
      }
      break;
    }
    case StmtKind::Delete: {
      size_t i = 0;
      while (i < end && !(depth_[i] == 0 && is(i, "WHERE"))) ++i;
      if (i < end) {
        ++i;
        Node n;
        expr(i, end, 0, &n);
      }
      break;
    }
    case StmtKind::Update: update_sets(end); break;
    case StmtKind::Insert: insert_values(end); break;
    default: break;
  }
}

void Translator::update_sets(size_t end) {
  size_t i = 0;
  while (i < end && !is(i, "SET")) ++i;
  if (i >= end) return;
  ++i;
  const TableRef* target = tables_.empty() ? nullptr : &tables_[0];
  while (i < end && !is(i, "WHERE")) {
    // col = expr
    if (tok(i).kind != Tok::Word || !punct(i + 1, "=")) {
      i = skip_clause(i, end);
      break;
    }
    size_t k = i;
    std::string col = lower(tok(k).text);
    while (punct(k + 1, ".") && tok(k + 2).kind == Tok::Word) {
      k += 2;
      col = lower(tok(k).text);
    }
    if (!punct(k + 1, "=")) break;
    i = k + 2;
    Node v;
    if (!expr(i, end, 0, &v)) {
      i = skip_clause(i, end);
      break;
    }
    if (target) stored_into(type_in(target->info, col), v);
    if (!r_.ok || !punct(i, ",")) break;
    ++i;
  }
  while (i < end && !is(i, "WHERE")) ++i;
  if (is(i, "WHERE")) {
    ++i;
    Node n;
    expr(i, end, 0, &n);
  }
}

void Translator::insert_values(size_t end) {
  if (tables_.empty() || !tables_[0].info) return;
  const TableInfo* info = tables_[0].info;
  size_t i = 3;
  while (i < end &&
         (punct(i, ".") || punct(i, ":") || (tok(i).kind == Tok::Word && !is(i, "VALUES") && !is(i, "SELECT"))))
    ++i;
  std::vector<ColType> cols = info->types;
  if (punct(i, "(")) {
    const size_t close = close_of(i);
    if (close == std::string::npos) return;
    cols.clear();
    for (size_t k = i + 1; k < close; ++k)
      if (tok(k).kind == Tok::Word) cols.push_back(type_in(info, lower(tok(k).text)));
    i = close + 1;
  }
  if (is(i, "SELECT")) {
    // INSERT ... SELECT stores each item as VALUES would: rounded to a
    // DECIMAL column's scale and checked against its precision.
    std::vector<Node> items;
    select_at(i, end, nullptr, nullptr, &items);
    for (size_t c = 0; c < items.size() && c < cols.size() && r_.ok; ++c) stored_into(cols[c], items[c]);
    return;
  }
  if (!is(i, "VALUES") || !punct(i + 1, "(")) return;
  const size_t close = close_of(i + 1);
  if (close == std::string::npos) return;
  size_t k = i + 2;
  for (size_t c = 0; k < close; ++c) {
    Node v;
    if (!expr(k, close, 0, &v)) return;
    if (c < cols.size()) stored_into(cols[c], v);
    if (!r_.ok || !punct(k, ",")) return;
    ++k;
  }
}

}  // namespace rt::sql::dialect
