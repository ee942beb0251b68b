// The dialect translator's driver and its token rewrites (see translate.h
// for the whole list of rewrites). Owns: telling what kind of statement a
// text is, string and number constants, placeholders, MATCHES, TODAY, NVL,
// upper() and lower() on PostgreSQL, where nulls sort, checked divisors on
// SQLite and the dropping of FOR UPDATE there. Never reads an expression's
// type: that is the expression reader's (translate_expr.cpp); never
// rewrites a CREATE or an INSERT's values (translate_ddl.cpp).
#include "translator.h"

#include <cctype>
#include <cstdlib>

#include "core/ascii.h"
#include "core/errors.h"
#include "values/date.h"

namespace rt::sql {
namespace dialect {

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = ascii_lower(c);
  return r;
}

std::string upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = ascii_upper(c);
  return r;
}

std::optional<std::string> date_constant(std::string_view s, const DateFormat& f) {
  std::optional<Date> d = Date::parse(s, f);
  if (!d && s.size() == 10) d = Date::parse_iso(s);
  if (!d) return std::nullopt;
  return d->iso();
}

int constant_digits(std::string_view n) {
  std::string d;
  bool point = false;
  for (char c : n) {
    if (c == 'e' || c == 'E') return 0;  // exponent form: a float
    if (c == '.')
      point = true;
    else
      d += c;
  }
  d.erase(0, d.find_first_not_of('0'));
  if (point) {
    while (!d.empty() && d.back() == '0') d.pop_back();
  }
  return static_cast<int>(d.size());
}

bool is_integer_text(std::string_view v) {
  if (!v.empty() && (v[0] == '+' || v[0] == '-')) v.remove_prefix(1);
  return !v.empty() && v.find_first_not_of("0123456789") == std::string_view::npos;
}

Translation Translator::run() {
  std::string err;
  toks_ = tokenize(src_, &err);
  if (!err.empty()) return fail(err);
  out_.reserve(toks_.size());
  for (const Token& t : toks_) {
    out_.emplace_back(t.kind == Tok::Comment ? std::string(" ") : std::string(t.text));
    if (t.kind != Tok::Space && t.kind != Tok::Comment) {
      sig_.push_back(out_.size() - 1);
    }
  }
  // A statement may end in one ";"; more than one statement is refused by
  // the back ends themselves.
  if (!sig_.empty() && tok(sig_.size() - 1).text == ";") {
    out_[sig_.back()].clear();
    sig_.pop_back();
  }
  if (sig_.empty()) return fail("the statement is empty");
  depth_.resize(sig_.size());
  int depth = 0;
  for (size_t i = 0; i < sig_.size(); ++i) {
    if (tok(i).text == ")") --depth;
    depth_[i] = depth;
    if (tok(i).text == "(") ++depth;
  }
  classify();
  if (!r_.ok) return r_;
  rewrite_tokens();
  if (!r_.ok) return r_;
  r_.targets.resize(r_.params.size());
  analyze();
  if (!r_.ok) return r_;
  switch (r_.kind) {
    case StmtKind::SelectIntoTemp: into_temp(); break;
    case StmtKind::UpdateStatistics: update_statistics(); break;
    case StmtKind::CreateTable: create_table(); break;
    case StmtKind::CreateIndex: create_index(); break;
    case StmtKind::Insert:
      values_for_every_column();
      if (r_.ok) insert_serial();
      break;
    case StmtKind::Begin: set_whole(target_ == Backend::Sqlite ? "BEGIN IMMEDIATE" : "BEGIN"); break;
    case StmtKind::Commit: set_whole("COMMIT"); break;
    case StmtKind::LockTable: lock_table(); break;
    case StmtKind::Rollback: set_whole("ROLLBACK"); break;
    default: break;
  }
  if (!r_.ok) return r_;
  if (target_ == Backend::Sqlite) checked_divisors();
  outer_joins();
  if (!r_.ok) return r_;
  if (target_ == Backend::Postgres) nulls_first();
  if (r_.kind == StmtKind::Select || r_.kind == StmtKind::SelectIntoTemp) first_rows();
  if (target_ == Backend::Sqlite && (r_.kind == StmtKind::Select)) drop_for_update();
  for (const std::string& s : out_) r_.text += s;
  r_.text = prefix_ + r_.text + suffix_;
  return std::move(r_);
}

