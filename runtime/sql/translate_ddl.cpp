// The translator's rewrites of whole statements that need the schema's
// words or the table's facts: CREATE TABLE (the dialect's types for the
// back end, constraints named first, storage clauses dropped), CREATE
// INDEX, SELECT ... INTO TEMP, LOCK TABLE, UPDATE STATISTICS, and an INSERT's
// count of values and its serial. Never reads the types of expressions
// (translate_types.cpp does, for what is stored).
#include "translator.h"

#include <cstdlib>

#include "core/errors.h"
#include "values/value.h"

namespace rt::sql::dialect {

void Translator::into_temp() {
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
void Translator::lock_table() {
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

void Translator::update_statistics() {
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
void Translator::column_type(size_t from, size_t to) {
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
    // SERIAL(n): the first serial is n (the back end sets its counter
    // once the table is made).
    const long start = args.empty() ? 0 : std::strtol(args[0].c_str(), nullptr, 10);
    if (start > 1 && start <= kIntegerMax) {
      r_.serial_column = col;
      r_.serial_start = start;
    }
  } else if (type == "INT8" || type == "BIGINT") {
    repl = "BIGINT";
  } else if (type == "INT" || type == "INTEGER" || type == "SMALLINT") {
    // SQLite would keep text or an out-of-range number in such a column;
    // PostgreSQL refuses both (-1213, -1215), and so does this check.
    repl = type == "SMALLINT" ? "SMALLINT" : "INTEGER";
    if (lite) {
      const std::string max = std::to_string(type == "SMALLINT" ? kSmallIntMax : kIntegerMax);
      repl += " CONSTRAINT num_type_" + col + " CHECK(typeof(" + col +
              ") IN ('integer','null')) CONSTRAINT int_range_" + col + " CHECK(typeof(" + col + ")<>'integer' OR " +
              col + " BETWEEN -" + max + " AND " + max + ")";
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

// SQLite gives an unnamed CHECK the name of the named constraint before
// it, which may be one of the column rules above; a CHECK of the
// statement's own takes a name of its own, so that its failure is -530.
void Translator::own_check_name(size_t check, const std::string& name) {
  if (target_ == Backend::Sqlite && !(check >= 2 && is(check - 2, "CONSTRAINT")))
    o(check) = "CONSTRAINT " + name + " " + o(check);
}

void Translator::create_table() {
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

void Translator::element(size_t from, size_t to) {
  static constexpr std::string_view constraint_words[] = {"PRIMARY", "UNIQUE",     "CHECK",
                                                          "FOREIGN", "CONSTRAINT", "DISTINCT"};
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
      if (is(from, "CHECK")) own_check_name(from, "check_" + std::to_string(from));
      return;
    }
  }
  column_type(from, to);
  for (size_t k = from + 2; k <= to; ++k)
    if (is(k, "CHECK")) own_check_name(k, "check_" + lower(tok(from).text));
}

void Translator::create_index() {
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
void Translator::values_for_every_column() {
  if (!schema_ || r_.table.empty()) return;
  size_t i = 3;
  while (i < sig_.size() && (punct(i, ".") || punct(i, ":") || (tok(i).kind == Tok::Word && !is(i, "VALUES")))) ++i;
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
void Translator::insert_serial() {
  if (!schema_ || r_.table.empty()) return;
  const TableInfo* info = schema_->table(r_.table);
  if (!info || info->serial < 0 || info->serial >= static_cast<int>(info->columns.size())) return;
  const std::string& serial_col = info->columns[info->serial];
  size_t i = 3;
  while (i < sig_.size() &&
         (punct(i, ".") || punct(i, ":") || (tok(i).kind == Tok::Word && !is(i, "VALUES") && !is(i, "SELECT"))))
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
  if (is(i, "SELECT") && position >= 0) {
    serial_from_query(i, position, serial_col);
    return;
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
          o(start) = "COALESCE(NULLIF(" + o(start) + ",0),nextval(pg_get_serial_sequence(" + quote_literal(r_.table) +
                     "," + quote_literal(serial_col) + ")))";
        }
      }
    }
    ++item;
    start = k + 1;
  }
}

// INSERT ... SELECT: a 0 (or null) the query gives for the serial asks
// for the next serial, as in VALUES. `select` is the sig index of SELECT,
// `position` the serial's place among the query's items.
void Translator::serial_from_query(size_t select, int position, const std::string& serial_col) {
  size_t start = select + 1;
  while (is(start, "DISTINCT") || is(start, "UNIQUE") || is(start, "ALL")) ++start;
  if (is(start, "FIRST") && start + 1 < sig_.size() && tok(start + 1).kind == Tok::Number) start += 2;
  int item = 0;
  for (size_t k = start; k < sig_.size(); ++k) {
    const bool ends = depth_[k] == 0 && (punct(k, ",") || is(k, "FROM"));
    if (!ends) continue;
    if (item == position && k > start) {
      r_.takes_serials = true;
      // The item's alias, if any, stays after it.
      size_t last = k - 1;
      if (last > start && tok(last).kind == Tok::Word && is(last - 1, "AS")) last -= 2;
      if (target_ == Backend::Sqlite) {
        o(start) = "NULLIF(" + o(start);
        o(last) += ",0)";
      } else {
        o(start) = "COALESCE(NULLIF(" + o(start);
        o(last) +=
            ",0),nextval(pg_get_serial_sequence(" + quote_literal(r_.table) + "," + quote_literal(serial_col) + ")))";
      }
      return;
    }
    if (is(k, "FROM")) return;
    ++item;
    start = k + 1;
  }
}

}  // namespace rt::sql::dialect
