// The dialect translator. See translate.h for what it rewrites.
//
// The statement is tokenized once; `out` holds one output text per token,
// initially the token's own text, and each rewrite replaces or empties
// entries. Joining `out` gives the back end's statement, with the blanks of
// the original kept wherever nothing was rewritten.
#include "sql/translate.h"

#include <cctype>
#include <optional>

#include "sql/errors.h"
#include "sql/pattern.h"
#include "sql/tokenize.h"

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

// A constant that is exactly a date in the DBDATE form (with its
// separators, a 4-digit year or, for a Y2 format, a 2-digit one), as ISO.
std::optional<std::string> date_constant(std::string_view s, const DateFormat& f) {
  const size_t ylen = f.year4 ? 4 : 2;
  if (s.size() != 6 + ylen) return std::nullopt;
  int m = 0, d = 0, y = 0;
  size_t pos = 0;
  for (int part = 0; part < 3; ++part) {
    const char which = f.order[part];
    const size_t len = which == 'Y' ? ylen : 2;
    int v = 0;
    for (size_t k = 0; k < len; ++k) {
      const char c = s[pos + k];
      if (c < '0' || c > '9') return std::nullopt;
      v = v * 10 + (c - '0');
    }
    pos += len;
    if (part < 2) {
      if (s[pos] != f.sep) return std::nullopt;
      ++pos;
    }
    if (which == 'M') m = v;
    else if (which == 'D') d = v;
    else y = v;
  }
  if (!f.year4) y += y < 50 ? 2000 : 1900;
  auto date = Date::from_mdy(m, d, y);
  if (!date) return std::nullopt;
  return date->iso();
}

std::string rtrim_blanks(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

class Translator {
 public:
  Translator(std::string_view text, Target target, SchemaLookup* schema, const TranslateOptions& opt)
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
        set_whole(target_ == Target::Sqlite ? "BEGIN IMMEDIATE" : "BEGIN");
        break;
      case StmtKind::Commit: set_whole("COMMIT"); break;
      case StmtKind::Rollback: set_whole("ROLLBACK"); break;
      default: break;
    }
    if (!r_.ok) return r_;
    if (target_ == Target::Postgres) nulls_first();
    if (target_ == Target::Sqlite) checked_divisors();
    if (target_ == Target::Sqlite && (r_.kind == StmtKind::Select)) drop_for_update();
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
    }
  }

  void rewrite_tokens() {
    for (size_t i = 0; i < sig_.size(); ++i) {
      const Token& t = tok(i);
      switch (t.kind) {
        case Tok::String: {
          if (is_pattern_constant(i)) {
            o(i) = quote_literal(target_ == Target::Postgres ? matches_to_regex(t.value, pattern_fold_) : t.value);
            break;
          }
          std::string v = t.value;
          if (auto iso = date_constant(v, opt_.date_format)) v = *iso;
          if (target_ == Target::Sqlite) v = rtrim_blanks(std::move(v));
          o(i) = quote_literal(v);
          break;
        }
        case Tok::Param:
          r_.params.push_back(!next_param_is_pattern_        ? ParamUse::Plain
                              : pattern_fold_ == Fold::Upper ? ParamUse::MatchesUpshifted
                              : pattern_fold_ == Fold::Lower ? ParamUse::MatchesDownshifted
                                                             : ParamUse::MatchesPattern);
          next_param_is_pattern_ = false;
          if (target_ == Target::Postgres) o(i) = "$" + std::to_string(r_.params.size());
          break;
        case Tok::Word: {
          const bool qualified = i > 0 && punct(i - 1, ".");
          if (!qualified) r_.words.push_back(lower(t.text));
          if (qualified) break;
          if (word_is(t, "MATCHES")) {
            matches_at(i);
            if (!r_.ok) return;
          } else if (word_is(t, "TODAY") && !punct(i + 1, "(")) {
            o(i) = target_ == Target::Sqlite ? "date('now','localtime')" : "CURRENT_DATE";
          } else if (word_is(t, "NVL") && punct(i + 1, "(")) {
            o(i) = "COALESCE";
          } else if (target_ == Target::Postgres && punct(i + 1, "(") &&
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
    if (target_ == Target::Sqlite) {
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
        // On PostgreSQL half of each page stays free for the updates that
        // usually follow (see pg_backend.cpp).
        prefix_ = "CREATE TEMP TABLE " + r_.table + (target_ == Target::Postgres ? " WITH (fillfactor=50)" : "") + " AS ";
        return;
      }
    }
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
    const bool lite = target_ == Target::Sqlite;
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
        const std::string max = type == "SMALLINT" ? "32767" : "2147483647";
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
    if (r_.returns_serial && target_ == Target::Postgres) suffix_ = " RETURNING " + serial_col;
    if (position < 0) return;
    int item = 0;
    size_t start = i + 2;
    for (size_t k = i + 2; k <= close; ++k) {
      if (!((depth_[k] == 1 && punct(k, ",")) || k == close)) continue;
      if (item == position && k == start + 1) {
        const Token& v = tok(start);
        if (v.kind == Tok::Number && v.text.find_first_not_of("0.") == std::string_view::npos) {
          o(start) = target_ == Target::Sqlite ? "NULL" : "DEFAULT";
        } else if (v.kind == Tok::Param) {
          if (target_ == Target::Sqlite) {
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
      if (!punct(i, "/")) continue;
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

  std::string_view src_;
  Target target_;
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

Translation translate(std::string_view text, Target target, SchemaLookup* schema, const TranslateOptions& options) {
  return Translator(text, target, schema, options).run();
}

}  // namespace rt::sql