Translation Translator::fail(std::string why) {
  r_.ok = false;
  r_.error = std::move(why);
  return r_;
}

void Translator::set_whole(std::string text) {
  for (std::string& s : out_) s.clear();
  out_[0] = std::move(text);
}

// Empties the output of sig tokens [from, to] and the blanks between them.
void Translator::erase(size_t from, size_t to) {
  for (size_t k = sig_[from]; k <= sig_[to]; ++k) out_[k].clear();
  // Drop the blank run just before, so that no double blank remains.
  if (sig_[from] > 0 && toks_[sig_[from] - 1].kind == Tok::Space) out_[sig_[from] - 1] = " ";
}

// Index of the matching ")" for the "(" at sig index i, or npos.
size_t Translator::close_of(size_t i) const {
  for (size_t k = i + 1; k < sig_.size(); ++k) {
    if (punct(k, ")") && depth_[k] == depth_[i]) return k;
  }
  return std::string::npos;
}

std::string Translator::name_at(size_t i) const {
  if (i >= sig_.size() || tok(i).kind != Tok::Word) return {};
  // owner.table or database:table: the last part names the table.
  size_t k = i;
  while (k + 2 < sig_.size() && (punct(k + 1, ".") || punct(k + 1, ":")) && tok(k + 2).kind == Tok::Word) k += 2;
  return lower(tok(k).text);
}

void Translator::classify() {
  if (is(0, "SELECT")) {
    r_.kind = StmtKind::Select;
    for (size_t i = 1; i + 1 < sig_.size(); ++i) {
      if (depth_[i] == 0 && is(i, "INTO") && is(i + 1, "TEMP")) {
        r_.kind = StmtKind::SelectIntoTemp;
        r_.temp = true;
        r_.table = name_at(i + 2);
        if (r_.table.empty()) fail("INTO TEMP needs a table name");
      }
    }
  } else if (is(0, "INSERT") && is(1, "INTO")) {
    r_.kind = StmtKind::Insert;
    r_.table = name_at(2);
  } else if (is(0, "UPDATE") && is(1, "STATISTICS")) {
    r_.kind = StmtKind::UpdateStatistics;
  } else if (is(0, "UPDATE")) {
    r_.kind = StmtKind::Update;
    r_.table = name_at(1);
  } else if (is(0, "DELETE") && is(1, "FROM")) {
    r_.kind = StmtKind::Delete;
    r_.table = name_at(2);
  } else if (is(0, "CREATE")) {
    size_t i = 1;
    if (is(i, "TEMP") || is(i, "TEMPORARY")) {
      r_.temp = true;
      ++i;
    }
    if (is(i, "TABLE")) {
      r_.kind = StmtKind::CreateTable;
      r_.table = name_at(i + 1);
    } else {
      while (is(i, "UNIQUE") || is(i, "DISTINCT") || is(i, "CLUSTER")) ++i;
      if (is(i, "INDEX")) {
        r_.kind = StmtKind::CreateIndex;
        if (!is(i + 1, "ON")) r_.index = name_at(i + 1);
        for (size_t k = i; k < sig_.size(); ++k) {
          if (is(k, "ON")) {
            r_.table = name_at(k + 1);
            break;
          }
        }
      }
    }
  } else if (is(0, "DROP") && is(1, "TABLE")) {
    r_.kind = StmtKind::DropTable;
    r_.table = name_at(2);
  } else if (is(0, "DROP") && is(1, "INDEX")) {
    r_.kind = StmtKind::DropIndex;
  } else if (is(0, "BEGIN") && (sig_.size() == 1 || (sig_.size() == 2 && is(1, "WORK")))) {
    r_.kind = StmtKind::Begin;
  } else if (is(0, "COMMIT") && (sig_.size() == 1 || (sig_.size() == 2 && is(1, "WORK")))) {
    r_.kind = StmtKind::Commit;
  } else if (is(0, "ROLLBACK") && (sig_.size() == 1 || (sig_.size() == 2 && is(1, "WORK")))) {
    r_.kind = StmtKind::Rollback;
  } else if (is(0, "SAVEPOINT") || is(0, "RELEASE") ||
             (is(0, "ROLLBACK") && (is(1, "TO") || (is(1, "WORK") && is(2, "TO"))))) {
    fail("savepoints are services of the layer, not statements");
  } else if (is(0, "LOCK") && is(1, "TABLE")) {
    r_.kind = StmtKind::LockTable;
    r_.table = name_at(2);
  }
}

