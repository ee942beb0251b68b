// The translator's typed expression reader: a small reader of the
// statement's expressions, by precedence, run after the token rewrites.
// Owns the type of each operation (arithmetic, dates, functions, CASE,
// predicates) and the back-end rewrites made as each operation is read
// whole, innermost first, by adding text before its first and after its
// last token: exact decimal arithmetic and comparison on SQLite, date
// arithmetic through julianday(), ROUND, TRUNC, MIN and MAX of decimals.
// It never refuses a statement for what it does not understand: it leaves
// that part as it is and goes on at the next clause. Where two operands
// meet, the rules are translate_types.cpp's.
#include "translator.h"

#include <algorithm>
#include <cstdlib>

#include "core/errors.h"
#include "values/decimal.h"

namespace rt::sql::dialect {

ColType Translator::arith_type(const ColType& a, const ColType& b, char op) const {
  if (a.kind == ColType::Float || b.kind == ColType::Float) return {ColType::Float, 0, -1};
  if (!is_dec(a) && !is_dec(b)) {
    if (a.kind == ColType::Int && b.kind == ColType::Int) return int_t();
    if (a.kind == ColType::Date || b.kind == ColType::Date)
      return op == '-' && a.kind == b.kind ? int_t() : a.kind == ColType::Date ? a : b;
    return {};
  }
  const int sa = a.kind == ColType::Int ? 0 : is_dec(a) ? a.scale : -1;
  const int sb = b.kind == ColType::Int ? 0 : is_dec(b) ? b.scale : -1;
  int s = -1;
  if (sa >= 0 && sb >= 0) s = op == '*' ? sa + sb : op == '/' ? -1 : std::max(sa, sb);
  return dec_t(0, s);
}

// primary := constant | ? | column | function(...) | (expr) | (select)
//          | CASE ... END | - primary | NOT ...
bool Translator::primary(size_t& i, size_t end, Node* n) {
  if (at_end(i, end)) return false;
  const Token& t = tok(i);
  n->first = i;
  if (punct(i, "(")) {
    const size_t close = close_of(i);
    if (close == std::string::npos || close >= end) return false;
    if (is(i + 1, "SELECT")) {
      std::vector<ColType> types;
      std::vector<Node> items;
      select_at(i + 1, close, &types, nullptr, &items);
      if (types.size() == 1) n->type = types[0];
      if (lite() && items.size() == 1 && types.size() == 1 && !(i > 0 && is(i - 1, "EXISTS")))
        one_value(i, close, items[0]);
    } else {
      size_t k = i + 1;
      Node inner;
      if (expr(k, close, 0, &inner)) {
        n->type = inner.type;
        n->to_fit = inner.to_fit;
        n->fitted = inner.fitted;
      }
      // A list "(a, b)" or what was not read: the rest is skipped.
      while (k < close && punct(k, ",")) {
        ++k;
        Node more;
        if (!expr(k, close, 0, &more)) break;
      }
    }
    n->last = close;
    i = close + 1;
    return true;
  }
  if (punct(i, "-") || punct(i, "+")) {
    ++i;
    Node operand;
    if (!primary(i, end, &operand)) return false;
    n->last = operand.last;
    n->type = operand.type;
    if (punct(n->first, "-") && is_dec(operand.type) && lite()) {
      o(n->first).clear();
      wrap(operand, "dec_neg(", ")");
    }
    return true;
  }
  switch (t.kind) {
    case Tok::String:
      n->type = {ColType::Char, 0, -1};
      n->string_const = true;
      n->last = i++;
      return true;
    case Tok::Number: {
      const std::string_view x = t.text;
      if (x.find_first_of("eE") != std::string_view::npos) {
        n->type = {ColType::Float, 0, -1};
      } else if (const size_t dot = x.find('.'); dot != std::string_view::npos) {
        n->type = dec_t(0, static_cast<int>(x.size() - dot - 1));
      } else {
        n->type = int_t();
      }
      n->last = i++;
      return true;
    }
    case Tok::Param: {
      n->param = true;
      // Bound to a number where it meets text: a number of any places
      // (PostgreSQL would read the parameter as text beside a constant).
      const size_t k = param_at_.at(i);
      n->last = i++;
      if (k < opt_.number_params.size() && opt_.number_params[k]) {
        n->type = dec_t(0, -1);
        if (!lite()) wrap(*n, "CAST(", " AS numeric)");
      }
      return true;
    }
    case Tok::Word: break;
    default: return false;
  }
  if (is(i, "NULL")) {
    n->last = i++;
    return true;
  }
  if ((is(i, "TODAY") || is(i, "CURRENT_DATE")) && !punct(i + 1, "(")) {
    n->type = {ColType::Date, 0, -1};
    n->last = i++;
    return true;
  }
  if (is(i, "CASE")) return case_expr(i, end, n);
  if (is(i, "EXISTS") && punct(i + 1, "(")) {
    ++i;
    Node sub;
    if (!primary(i, end, &sub)) return false;
    n->type = int_t();
    n->last = sub.last;
    return true;
  }
  if (clause_word(i) || is(i, "AND") || is(i, "OR") || is(i, "NOT")) return false;
  if (punct(i + 1, "(")) return function(i, end, n);
  // A column, qualified or not.
  std::string qualifier, col = lower(t.text);
  size_t k = i;
  while (k + 2 < end && punct(k + 1, ".") && tok(k + 2).kind == Tok::Word) {
    qualifier = col;
    col = lower(tok(k + 2).text);
    k += 2;
  }
  if (k + 2 < end + 1 && punct(k + 1, ".") && punct(k + 2, "*")) return false;  // t.* is no value
  n->type = column_ref(qualifier, col);
  n->last = k;
  i = k + 1;
  return true;
}

// A query used as one value, at sig indexes [open, close], on SQLite:
// read through one_value() (sqlite_functions.h), which refuses a second
// row (-284) as PostgreSQL does, where SQLite would take the first.
void Translator::one_value(size_t open, size_t close, const Node& item) {
  size_t from = item.last + 1;
  while (from < close && !(depth_[from] == depth_[open + 1] && is(from, "FROM"))) ++from;
  if (from >= close) return;  // no FROM: one row
  std::string name = "one_value_";
  if (item.last + 1 == from)
    o(item.last) += " AS " + name;
  else
    name = lower(tok(from - 1).text);  // its alias
  o(open + 1) = "SELECT one_value(" + name + ") FROM (" + o(open + 1);
  o(close) = ")" + o(close);
}

// An aggregate inside a query within another whose columns are all the
// outer query's would be the outer query's aggregate: PostgreSQL reads it
// so, SQLite not where the query is read through one_value(). Refused
// alike (-294).
void Translator::outer_aggregate(size_t call, size_t close) {
  size_t open = call;
  while (open > 0 && !(punct(open - 1, "(") && is(open, "SELECT") && close_of(open - 1) > close)) --open;
  if (open == 0) return;
  // The names the query's FROM gives (tables, aliases and the words between).
  std::set<std::string> own;
  bool in_from = false;
  const size_t end = close_of(open - 1);
  for (size_t k = open; k < end; ++k) {
    // OUTER (b, c) names its tables a level deeper.
    const bool level = depth_[k] == depth_[open];
    if (level && is(k, "FROM"))
      in_from = true;
    else if (level && (is(k, "WHERE") || is(k, "GROUP") || is(k, "HAVING") || is(k, "ORDER") || is(k, "UNION")))
      in_from = false;
    else if (in_from && tok(k).kind == Tok::Word)
      own.insert(lower(tok(k).text));
  }
  bool outer = false;
  for (size_t k = call + 2; k < close; ++k) {
    if (tok(k).kind != Tok::Word || punct(k + 1, "(") || punct(k - 1, ".") || is(k, "DISTINCT")) continue;
    if (!punct(k + 1, ".") || own.count(lower(tok(k).text))) return;  // unqualified, or the query's own
    outer = true;
  }
  if (!outer) return;
  fail("an aggregate of the outer query inside a query within it");
  r_.error_code = err::kNotGrouped;
}

bool Translator::function(size_t& i, size_t end, Node* n) {
  const std::string name = upper(tok(i).text);
  const size_t open = i + 1, close = close_of(open);
  if (close == std::string::npos || close >= end) return false;
  std::vector<Node> args;
  size_t k = open + 1;
  if (is(k, "DISTINCT") || is(k, "ALL") || is(k, "UNIQUE")) ++k;
  if (name == "CAST") {
    Node a;
    if (expr(k, close, 0, &a) && is(k, "AS") && k + 1 < close) {
      std::string decl;
      for (size_t m = k + 1; m < close; ++m) decl += std::string(tok(m).text);
      n->type = rt::sql::column_type(decl);
      if (n->type.kind == ColType::Char || n->type.kind == ColType::Varchar || n->type.kind == ColType::Text)
        date_as_text(a);
    }
  } else if (!(punct(k, "*") && k + 1 == close)) {
    while (k < close) {
      Node a;
      if (!expr(k, close, 0, &a)) break;
      args.push_back(a);
      if (!punct(k, ",")) break;
      ++k;
    }
  }
  const ColType first = args.empty() ? ColType{} : args[0].type;
  if (r_.ok && (name == "COUNT" || name == "SUM" || name == "AVG" || name == "MIN" || name == "MAX"))
    outer_aggregate(i, close);
  if (name == "COUNT") {
    n->type = int_t();
  } else if (name == "SUM" || name == "MIN" || name == "MAX" || name == "NVL" || name == "COALESCE" || name == "ABS") {
    n->type = first;
    if (name == "NVL" || name == "COALESCE") {
      values_of_[i] = args;
      bool constants = true;  // text constants (or nulls) only: text, as PostgreSQL reads them
      for (const Node& a : args) {
        if (n->type.kind == ColType::Unknown) n->type = a.type;
        constants = constants && (a.string_const || a.type.kind == ColType::Unknown);
      }
      if (constants && n->type.kind == ColType::Char) n->type = {ColType::Text, 0, -1};
      if (n->type.kind == ColType::Date)
        for (const Node& a : args) meets_date(a, false);
    }
    // SQLite's own MIN and MAX put the decimals of more than 15 digits
    // (kept as text) after every number.
    if (lite() && (name == "MIN" || name == "MAX") && args.size() == 1 && is_dec(first))
      o(i) = name == "MIN" ? "dec_min" : "dec_max";
    // Nor is SQLite's abs() exact past 15 digits.
    if (lite() && name == "ABS" && args.size() == 1 && is_dec(first)) o(i) = "dec_abs";
  } else if (name == "AVG") {
    n->type = first.kind == ColType::Float ? first : dec_t(0, -1);
    // SQLite holds a DECIMAL(p,s) without its trailing zeros: the values
    // go to the average with their column's places, for it to keep as many
    // as PostgreSQL's does.
    if (lite() && is_dec(first) && first.scale > 0 && args.size() == 1)
      wrap(args[0], "dec_text(", "," + std::to_string(first.scale) + ")");
  } else if (name == "ROUND" || name == "TRUNC") {
    // Exact on SQLite too, with the places asked for (none when not
    // given), as numeric rounding gives them.
    const bool exact = is_dec(first) || (first.kind == ColType::Int && args.size() > 1);
    std::optional<int> places = args.size() > 1 ? int_constant(args[1]) : std::optional<int>(0);
    n->type = exact ? dec_t(0, places ? std::max(*places, 0) : -1) : first;
    if (lite() && (exact || name == "TRUNC")) o(i) = name == "ROUND" ? "dec_round" : "dec_trunc";
  } else if (name == "UPPER" || name == "LOWER" || name == "TRIM" || name == "SUBSTR" || name == "SUBSTRING") {
    n->type = {ColType::Text, 0, -1};
  } else if (name == "DATE" || name == "MDY") {
    n->type = {ColType::Date, 0, -1};
    if (name == "DATE" && args.size() == 1) meets_date(args[0], false);
    if (name == "MDY" && args.size() == 3 && !lite()) {
      // make_date() takes the year first; SQLite has mdy() itself
      // (sqlite_functions.h).
      const std::string m = text_of(args[0]), d = text_of(args[1]), y = text_of(args[2]);
      for (size_t k = sig_[i]; k <= sig_[close]; ++k) out_[k].clear();
      o(i) = "make_date(CAST(" + y + " AS integer), CAST(" + m + " AS integer), CAST(" + d + " AS integer))";
    }
  } else if (name == "YEAR" || name == "MONTH" || name == "DAY" || name == "WEEKDAY") {
    n->type = int_t();
    if (args.size() == 1) date_part(name, args[0], i, close);
  } else if (name == "LENGTH") {
    n->type = int_t();
  }
  n->last = close;
  i = close + 1;
  return true;
}

// YEAR, MONTH, DAY and WEEKDAY (0 for Sunday) of a date: the call at sig
// indexes [call, close] becomes the back end's way to read that part.
void Translator::date_part(const std::string& name, const Node& arg, size_t call, size_t close) {
  meets_date(arg, false);
  if (!r_.ok) return;
  o(call + 1).clear();
  if (lite()) {
    const char* f = name == "YEAR" ? "%Y" : name == "MONTH" ? "%m" : name == "DAY" ? "%d" : "%w";
    o(call) = std::string("CAST(strftime('") + f + "',";
    o(close) = ") AS INTEGER)";
  } else {
    o(call) = "CAST(EXTRACT(" + std::string(name == "WEEKDAY" ? "DOW" : name) + " FROM CAST(";
    o(close) = " AS date)) AS integer)";
  }
}

// The back end's text of an expression as rewritten so far.
std::string Translator::text_of(const Node& n) const {
  std::string t;
  for (size_t k = sig_[n.first]; k <= sig_[n.last]; ++k) t += out_[k];
  return t;
}

namespace {
bool text_kind(const ColType& t) {
  return t.kind == ColType::Char || t.kind == ColType::Varchar || t.kind == ColType::Text;
}
}  // namespace

bool Translator::case_expr(size_t& i, size_t end, Node* n) {
  int nest = 0;
  size_t k = i;
  for (; k < end; ++k) {
    if (is(k, "CASE")) ++nest;
    if (is(k, "END") && --nest == 0) break;
  }
  if (k >= end) return false;
  const size_t stop = k;
  // The branches, each read on its own.
  size_t m = i + 1;
  bool typed = false, from_constant = false;
  std::vector<Node> branches;
  std::optional<Node> otherwise;
  while (m < stop) {
    const bool then = is(m, "THEN") || is(m, "ELSE");
    const bool is_else = is(m, "ELSE");
    if (is(m, "WHEN") || then) ++m;
    Node part;
    if (!expr(m, stop, 0, &part)) {
      ++m;
      continue;
    }
    // The branches' type, as PostgreSQL resolves it: the first branch's
    // that is not a text constant (text when all are constants).
    if (then) branches.push_back(part);
    if (is_else) otherwise = part;
    if (then && (!typed || (from_constant && !part.string_const && part.type.kind != ColType::Unknown))) {
      n->type = part.type;
      from_constant = part.string_const;
      typed = true;
    }
  }
  // Text of more than one kind takes the kind of the ELSE value, else of
  // the first THEN value that is not a constant: PostgreSQL reads the ELSE
  // first and turns none of CHAR, VARCHAR and text into another.
  if (text_kind(n->type) && otherwise && !otherwise->string_const && text_kind(otherwise->type))
    n->type = otherwise->type;
  if (from_constant && n->type.kind == ColType::Char) n->type = {ColType::Text, 0, -1};
  values_of_[i] = branches;
  // A CASE that is a CHAR makes each branch one, its trailing blanks
  // dropped; SQLite keeps a VARCHAR's or a constant's.
  if (lite() && n->type.kind == ColType::Char) {
    for (const Node& b : branches) {
      if (b.string_const)
        trim_constant(b);
      else if (b.type.kind == ColType::Varchar || b.type.kind == ColType::Text)
        wrap(b, "rtrim(", ",' ')");
    }
  }
  n->last = stop;
  i = stop + 1;
  return true;
}

// Binding power of the operator at i (0: none).
int Translator::infix_power(size_t i, size_t end) const {
  if (at_end(i, end)) return 0;
  if (is(i, "OR")) return 1;
  if (is(i, "AND")) return 2;
  if (punct(i, "=") || punct(i, "==") || punct(i, "<>") || punct(i, "!=") || punct(i, "<") || punct(i, "<=") ||
      punct(i, ">") || punct(i, ">=") || is(i, "IS") || is(i, "BETWEEN") || is(i, "IN") || is(i, "MATCHES") ||
      is(i, "LIKE") || is(i, "GLOB"))
    return 4;
  if (is(i, "NOT") && (is(i + 1, "BETWEEN") || is(i + 1, "IN") || is(i + 1, "MATCHES") || is(i + 1, "LIKE"))) return 4;
  if (punct(i, "||")) return 5;
  if (punct(i, "+") || punct(i, "-")) return 6;
  if (punct(i, "*") || punct(i, "/") || punct(i, "%")) return 7;
  return 0;
}

// A decimal joined to text shows the places of its type, as numeric text
// does on PostgreSQL (SQLite holds 2.50 as 2.5), or those of them that fit
// 38 digits beside the digits before the point (a sum, difference or
// product past 38 digits keeps fewer: dec_text on SQLite, pg_temp.dec_fit
// on PostgreSQL). The value of an NVL or CASE is one of its values, each
// with its own places.
void Translator::show_places(const Node& n) {
  if (!is_dec(n.type)) return;
  const auto values = values_of_.find(n.first);
  if (values != values_of_.end() && n.first < n.last) {
    for (const Node& v : values->second) show_places(v);
  } else if (!lite()) {
    if (n.to_fit && !n.fitted) wrap(n, "pg_temp.dec_fit(", ")");
  } else if (n.type.scale >= 0) {
    wrap(n, "dec_text(", "," + std::to_string(n.type.scale) + ")");
  }
}

// A product of decimals past 38 digits keeps the places that fit, and is
// refused (-1226) past 38 digits before the point. PostgreSQL's is exact:
// where the operands' digits could make more than 38, it goes through
// pg_temp.dec_fit, which keeps the places that fit. (SQLite's dec_mul
// keeps them itself.)
void Translator::fit_product(const Node& left, const Node& right, Node* n) {
  n->to_fit = true;
  if (lite()) return;
  auto digits = [&](const Node& x) {
    if (is_dec(x.type)) return x.type.precision > 0 ? x.type.precision : 39;
    if (x.type.kind != ColType::Int) return 39;
    return x.first == x.last && tok(x.first).kind == Tok::Number ? constant_digits(tok(x.first).text) : 19;
  };
  if (digits(left) + digits(right) <= Decimal::kMaxDigits) return;
  wrap(*n, "pg_temp.dec_fit(", ")");
  n->fitted = true;
}

bool Translator::expr(size_t& i, size_t end, int min_power, Node* n) {
  if (is(i, "NOT")) {
    // NOT binds more loosely than a comparison, more tightly than AND:
    // what follows its operand ("NOT p AND q") is read on here.
    const size_t first = i++;
    Node operand;
    if (!expr(i, end, 3, &operand)) return false;
    *n = operand;
    n->first = first;
    n->type = int_t();
    n->string_const = n->param = false;
  } else if (!primary(i, end, n)) {
    return false;
  }
  for (;;) {
    const int power = infix_power(i, end);
    if (power == 0 || power <= min_power) return true;
    const size_t op = i;
    Node left = *n;
    if (power == 4) {
      if (!predicate(i, end, left, n)) return false;
      continue;
    }
    ++i;
    Node right;
    if (!expr(i, end, power, &right)) return false;
    n->first = left.first;
    n->last = right.last;
    n->string_const = n->param = false;
    if (power <= 2) {
      n->type = int_t();
      continue;
    }
    const std::string_view sym = tok(op).text;
    n->to_fit = n->fitted = false;
    if (sym == "||") {
      n->type = {ColType::Text, 0, -1};
      for (const Node* side : {&left, &right}) {
        date_as_text(*side);
        show_places(*side);
      }
      continue;
    }
    if ((sym == "+" || sym == "-") && date_arith(left, right, sym[0], n)) {
      if (!r_.ok) return false;
      continue;
    }
    n->type = arith_type(left.type, right.type, sym[0]);
    if (is_dec(n->type) && (sym == "+" || sym == "-")) n->to_fit = true;
    if (is_dec(n->type) && sym == "*") fit_product(left, right, n);
    // PostgreSQL computes whole numbers in their columns' type, refusing
    // a SMALLINT past 32767 or an INTEGER past 2147483647; SQLite computes
    // them in 64 bits, as the dialect does: a sum, difference or product
    // is not bound to its operands' columns.
    if (!lite() && left.type.kind == ColType::Int && right.type.kind == ColType::Int && sym != "/" && sym != "%" &&
        !(int_constant(left) && int_constant(right)))
      wrap(left, "CAST(", " AS bigint)");
    if (lite() && (is_dec(left.type) || is_dec(right.type)) && left.type.kind != ColType::Float &&
        right.type.kind != ColType::Float && sym != "%") {
      const char* fn = sym == "+" ? "dec_add(" : sym == "-" ? "dec_sub(" : sym == "*" ? "dec_mul(" : "dec_div(";
      o(op) = ",";
      // A quotient's places count the operands' declared scales, which a
      // stored value (its zeros dropped) no longer shows.
      auto scale = [](const ColType& t) {
        return std::to_string(is_dec(t) ? t.scale : t.kind == ColType::Int ? 0 : -1);
      };
      wrap(*n, fn, sym == "/" ? "," + scale(left.type) + "," + scale(right.type) + ")" : std::string(")"));
    }
  }
}

// A DATE plus or minus a number of days is a DATE, a DATE minus a DATE
// the days between them; a text constant met by a DATE there is a date.
// SQLite keeps a DATE as ISO text: it counts days through julianday().
bool Translator::date_arith(Node left, Node right, char op, Node* n) {
  bool ld = left.type.kind == ColType::Date, rd = right.type.kind == ColType::Date;
  if (!ld && !rd) return false;
  if (op == '-' && ld && right.string_const) {
    meets_date(right, false);
    rd = true;
  } else if (op == '-' && rd && left.string_const) {
    meets_date(left, false);
    ld = true;
  }
  if (!r_.ok) return true;
  if (ld && rd) {
    if (op != '-') return false;
    n->type = int_t();
    if (lite()) {
      wrap(left, "julianday(", ")");
      wrap(right, "julianday(", ")");
      wrap(*n, "CAST(", " AS INTEGER)");
    }
    return true;
  }
  if (rd && op == '-') return false;
  n->type = {ColType::Date, 0, -1};
  if (lite()) {
    wrap(ld ? left : right, "julianday(", ")");
    wrap(*n, "date(", ")");
  }
  return true;
}

// The value of a whole-number constant argument ("2", "-1"), if it is one.
std::optional<int> Translator::int_constant(const Node& a) const {
  std::string t;
  for (size_t k = a.first; k <= a.last; ++k) t += std::string(tok(k).text);
  if (t.empty() || t.size() > 3 || !is_integer_text(t)) return std::nullopt;
  return std::atoi(t.c_str());
}

// Comparisons, IS [NOT] NULL, [NOT] BETWEEN, [NOT] IN, [NOT] MATCHES.
bool Translator::predicate(size_t& i, size_t end, const Node& left, Node* n) {
  n->first = left.first;
  n->type = int_t();
  n->string_const = n->param = false;
  if (is(i, "IS")) {
    ++i;
    if (is(i, "NOT")) ++i;
    if (!is(i, "NULL")) return false;
    n->last = i++;
    return true;
  }
  const size_t negation = is(i, "NOT") ? i++ : std::string::npos;
  // On SQLite a decimal may be a number or, past 15 digits or as a
  // quotient, exact text: BETWEEN and IN with one compare through
  // dec_between() and dec_in(), exactly (sqlite_functions.h).
  auto exact = [&](size_t op, const std::string& fn) {
    o(op) = ",";
    if (negation != std::string::npos) o(negation).clear();
    o(left.first) = (negation != std::string::npos ? "NOT " : "") + fn + "(" + o(left.first);
  };
  if (is(i, "BETWEEN")) {
    const size_t between = i++;
    Node lo, hi;
    if (!expr(i, end, 4, &lo) || !is(i, "AND")) return false;
    const size_t and_at = i++;
    if (!expr(i, end, 4, &hi)) return false;
    compared(left, lo);
    compared(left, hi);
    n->last = hi.last;
    if (r_.ok && lite() && (is_dec(left.type) || is_dec(lo.type) || is_dec(hi.type))) {
      exact(between, "dec_between");
      o(and_at) = ",";
      o(hi.last) += ")";
    }
    return true;
  }
  if (is(i, "IN")) {
    ++i;
    if (!punct(i, "(")) return false;
    const size_t close = close_of(i);
    if (close == std::string::npos || close >= end) return false;
    if (is(i + 1, "SELECT")) {
      std::vector<ColType> types;
      select_at(i + 1, close, &types, nullptr);
      if (types.size() == 1) {
        Node sub;
        sub.first = i + 1;
        sub.last = close - 1;
        sub.type = types[0];
        text_rule(left, sub, true);
      }
    } else {
      size_t k = i + 1;
      bool dec = is_dec(left.type);
      while (k < close) {
        Node item;
        if (!expr(k, close, 0, &item)) break;
        compared(left, item);
        dec = dec || is_dec(item.type);
        if (!punct(k, ",")) break;
        ++k;
      }
      if (r_.ok && lite() && dec && k == close) {
        exact(i - 1, "dec_in");
        o(i).clear();
      }
    }
    n->last = close;
    i = close + 1;
    return true;
  }
  const size_t op = i;
  const bool pattern = is(i, "MATCHES") || is(i, "LIKE") || is(i, "GLOB");
  ++i;
  Node right;
  if (!expr(i, end, 4, &right)) return false;
  n->last = right.last;
  if (pattern) {
    // LIKE sees a CHAR without its padding on both back ends.
    if (!lite() && is(op, "LIKE") && left.type.kind == ColType::Char && is_text_value(left))
      wrap(left, "CAST(", " AS text)");
    if (is(i, "ESCAPE")) {
      ++i;
      Node esc;
      if (!expr(i, end, 4, &esc)) return false;
      n->last = esc.last;
    }
    return true;
  }
  compared(left, right);
  if (!r_.ok) return false;
  if (lite() && (is_dec(left.type) || is_dec(right.type))) {
    const std::string sym(tok(op).text);
    o(op) = ",";
    wrap(*n, "dec_cmp(", ")" + (sym == "==" ? std::string("=") : sym) + "0");
  }
  return true;
}

}  // namespace rt::sql::dialect
