// The dialect translator. See translate.h for what it rewrites.
//
// The statement is tokenized once; `out` holds one output text per token,
// initially the token's own text, and each rewrite replaces or empties
// entries. Joining `out` gives the back end's statement, with the blanks of
// the original kept wherever nothing was rewritten.
#include "sql/translate.h"

#include <cctype>
#include <cstdlib>
#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "core/errors.h"
#include "sql/pattern.h"
#include "sql/tokenize.h"
#include "values/decimal.h"
#include "values/value.h"

namespace rt::sql {
namespace {

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

std::string upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

// A text constant read as a date: in the DBDATE form (a 2- or 4-digit
// year, digits alone as well) or as ISO yyyy-mm-dd. The ISO text, or
// nullopt when it is no date.
std::optional<std::string> date_constant(std::string_view s, const DateFormat& f) {
  std::optional<Date> d = Date::parse(s, f);
  if (!d && s.size() == 10) d = Date::parse_iso(s);
  if (!d) return std::nullopt;
  return d->iso();
}

// Significant digits of a number constant as written (leading zeros and
// the zeros ending a fraction do not count).
int constant_digits(std::string_view n) {
  std::string d;
  bool point = false;
  for (char c : n) {
    if (c == 'e' || c == 'E') return 0;  // exponent form: a float
    if (c == '.') point = true;
    else d += c;
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

class Translator {
 public:
  Translator(std::string_view text, Backend target, SchemaLookup* schema, const TranslateOptions& opt)
      : src_(text), target_(target), schema_(schema), opt_(opt) {}

  Translation run() {
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
      case StmtKind::Begin:
        set_whole(target_ == Backend::Sqlite ? "BEGIN IMMEDIATE" : "BEGIN");
        break;
      case StmtKind::Commit: set_whole("COMMIT"); break;
      case StmtKind::LockTable: lock_table(); break;
      case StmtKind::Rollback: set_whole("ROLLBACK"); break;
      default: break;
    }
    if (!r_.ok) return r_;
    if (target_ == Backend::Postgres) nulls_first();
    if (target_ == Backend::Sqlite) checked_divisors();
    if (target_ == Backend::Sqlite && (r_.kind == StmtKind::Select)) drop_for_update();
    for (const std::string& s : out_) r_.text += s;
    r_.text = prefix_ + r_.text + suffix_;
    return std::move(r_);
  }

 private:
  const Token& tok(size_t i) const { return toks_[sig_[i]]; }
  bool is(size_t i, std::string_view kw) const { return i < sig_.size() && word_is(tok(i), kw); }
  bool punct(size_t i, std::string_view p) const {
    return i < sig_.size() && tok(i).kind == Tok::Punct && tok(i).text == p;
  }
  std::string& o(size_t i) { return out_[sig_[i]]; }

  Translation fail(std::string why) {
    r_.ok = false;
    r_.error = std::move(why);
    return r_;
  }

  void set_whole(std::string text) {
    for (std::string& s : out_) s.clear();
    out_[0] = std::move(text);
  }

  // Empties the output of sig tokens [from, to] and the blanks between them.
  void erase(size_t from, size_t to) {
    for (size_t k = sig_[from]; k <= sig_[to]; ++k) out_[k].clear();
    // Drop the blank run just before, so that no double blank remains.
    if (sig_[from] > 0 && toks_[sig_[from] - 1].kind == Tok::Space) out_[sig_[from] - 1] = " ";
  }

  // Index of the matching ")" for the "(" at sig index i, or npos.
  size_t close_of(size_t i) const {
    for (size_t k = i + 1; k < sig_.size(); ++k) {
      if (punct(k, ")") && depth_[k] == depth_[i]) return k;
    }
    return std::string::npos;
  }

  std::string name_at(size_t i) const {
    if (i >= sig_.size() || tok(i).kind != Tok::Word) return {};
    // owner.table or database:table: the last part names the table.
    size_t k = i;
    while (k + 2 < sig_.size() && (punct(k + 1, ".") || punct(k + 1, ":")) && tok(k + 2).kind == Tok::Word) k += 2;
    return lower(tok(k).text);
  }

  void classify() {
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
    } else if (is(0, "LOCK") && is(1, "TABLE")) {
      r_.kind = StmtKind::LockTable;
      r_.table = name_at(2);
    }
  }

  void rewrite_tokens() {
    for (size_t i = 0; i < sig_.size(); ++i) {
      const Token& t = tok(i);
      switch (t.kind) {
        case Tok::String: {
          if (is_pattern_constant(i)) {
            o(i) = quote_literal(target_ == Backend::Postgres ? matches_to_regex(t.value, pattern_fold_) : t.value, target_);
            break;
          }
          o(i) = quote_literal(t.value, target_);
          break;
        }
        case Tok::Number:
          // Past 15 significant digits SQLite would read the constant as a
          // binary float; as text it reaches the exact functions whole.
          if (target_ == Backend::Sqlite && constant_digits(t.text) > (t.text.find('.') == std::string_view::npos ? 18 : 15))
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
          if (word_is(t, "MATCHES")) {
            matches_at(i);
            if (!r_.ok) return;
          } else if (word_is(t, "TODAY") && !punct(i + 1, "(")) {
            o(i) = target_ == Backend::Sqlite ? "date('now','localtime')" : "CURRENT_DATE";
          } else if (word_is(t, "NVL") && punct(i + 1, "(")) {
            o(i) = "COALESCE";
          } else if (target_ == Backend::Postgres && punct(i + 1, "(") &&
                     (word_is(t, "UPPER") || word_is(t, "LOWER"))) {
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

  void matches_at(size_t i) {
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
  void fold_operand(size_t op) {
    if (op < 4 || !punct(op - 1, ")")) return;
    size_t open = op - 1;
    while (open > 0 && !(punct(open, "(") && depth_[open] == depth_[op - 1])) --open;
    if (!punct(open, "(") || open == 0 || (open > 1 && punct(open - 2, "."))) return;
    if (is(open - 1, "UPPER")) pattern_fold_ = Fold::Upper;
    else if (is(open - 1, "LOWER")) pattern_fold_ = Fold::Lower;
    else return;
    o(open - 1).clear();
  }

  bool is_pattern_constant(size_t i) const { return i > 0 && is(i - 1, "MATCHES") && !(i > 1 && punct(i - 2, ".")); }

  void into_temp() {
    for (size_t i = 1; i + 2 < sig_.size(); ++i) {
      if (depth_[i] == 0 && is(i, "INTO") && is(i + 1, "TEMP")) {
        size_t end = i + 2;
        while (end + 2 < sig_.size() && (punct(end + 1, ".") || punct(end + 1, ":"))) end += 2;
        if (is(end + 1, "WITH") && is(end + 2, "NO") && is(end + 3, "LOG")) end += 3;
        erase(i, end);
        prefix_ = "CREATE TEMP TABLE " + r_.table + opt_.temp_table_storage + " AS ";
        return;
      }
    }
  }

  // LOCK TABLE name IN SHARE MODE (or EXCLUSIVE MODE), inside a
  // transaction: until it ends, SHARE keeps every other writer from
  // changing the table, EXCLUSIVE every other reader too. On the embedded
  // back end a transaction holds the database's one write lock from its
  // BEGIN, which already keeps other writers out: the statement only makes
  // sure the table exists there.
  void lock_table() {
    const bool share = sig_.size() == 6 && is(3, "IN") && is(4, "SHARE") && is(5, "MODE");
    const bool exclusive = sig_.size() == 6 && is(3, "IN") && is(4, "EXCLUSIVE") && is(5, "MODE");
    if (r_.table.empty() || !(share || exclusive)) {
      fail("LOCK TABLE takes a table name and IN SHARE MODE or IN EXCLUSIVE MODE");
      return;
    }
    if (target_ == Backend::Sqlite)
      set_whole("SELECT 1 FROM " + r_.table + " WHERE 0");
    else
      set_whole("LOCK TABLE " + r_.table + (share ? " IN SHARE MODE" : " IN EXCLUSIVE MODE"));
  }

  void update_statistics() {
    std::string text = "ANALYZE";
    for (size_t i = 2; i + 1 < sig_.size(); ++i) {
      if (is(i, "FOR") && is(i + 1, "TABLE")) {
        const std::string t = name_at(i + 2);
        if (!t.empty()) text += " " + t;
        break;
      }
    }
    set_whole(text);
  }

  // Type of one column definition: sig tokens [from, to].
  void column_type(size_t from, size_t to) {
    if (to <= from || tok(from).kind != Tok::Word || tok(from + 1).kind != Tok::Word) return;
    const std::string col = lower(tok(from).text);
    size_t t = from + 1;
    std::string type = upper(tok(t).text);
    size_t last = t;
    if (type == "DOUBLE" && is(t + 1, "PRECISION")) {
      type = "FLOAT";
      last = t + 1;
    }
    std::vector<std::string> args;
    if (punct(last + 1, "(")) {
      const size_t close = close_of(last + 1);
      if (close == std::string::npos || close > to) return;
      for (size_t k = last + 2; k < close; ++k) {
        if (tok(k).kind == Tok::Number) args.emplace_back(tok(k).text);
      }
      last = close;
    }
    const bool lite = target_ == Backend::Sqlite;
    auto arg = [&](size_t k, const char* dflt) { return k < args.size() ? args[k] : std::string(dflt); };
    std::string repl;
    if (type == "CHAR" || type == "CHARACTER" || type == "NCHAR") {
      const std::string n = arg(0, "1");
      repl = "CHAR(" + n + ")";
      // Characters, as PostgreSQL counts them; blanks beyond the width are
      // padding, which PostgreSQL drops too (the back end's triggers trim
      // every stored value).
      if (lite) {
        repl += " COLLATE RTRIM CONSTRAINT char_len_" + col + " CHECK(length(rtrim(" + col + ",' '))<=" + n + ")";
      }
    } else if (type == "VARCHAR" || type == "NVARCHAR" || type == "LVARCHAR") {
      const std::string n = arg(0, "255");
      repl = "VARCHAR(" + n + ")";
      if (lite) repl += " CONSTRAINT char_len_" + col + " CHECK(length(" + col + ")<=" + n + ")";
    } else if (type == "SERIAL" || type == "SERIAL8" || type == "BIGSERIAL") {
      // A serial is a key: given twice it is refused on both back ends.
      repl = lite ? "INTEGER PRIMARY KEY AUTOINCREMENT" : (type == "SERIAL" ? "SERIAL UNIQUE" : "BIGSERIAL UNIQUE");
    } else if (type == "INT8" || type == "BIGINT") {
      repl = "BIGINT";
    } else if (type == "INT" || type == "INTEGER" || type == "SMALLINT") {
      // SQLite would keep text or an out-of-range number in such a column;
      // PostgreSQL refuses both (-1213, -1215), and so does this check.
      repl = type == "SMALLINT" ? "SMALLINT" : "INTEGER";
      if (lite) {
        const std::string max = std::to_string(type == "SMALLINT" ? kSmallIntMax : kIntegerMax);
        repl += " CONSTRAINT num_type_" + col + " CHECK(typeof(" + col + ") IN ('integer','null')) CONSTRAINT int_range_" +
                col + " CHECK(typeof(" + col + ")<>'integer' OR " + col + " BETWEEN -" + max + " AND " + max + ")";
      }
    } else if (type == "DECIMAL" || type == "DEC" || type == "NUMERIC" || type == "MONEY") {
      if (type == "MONEY" && args.empty()) args = {"16", "2"};
      if (type == "MONEY" && args.size() == 1) args.push_back("2");
      if (args.size() >= 2) {
        repl = (lite ? "DECIMAL(" : "NUMERIC(") + args[0] + "," + args[1] + ")";
      } else {
        // DECIMAL(p) is a floating decimal of p digits: unconstrained scale.
        repl = lite ? (args.empty() ? "DECIMAL" : "DECIMAL(" + args[0] + ")") : "NUMERIC";
      }
    } else if (type == "FLOAT") {
      repl = lite ? "REAL" : "DOUBLE PRECISION";
    } else if (type == "SMALLFLOAT" || type == "REAL") {
      repl = "REAL";
    } else {
      return;  // SMALLINT, DATE, TEXT and the rest are the same on both
    }
    for (size_t k = t; k <= last; ++k) o(k).clear();
    o(t) = repl;
  }

  void create_table() {
    size_t open = 0;
    while (open < sig_.size() && !punct(open, "(")) ++open;
    if (open == sig_.size()) return;
    const size_t close = close_of(open);
    if (close == std::string::npos) {
      fail("the column list is not closed");
      return;
    }
    // Storage clauses after the column list (WITH NO LOG, IN dbspace,
    // EXTENT SIZE, LOCK MODE) have no meaning on either back end.
    if (close + 1 < sig_.size()) erase(close + 1, sig_.size() - 1);
    size_t start = open + 1;
    for (size_t k = open + 1; k <= close; ++k) {
      if ((depth_[k] == 1 && punct(k, ",")) || k == close) {
        if (k > start) element(start, k - 1);
        start = k + 1;
      }
    }
  }

  void element(size_t from, size_t to) {
    static constexpr std::string_view constraint_words[] = {"PRIMARY", "UNIQUE", "CHECK", "FOREIGN", "CONSTRAINT",
                                                            "DISTINCT"};
    for (auto w : constraint_words) {
      if (is(from, w)) {
        // The dialect names a table constraint after it ("UNIQUE (a)
        // CONSTRAINT u_a"); both back ends want the name first.
        if (to >= from + 2 && is(to - 1, "CONSTRAINT") && !is(from, "CONSTRAINT")) {
          const std::string name(tok(to).text);
          erase(to - 1, to);
          o(from) = "CONSTRAINT " + name + " " + o(from);
        }
        if (is(from, "DISTINCT")) o(from) = "UNIQUE";
        return;
      }
    }
    column_type(from, to);
  }

  void create_index() {
    for (size_t i = 1; i < sig_.size() && !is(i, "INDEX"); ++i) {
      if (is(i, "CLUSTER")) erase(i, i);
      if (is(i, "DISTINCT")) o(i) = "UNIQUE";
    }
    for (size_t i = 0; i < sig_.size(); ++i) {
      if (punct(i, "(") && depth_[i] == 0) {
        const size_t close = close_of(i);
        if (close != std::string::npos && close + 1 < sig_.size()) erase(close + 1, sig_.size() - 1);
        return;
      }
    }
  }

  // INSERT INTO t VALUES (...) without a column list gives every column:
  // fewer values is refused (-236) on both back ends, where PostgreSQL
  // would fill the rest with nulls.
  void values_for_every_column() {
    if (!schema_ || r_.table.empty()) return;
    size_t i = 3;
    while (i < sig_.size() && (punct(i, ".") || punct(i, ":") || (tok(i).kind == Tok::Word && !is(i, "VALUES"))))
      ++i;
    if (!is(i, "VALUES") || !punct(i + 1, "(")) return;
    const size_t close = close_of(i + 1);
    if (close == std::string::npos || close == i + 2) return;
    size_t n = 1;
    for (size_t k = i + 2; k < close; ++k) {
      if (depth_[k] == 1 && punct(k, ",")) ++n;
    }
    const TableInfo* info = schema_->table(r_.table);
    if (info && n < info->columns.size()) {
      fail("the table has " + std::to_string(info->columns.size()) + " columns, " + std::to_string(n) +
           " values were given");
      r_.error_code = err::kColumnCount;
    }
  }

  // INSERT INTO t [(cols)] VALUES (...): a 0 for the serial column asks for
  // the next serial, as a constant or as a bound value.
  void insert_serial() {
    if (!schema_ || r_.table.empty()) return;
    const TableInfo* info = schema_->table(r_.table);
    if (!info || info->serial < 0 || info->serial >= static_cast<int>(info->columns.size())) return;
    const std::string& serial_col = info->columns[info->serial];
    size_t i = 3;
    while (i < sig_.size() && (punct(i, ".") || punct(i, ":") || (tok(i).kind == Tok::Word && !is(i, "VALUES"))))
      ++i;
    int position = info->serial;
    if (punct(i, "(")) {
      const size_t close = close_of(i);
      if (close == std::string::npos) return;
      position = -1;
      int n = 0;
      for (size_t k = i + 1; k < close; ++k) {
        if (tok(k).kind == Tok::Word) {
          if (lower(tok(k).text) == serial_col) position = n;
          ++n;
        }
      }
      i = close + 1;
    }
    if (!is(i, "VALUES") || !punct(i + 1, "(")) return;
    const size_t close = close_of(i + 1);
    if (close == std::string::npos) return;
    // Only a single row of values names one serial to report.
    r_.returns_serial = close + 1 == sig_.size();
    if (r_.returns_serial && target_ == Backend::Postgres) suffix_ = " RETURNING " + serial_col;
    if (position < 0) return;
    int item = 0;
    size_t start = i + 2;
    for (size_t k = i + 2; k <= close; ++k) {
      if (!((depth_[k] == 1 && punct(k, ",")) || k == close)) continue;
      if (item == position && k == start + 1) {
        const Token& v = tok(start);
        if (v.kind == Tok::Number && v.text.find_first_not_of("0.") == std::string_view::npos) {
          o(start) = target_ == Backend::Sqlite ? "NULL" : "DEFAULT";
        } else if (v.kind == Tok::Param) {
          if (target_ == Backend::Sqlite) {
            o(start) = "NULLIF(?,0)";
          } else {
            o(start) = "COALESCE(NULLIF(" + o(start) + ",0),nextval(pg_get_serial_sequence(" +
                       quote_literal(r_.table) + "," + quote_literal(serial_col) + ")))";
          }
        }
      }
      ++item;
      start = k + 1;
    }
  }

  // Nulls are the smallest values here, as on the family's own servers and
  // on SQLite: first in ascending order, last in descending. PostgreSQL
  // sorts them the other way, so on it every ORDER BY item says where its
  // nulls go, and every index column is made in that order, so that an
  // ordered read can still follow an index.
  void nulls_first() {
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
  void order_items(size_t from, int depth) {
    size_t k = from;
    while (k < sig_.size()) {
      size_t e = k;
      while (e < sig_.size() && depth_[e] >= depth && !(depth_[e] == depth && punct(e, ",")) &&
             !(depth_[e] == depth && (is(e, "INTO") || is(e, "FOR") || is(e, "LIMIT") || is(e, "OFFSET") ||
                                      is(e, "UNION") || punct(e, ")"))))
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
  void checked_divisors() {
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

  void drop_for_update() {
    for (size_t i = 1; i + 1 < sig_.size(); ++i) {
      if (depth_[i] == 0 && is(i, "FOR") && is(i + 1, "UPDATE")) {
        erase(i, sig_.size() - 1);
        return;
      }
    }
  }

  // ---- Types of expressions -------------------------------------------
  //
  // A small reader of the statement's expressions, by precedence, run after
  // the token rewrites. It never refuses a statement for what it does not
  // understand: it leaves that part as it is and goes on at the next
  // clause. Rewrites are made as each operation is read whole (innermost
  // first), by adding text before its first and after its last token.

  struct Node {
    size_t first = 0, last = 0;
    ColType type;
    bool string_const = false;
    bool param = false;
  };

  struct TableRef {
    std::string name, alias;
    const TableInfo* info = nullptr;
  };

  static ColType int_t() { return {ColType::Int, 0, 0}; }
  static ColType dec_t(int p, int s) { return {ColType::Decimal, p, s}; }
  static bool is_dec(const ColType& t) { return t.kind == ColType::Decimal; }

  bool lite() const { return target_ == Backend::Sqlite; }

  bool clause_word(size_t i) const {
    static constexpr std::string_view words[] = {"FROM",  "WHERE", "GROUP", "HAVING", "ORDER", "INTO", "UNION",
                                                 "FOR",   "SET",   "VALUES", "ON",    "AS",    "ASC",  "DESC",
                                                 "THEN",  "ELSE",  "END",   "WHEN",  "LIMIT", "JOIN", "INNER",
                                                 "LEFT",  "RIGHT", "OUTER", "USING", "SELECT", "WITH", "BY",
                                                 "ESCAPE"};
    for (auto w : words)
      if (is(i, w)) return true;
    return false;
  }

  // Every table the statement names, with its alias, at any depth.
  void collect_tables() {
    for (size_t i = 0; i < sig_.size(); ++i) {
      const bool from = is(i, "FROM") || is(i, "JOIN") || (i == 0 && is(i, "UPDATE")) ||
                        (r_.kind == StmtKind::Insert && i == 1 && is(i, "INTO"));
      if (!from) continue;
      size_t k = i + 1;
      for (;;) {
        if (is(k, "OUTER")) ++k;
        if (k >= sig_.size() || tok(k).kind != Tok::Word || clause_word(k)) break;
        TableRef t;
        t.name = name_at(k);
        while (k + 2 < sig_.size() && (punct(k + 1, ".") || punct(k + 1, ":"))) k += 2;
        ++k;
        if (is(k, "AS")) ++k;
        if (k < sig_.size() && tok(k).kind == Tok::Word && !clause_word(k) && !is(k, "OUTER")) t.alias = lower(tok(k++).text);
        t.info = schema_ ? schema_->table(t.name) : nullptr;
        tables_.push_back(std::move(t));
        if (i == 0 || !(is(i, "FROM")) || !punct(k, ",")) break;
        ++k;
      }
    }
  }

  static ColType type_in(const TableInfo* info, const std::string& col) {
    if (!info) return {};
    for (size_t c = 0; c < info->columns.size(); ++c) {
      if (info->columns[c] == col) return c < info->types.size() ? info->types[c] : ColType{};
    }
    return {};
  }

  const TableRef* table_named(const std::string& q) const {
    for (const TableRef& t : tables_)
      if (t.alias == q) return &t;
    for (const TableRef& t : tables_)
      if (t.name == q) return &t;
    return nullptr;
  }

  ColType column_ref(const std::string& qualifier, const std::string& col) const {
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
  void wrap(const Node& n, const std::string& before, const std::string& after) {
    o(n.first) = before + o(n.first);
    o(n.last) += after;
  }

  // A text constant or a placeholder that meets a DATE.
  void meets_date(const Node& n, bool stored) {
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
    }
  }

  // A value stored into a column of type `col`.
  void stored_into(const ColType& col, const Node& v) {
    if (lite() && col.kind == ColType::Char && v.string_const) trim_constant(v);
    if (col.kind == ColType::Date) {
      meets_date(v, true);
    } else if (is_dec(col)) {
      if (v.param) {
        ParamTarget& p = r_.targets[param_at_.at(v.first)];
        p = {ParamTarget::Decimal, true, col.precision, col.scale};
      } else if (lite() && col.scale >= 0) {
        wrap(v, "dec_store(", "," + std::to_string(col.precision) + "," + std::to_string(col.scale) + ")");
      }
    }
  }

  static bool is_text_value(const Node& n) {
    return !n.string_const && !n.param &&
           (n.type.kind == ColType::Char || n.type.kind == ColType::Varchar || n.type.kind == ColType::Text);
  }
  static bool is_number(const ColType& t) {
    return t.kind == ColType::Int || t.kind == ColType::Decimal || t.kind == ColType::Float;
  }

  // Text before and after a node, once however often it is compared (an
  // IN list, BETWEEN).
  void wrap_once(const Node& n, const std::string& before, const std::string& after) {
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
  void text_rule(const Node& a, const Node& b, bool b_is_query = false) {
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

  void trim_constant(const Node& n) {
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
  void number_meets_text(const Node& num, const Node& text) {
    if (num.string_const || num.param || !is_number(num.type)) return;
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
    if (lite()) wrap_once(text, "dec_num(", ")");
    else wrap_once(text, "CAST(", " AS numeric)");
  }

  // Two operands compared.
  void compared(const Node& a, const Node& b) {
    text_rule(a, b);
    number_meets_text(a, b);
    number_meets_text(b, a);
    if (!r_.ok) return;
    if (a.type.kind == ColType::Date) meets_date(b, false);
    if (b.type.kind == ColType::Date) meets_date(a, false);
    if (is_dec(a.type) && b.param) r_.targets[param_at_.at(b.first)].kind = ParamTarget::Decimal;
    if (is_dec(b.type) && a.param) r_.targets[param_at_.at(a.first)].kind = ParamTarget::Decimal;
  }

  ColType arith_type(const ColType& a, const ColType& b, char op) const {
    if (a.kind == ColType::Float || b.kind == ColType::Float) return {ColType::Float, 0, -1};
    if (!is_dec(a) && !is_dec(b)) {
      if (a.kind == ColType::Int && b.kind == ColType::Int) return int_t();
      if (a.kind == ColType::Date || b.kind == ColType::Date) return op == '-' && a.kind == b.kind ? int_t() : a.kind == ColType::Date ? a : b;
      return {};
    }
    const int sa = a.kind == ColType::Int ? 0 : is_dec(a) ? a.scale : -1;
    const int sb = b.kind == ColType::Int ? 0 : is_dec(b) ? b.scale : -1;
    int s = -1;
    if (sa >= 0 && sb >= 0) s = op == '*' ? sa + sb : op == '/' ? -1 : std::max(sa, sb);
    return dec_t(0, s);
  }

  bool at_end(size_t i, size_t end) const { return i >= end; }

  // primary := constant | ? | column | function(...) | (expr) | (select)
  //          | CASE ... END | - primary | NOT ...
  bool primary(size_t& i, size_t end, Node* n) {
    if (at_end(i, end)) return false;
    const Token& t = tok(i);
    n->first = i;
    if (punct(i, "(")) {
      const size_t close = close_of(i);
      if (close == std::string::npos || close >= end) return false;
      if (is(i + 1, "SELECT")) {
        std::vector<ColType> types;
        select_at(i + 1, close, &types, nullptr);
        if (types.size() == 1) n->type = types[0];
      } else {
        size_t k = i + 1;
        Node inner;
        if (expr(k, close, 0, &inner)) n->type = inner.type;
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
      case Tok::Param:
        n->param = true;
        n->last = i++;
        return true;
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

  bool function(size_t& i, size_t end, Node* n) {
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
    if (name == "COUNT") {
      n->type = int_t();
    } else if (name == "SUM" || name == "MIN" || name == "MAX" || name == "NVL" || name == "COALESCE" ||
               name == "ABS") {
      n->type = first;
      if (name == "NVL" || name == "COALESCE") {
        for (const Node& a : args)
          if (n->type.kind == ColType::Unknown) n->type = a.type;
        if (n->type.kind == ColType::Date)
          for (const Node& a : args) meets_date(a, false);
      }
      // SQLite's own MIN and MAX put the decimals of more than 15 digits
      // (kept as text) after every number.
      if (lite() && (name == "MIN" || name == "MAX") && args.size() == 1 && is_dec(first))
        o(i) = name == "MIN" ? "dec_min" : "dec_max";
    } else if (name == "AVG") {
      n->type = first.kind == ColType::Float ? first : dec_t(0, -1);
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
    } else if (name == "YEAR" || name == "MONTH" || name == "DAY" || name == "WEEKDAY" || name == "LENGTH") {
      n->type = int_t();
    }
    n->last = close;
    i = close + 1;
    return true;
  }

  bool case_expr(size_t& i, size_t end, Node* n) {
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
    bool typed = false;
    while (m < stop) {
      const bool then = is(m, "THEN") || is(m, "ELSE");
      if (is(m, "WHEN") || then) ++m;
      Node part;
      if (!expr(m, stop, 0, &part)) {
        ++m;
        continue;
      }
      if (then && !typed) {
        n->type = part.type;
        typed = true;
      }
    }
    n->last = stop;
    i = stop + 1;
    return true;
  }

  // Binding power of the operator at i (0: none).
  int infix_power(size_t i, size_t end) const {
    if (at_end(i, end)) return 0;
    if (is(i, "OR")) return 1;
    if (is(i, "AND")) return 2;
    if (punct(i, "=") || punct(i, "==") || punct(i, "<>") || punct(i, "!=") || punct(i, "<") ||
        punct(i, "<=") || punct(i, ">") || punct(i, ">=") || is(i, "IS") || is(i, "BETWEEN") || is(i, "IN") ||
        is(i, "MATCHES") || is(i, "LIKE") || is(i, "GLOB"))
      return 4;
    if (is(i, "NOT") && (is(i + 1, "BETWEEN") || is(i + 1, "IN") || is(i + 1, "MATCHES") || is(i + 1, "LIKE")))
      return 4;
    if (punct(i, "||")) return 5;
    if (punct(i, "+") || punct(i, "-")) return 6;
    if (punct(i, "*") || punct(i, "/") || punct(i, "%")) return 7;
    return 0;
  }

  bool expr(size_t& i, size_t end, int min_power, Node* n) {
    if (is(i, "NOT")) {
      const size_t first = i++;
      Node operand;
      if (!expr(i, end, 3, &operand)) return false;
      *n = operand;
      n->first = first;
      n->type = int_t();
      return true;
    }
    if (!primary(i, end, n)) return false;
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
      if (sym == "||") {
        n->type = {ColType::Text, 0, -1};
        continue;
      }
      if ((sym == "+" || sym == "-") && date_arith(left, right, sym[0], n)) {
        if (!r_.ok) return false;
        continue;
      }
      n->type = arith_type(left.type, right.type, sym[0]);
      if (lite() && (is_dec(left.type) || is_dec(right.type)) && left.type.kind != ColType::Float &&
          right.type.kind != ColType::Float && sym != "%") {
        const char* fn = sym == "+" ? "dec_add(" : sym == "-" ? "dec_sub(" : sym == "*" ? "dec_mul(" : "dec_div(";
        o(op) = ",";
        wrap(*n, fn, ")");
      }
    }
  }

  // A DATE plus or minus a number of days is a DATE, a DATE minus a DATE
  // the days between them; a text constant met by a DATE there is a date.
  // SQLite keeps a DATE as ISO text: it counts days through julianday().
  bool date_arith(Node left, Node right, char op, Node* n) {
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
  std::optional<int> int_constant(const Node& a) const {
    std::string t;
    for (size_t k = a.first; k <= a.last; ++k) t += std::string(tok(k).text);
    if (t.empty() || t.size() > 3 || !is_integer_text(t)) return std::nullopt;
    return std::atoi(t.c_str());
  }

  // Comparisons, IS [NOT] NULL, [NOT] BETWEEN, [NOT] IN, [NOT] MATCHES.
  bool predicate(size_t& i, size_t end, const Node& left, Node* n) {
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
    if (is(i, "NOT")) ++i;
    if (is(i, "BETWEEN")) {
      ++i;
      Node lo, hi;
      if (!expr(i, end, 4, &lo) || !is(i, "AND")) return false;
      ++i;
      if (!expr(i, end, 4, &hi)) return false;
      compared(left, lo);
      compared(left, hi);
      n->last = hi.last;
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
        while (k < close) {
          Node item;
          if (!expr(k, close, 0, &item)) break;
          compared(left, item);
          if (!punct(k, ",")) break;
          ++k;
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

  // Skips to the next clause word at the depth of i, or to end.
  size_t skip_clause(size_t i, size_t end) const {
    const int d = i < sig_.size() ? depth_[i] : 0;
    while (i < end && !(depth_[i] == d && clause_word(i) && !is(i, "AS") && !is(i, "ON"))) ++i;
    return i;
  }

  // Reads expressions separated by commas up to a clause word.
  void expr_list(size_t& i, size_t end) {
    while (i < end) {
      Node n;
      if (!expr(i, end, 0, &n)) {
        i = skip_clause(i + 1, end);
        return;
      }
      if (is(i, "ASC") || is(i, "DESC")) ++i;
      if (!punct(i, ",")) return;
      ++i;
    }
  }

  // A SELECT from sig index `at` (the word SELECT) to `end`: the types
  // (and names) of its result columns go to the vectors given.
  void select_at(size_t at, size_t end, std::vector<ColType>* types, std::vector<std::string>* names) {
    size_t i = at + 1;
    while (is(i, "DISTINCT") || is(i, "UNIQUE") || is(i, "ALL")) ++i;
    if (is(i, "FIRST") && i + 1 < end && tok(i + 1).kind == Tok::Number) i += 2;
    // The select list.
    while (i < end) {
      if (punct(i, "*") || (tok(i).kind == Tok::Word && punct(i + 1, ".") && punct(i + 2, "*"))) {
        const bool all = punct(i, "*");
        const std::string q = all ? std::string() : lower(tok(i).text);
        i += all ? 1 : 3;
        for (const TableRef& t : tables_) {
          if (!all && t.alias != q && t.name != q) continue;
          if (!t.info) continue;
          for (size_t c = 0; c < t.info->columns.size(); ++c) {
            if (types) types->push_back(c < t.info->types.size() ? t.info->types[c] : ColType{});
            if (names) names->push_back(t.info->columns[c]);
          }
          if (all) break;  // "*" of the first table: what one-table selects need
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
        while (i < end && !(depth_[i] == depth_[at] && (is(i, "WHERE") || is(i, "GROUP") || is(i, "HAVING") ||
                                                        is(i, "ORDER") || is(i, "INTO") || is(i, "UNION") ||
                                                        is(i, "FOR")))) {
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
        ++i;
        Node n;
        if (!expr(i, end, 0, &n)) i = skip_clause(i + 1, end);
      } else if ((is(i, "GROUP") || is(i, "ORDER")) && is(i + 1, "BY")) {
        i += 2;
        expr_list(i, end);
      } else if (is(i, "UNION")) {
        ++i;
        if (is(i, "ALL")) ++i;
        if (is(i, "SELECT")) select_at(i, end, nullptr, nullptr);
        return;
      } else {
        return;  // INTO TEMP, FOR UPDATE and the like end what is read
      }
    }
  }

  void analyze() {
    if (r_.kind != StmtKind::Select && r_.kind != StmtKind::SelectIntoTemp && r_.kind != StmtKind::Insert &&
        r_.kind != StmtKind::Update && r_.kind != StmtKind::Delete)
      return;
    collect_tables();
    const size_t end = sig_.size();
    switch (r_.kind) {
      case StmtKind::Select:
      case StmtKind::SelectIntoTemp:
        select_at(0, end, &r_.result_types, &r_.result_names);
        break;
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

  void update_sets(size_t end) {
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

  void insert_values(size_t end) {
    if (tables_.empty() || !tables_[0].info) return;
    const TableInfo* info = tables_[0].info;
    size_t i = 3;
    while (i < end && (punct(i, ".") || punct(i, ":") || (tok(i).kind == Tok::Word && !is(i, "VALUES") && !is(i, "SELECT"))))
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
      select_at(i, end, nullptr, nullptr);
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

  std::string_view src_;
  Backend target_;
  SchemaLookup* schema_;
  const TranslateOptions& opt_;
  std::vector<Token> toks_;
  std::vector<std::string> out_;
  std::vector<size_t> sig_;  // indexes into toks_ of the significant tokens
  std::vector<int> depth_;   // parenthesis depth of each significant token
  std::string prefix_, suffix_;
  Translation r_;
  bool next_param_is_pattern_ = false;  // the placeholder after MATCHES
  Fold pattern_fold_ = Fold::None;      // how the operand before it was folded
  std::map<size_t, size_t> param_at_;   // sig index of a placeholder -> its number
  std::vector<TableRef> tables_;
  std::set<size_t> wrapped_;  // operands given their comparison rule already
};

}  // namespace

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
  } else if (starts("real") || starts("float") || starts("double") || starts("smallfloat")) {
    t.kind = ColType::Float;
  }
  return t;
}

Translation translate(std::string_view text, Backend target, SchemaLookup* schema, const TranslateOptions& options) {
  return Translator(text, target, schema, options).run();
}

}  // namespace rt::sql