void Translator::rewrite_tokens() {
  for (size_t i = 0; i < sig_.size(); ++i) {
    const Token& t = tok(i);
    switch (t.kind) {
      case Tok::String: {
        if (is_pattern_constant(i)) {
          o(i) =
              quote_literal(target_ == Backend::Postgres ? matches_to_regex(t.value, pattern_fold_) : t.value, target_);
          break;
        }
        o(i) = quote_literal(t.value, target_);
        break;
      }
      case Tok::Number:
        // Past 15 significant digits SQLite would read the constant as a
        // binary float; as text it reaches the exact functions whole.
        if (target_ == Backend::Sqlite &&
            constant_digits(t.text) > (t.text.find('.') == std::string_view::npos ? 18 : 15))
          o(i) = "'" + std::string(t.text) + "'";
        break;
      case Tok::Param:
        param_at_[i] = r_.params.size();
        r_.params.push_back(!next_param_is_pattern_        ? ParamUse::Plain
                            : pattern_fold_ == Fold::Upper ? ParamUse::MatchesUpshifted
                            : pattern_fold_ == Fold::Lower ? ParamUse::MatchesDownshifted
                                                           : ParamUse::MatchesPattern);
        next_param_is_pattern_ = false;
        if (target_ == Backend::Postgres) o(i) = "$" + std::to_string(r_.params.size());
        break;
      case Tok::Word: {
        const bool qualified = i > 0 && punct(i - 1, ".");
        if (!qualified) r_.words.push_back(lower(t.text));
        if (qualified) break;
        if (!in_dialect(i)) return;
        if (word_is(t, "MATCHES")) {
          matches_at(i);
          if (!r_.ok) return;
        } else if (word_is(t, "TODAY") && !punct(i + 1, "(")) {
          o(i) = target_ == Backend::Sqlite ? "date('now','localtime')" : "CURRENT_DATE";
        } else if (word_is(t, "NVL") && punct(i + 1, "(")) {
          o(i) = "COALESCE";
        } else if (target_ == Backend::Postgres && punct(i + 1, "(") && (word_is(t, "UPPER") || word_is(t, "LOWER"))) {
          // The session's functions that fold as the runtime does
          // (pg_backend.cpp).
          o(i) = word_is(t, "UPPER") ? "pg_temp.upshift" : "pg_temp.downshift";
        }
        break;
      }
      default: break;
    }
  }
}

// Forms one back end would take and the other not, refused alike: the
// SQL standard's SUBSTRING(x FROM a FOR b) and TRIM(LEADING ... FROM x)
// and a comparison with ANY, SOME or ALL of a query (-201), LPAD and RPAD
// (-674). SAVEPOINT, RELEASE and ROLLBACK TO as statements are refused
// by classify(): savepoints are the layer's services.
bool Translator::in_dialect(size_t i) {
  const Token& t = tok(i);
  const bool call = punct(i + 1, "(");
  if (call && (word_is(t, "LPAD") || word_is(t, "RPAD"))) {
    fail(upper(t.text) + " is not a function of the dialect");
    r_.error_code = err::kNoFunction;
    return false;
  }
  bool standard = false;
  if (call && (word_is(t, "SUBSTRING") || word_is(t, "TRIM"))) {
    const size_t close = close_of(i + 1);
    standard = is(i + 2, "LEADING") || is(i + 2, "TRAILING") || is(i + 2, "BOTH");
    for (size_t k = i + 2; k < close && k < sig_.size(); ++k)
      standard = standard || (depth_[k] == depth_[i] + 1 && (is(k, "FROM") || is(k, "FOR")));
  }
  const bool quantified = call && (word_is(t, "ANY") || word_is(t, "SOME") || word_is(t, "ALL")) && i > 0 &&
                          tok(i - 1).kind == Tok::Punct && tok(i - 1).text != "(" && tok(i - 1).text != ",";
  if (standard || quantified) fail(upper(t.text) + " in this form is not part of the dialect");
  return r_.ok;
}

void Translator::matches_at(size_t i) {
  const bool negated = i > 0 && is(i - 1, "NOT");
  const size_t p = i + 1;
  const bool constant = p < sig_.size() && tok(p).kind == Tok::String;
  const bool param = p < sig_.size() && tok(p).kind == Tok::Param;
  if (param) next_param_is_pattern_ = true;
  pattern_fold_ = Fold::None;
  if (target_ == Backend::Sqlite) {
    // glob() is the MATCHES matcher on this connection, and upper() and
    // lower() fold with the runtime's case mapping.
    o(i) = "GLOB";
    return;
  }
  if (!constant && !param) {
    fail("MATCHES needs a quoted pattern or a ? parameter");
    return;
  }
  if (negated) o(i - 1).clear();
  o(i) = negated ? "!~" : "~";
  fold_operand(negated ? i - 1 : i);
}

// upper(x) MATCHES p on PostgreSQL: the server's upper() folds what its
// locale knows (in the C locale, ASCII letters only), so x is compared
// as it is, with a regular expression that folds as the runtime does.
void Translator::fold_operand(size_t op) {
  if (op < 4 || !punct(op - 1, ")")) return;
  size_t open = op - 1;
  while (open > 0 && !(punct(open, "(") && depth_[open] == depth_[op - 1])) --open;
  if (!punct(open, "(") || open == 0 || (open > 1 && punct(open - 2, "."))) return;
  if (is(open - 1, "UPPER"))
    pattern_fold_ = Fold::Upper;
  else if (is(open - 1, "LOWER"))
    pattern_fold_ = Fold::Lower;
  else
    return;
  o(open - 1).clear();
}

// Nulls are the smallest values here, as on the family's own servers and
// on SQLite: first in ascending order, last in descending. PostgreSQL
// sorts them the other way, so on it every ORDER BY item says where its
// nulls go, and every index column is made in that order, so that an
// ordered read can still follow an index.
void Translator::nulls_first() {
  for (size_t i = 0; i + 1 < sig_.size(); ++i) {
    if (is(i, "ORDER") && is(i + 1, "BY")) {
      order_items(i + 2, depth_[i]);
    } else if (r_.kind == StmtKind::CreateIndex && punct(i, "(") && depth_[i] == 0) {
      order_items(i + 1, 1);
      return;
    }
  }
}

// The items of a list starting at sig index `from` at parenthesis depth
// `depth`, up to its end: a closing parenthesis or a clause word.
void Translator::order_items(size_t from, int depth) {
  size_t k = from;
  while (k < sig_.size()) {
    size_t e = k;
    while (
        e < sig_.size() && depth_[e] >= depth && !(depth_[e] == depth && punct(e, ",")) &&
        !(depth_[e] == depth && (is(e, "INTO") || is(e, "FOR") || is(e, "LIMIT") || is(e, "OFFSET") || is(e, "UNION"))))
      ++e;
    if (e == k) return;
    const size_t last = e - 1;
    if (!(last > k && is(last - 1, "NULLS"))) o(last) += is(last, "DESC") ? " NULLS LAST" : " NULLS FIRST";
    if (e >= sig_.size() || !punct(e, ",") || depth_[e] != depth) return;
    k = e + 1;
  }
}

// SQLite divides by zero into a null; the family's servers, like
// PostgreSQL, refuse it (-1202). Each divisor (a constant, a column, a
// call or a parenthesized expression, with its signs) passes through
// divisor(), which refuses a zero.
void Translator::checked_divisors() {
  for (size_t i = 1; i + 1 < sig_.size(); ++i) {
    // A division the exact decimal functions took over refuses a zero
    // divisor itself.
    if (!punct(i, "/") || o(i) != "/") continue;
    size_t a = i + 1;
    while (a < sig_.size() && (punct(a, "-") || punct(a, "+"))) ++a;
    if (a >= sig_.size()) return;
    size_t b = a;
    if (punct(a, "(")) {
      b = close_of(a);
    } else if (tok(a).kind == Tok::Word && punct(a + 1, "(")) {
      b = close_of(a + 1);
    } else {
      while (b + 2 < sig_.size() && punct(b + 1, ".") && tok(b + 2).kind == Tok::Word) b += 2;
    }
    if (b == std::string::npos) return;
    o(i + 1) = "divisor(" + o(i + 1);
    o(b) += ")";
  }
}

// SELECT FIRST n ...: at most the first n rows, as LIMIT n at the end of
// the query (before INTO TEMP and FOR UPDATE). Runs after the order of
// nulls is written, so that LIMIT follows it.
void Translator::first_rows() {
  size_t i = 1;
  while (is(i, "DISTINCT") || is(i, "UNIQUE") || is(i, "ALL")) ++i;
  if (!is(i, "FIRST") || i + 1 >= sig_.size() || tok(i + 1).kind != Tok::Number) return;
  const std::string n(tok(i + 1).text);
  erase(i, i + 1);
  size_t at = sig_.size();
  for (size_t k = i + 2; k + 1 < sig_.size(); ++k) {
    if (depth_[k] == 0 && ((is(k, "INTO") && is(k + 1, "TEMP")) || (is(k, "FOR") && is(k + 1, "UPDATE")))) {
      at = k;
      break;
    }
  }
  o(at - 1) += " LIMIT " + n;
}

void Translator::drop_for_update() {
  for (size_t i = 1; i + 1 < sig_.size(); ++i) {
    if (depth_[i] == 0 && is(i, "FOR") && is(i + 1, "UPDATE")) {
      erase(i, sig_.size() - 1);
      return;
    }
  }
}

}  // namespace dialect

using dialect::lower;

bool is_ddl(StmtKind k) {
  return k == StmtKind::CreateTable || k == StmtKind::CreateIndex || k == StmtKind::DropTable ||
         k == StmtKind::DropIndex || k == StmtKind::SelectIntoTemp || k == StmtKind::Other;
}

std::string quote_literal(std::string_view s) {
  std::string r = "'";
  for (char c : s) {
    if (c == '\'') r += '\'';
    r += c;
  }
  r += '\'';
  return r;
}

std::string quote_literal(std::string_view s, Backend target) {
  if (target != Backend::Postgres || s.find('\\') == std::string_view::npos) return quote_literal(s);
  std::string r = "E'";
  for (char c : s) {
    if (c == '\'' || c == '\\') r += c;
    r += c;
  }
  r += '\'';
  return r;
}

ColType column_type(std::string_view declared) {
  const std::string d = lower(declared);
  auto starts = [&](std::string_view p) { return d.rfind(p, 0) == 0; };
  ColType t;
  if (starts("date")) {
    t.kind = ColType::Date;
  } else if (starts("decimal") || starts("numeric") || starts("dec") || starts("money")) {
    t.kind = ColType::Decimal;
    const size_t open = d.find('(');
    if (open != std::string::npos) {
      t.precision = std::atoi(d.c_str() + open + 1);
      const size_t comma = d.find(',', open);
      t.scale = comma != std::string::npos ? std::atoi(d.c_str() + comma + 1) : -1;
    } else if (starts("money")) {
      t.precision = 16;
      t.scale = 2;
    }
  } else if (d.find("int") != std::string::npos || starts("serial") || starts("bigserial")) {
    t.kind = ColType::Int;
    t.scale = 0;
  } else if (d.find("varchar") != std::string::npos || d.find("varying") != std::string::npos) {
    t.kind = ColType::Varchar;
  } else if (starts("text") || starts("clob")) {
    t.kind = ColType::Text;
  } else if (d.find("char") != std::string::npos) {
    t.kind = ColType::Char;
  }
  if ((t.kind == ColType::Char || t.kind == ColType::Varchar) && d.find('(') != std::string::npos)
    t.length = std::atoi(d.c_str() + d.find('(') + 1);
  else if (starts("real") || starts("float") || starts("double") || starts("smallfloat")) {
    t.kind = ColType::Float;
  }
  return t;
}

Translation translate(std::string_view text, Backend target, SchemaLookup* schema, const TranslateOptions& options) {
  return dialect::Translator(text, target, schema, options).run();
}

}  // namespace rt::sql
