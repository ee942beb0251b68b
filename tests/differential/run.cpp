// Runs corpus records through the SQL layer and the back ends' own client
// libraries. See run.h.
#include "run.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>

#include "core/runtime.h"
#include "qbe/criteria.h"
#include "sql/sql.h"

namespace lunadesk::differential {

using lunadesk::testing::Db;
using lunadesk::testing::ScopedDatabase;

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool starts_word(const std::string& text, const char* word) {
  const std::string t = lower(collapse(text));
  return t.rfind(word, 0) == 0;
}

// Replaces each {{COLUMN TYPE CRITERIA}} by the builder's condition; an
// error of the builder becomes the answer.
bool expand_criteria(const std::string& text, std::string* out, std::string* error) {
  out->clear();
  size_t pos = 0;
  for (;;) {
    const size_t open = text.find("{{", pos);
    if (open == std::string::npos) break;
    const size_t close = text.find("}}", open);
    if (close == std::string::npos) {
      *error = "unclosed {{";
      return false;
    }
    *out += text.substr(pos, open - pos);
    const std::string inner = text.substr(open + 2, close - open - 2);
    const size_t a = inner.find(' ');
    const size_t b = a == std::string::npos ? a : inner.find(' ', a + 1);
    rt::Type type;
    if (b == std::string::npos || !parse_type(inner.substr(a + 1, b - a - 1), &type)) {
      *error = "unreadable criteria placeholder {{" + inner + "}}";
      return false;
    }
    const rt::qbe::Condition c =
        rt::qbe::field_condition(inner.substr(0, a), type, inner.substr(b + 1), rt::DateFormat::current());
    if (!c.ok) {
      *error = "criteria error " + std::to_string(c.error_code);
      return false;
    }
    *out += c.text.empty() ? "1=1" : c.text;
    pos = close + 2;
  }
  *out += text.substr(pos);
  return true;
}

}  // namespace

std::string render_value(const rt::Value& v) {
  if (v.is_null()) return "NULL";
  if (v.type().kind == rt::Kind::Char) return "'" + v.str() + "'";
  return v.str();
}

namespace {

std::string error_answer() { return "error " + std::to_string(rt::status); }

// Straight through the back end's own client library.
class NativeClient {
 public:
  NativeClient(Db which, const std::string& where) : which_(which) {
    if (which == Db::Sqlite) {
      if (sqlite3_open_v2(where.c_str(), &lite_, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
        sqlite3_busy_timeout(lite_, 5000);
    } else {
      pg_ = PQconnectdb("dbname=lunadesk");  // the test's schema through PGOPTIONS
    }
  }
  ~NativeClient() {
    if (lite_) sqlite3_close_v2(lite_);
    if (pg_) PQfinish(pg_);
  }
  NativeClient(const NativeClient&) = delete;
  NativeClient& operator=(const NativeClient&) = delete;

  std::string run(const std::string& sql) {
    if (which_ == Db::Sqlite) {
      char* msg = nullptr;
      const int rc = sqlite3_exec(lite_, sql.c_str(), nullptr, nullptr, &msg);
      const std::string m = msg ? msg : "";
      sqlite3_free(msg);
      return rc == SQLITE_OK ? "ok" : "native error: " + m;
    }
    PGresult* r = PQexec(pg_, sql.c_str());
    const ExecStatusType st = PQresultStatus(r);
    const std::string m = PQresultErrorMessage(r);
    PQclear(r);
    return st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK ? "ok" : "native error: " + m;
  }

 private:
  Db which_;
  sqlite3* lite_ = nullptr;
  PGconn* pg_ = nullptr;
};

}  // namespace

std::string show(const Answer& a) {
  std::string s;
  for (const std::string& l : a.lines) s += (s.empty() ? "" : " ; ") + l;
  return s.empty() ? "(no rows)" : s;
}

namespace {

std::vector<rt::Value> values_of(const std::vector<Param>& ps) {
  std::vector<rt::Value> out;
  for (const Param& p : ps) {
    rt::Value v(p.type);
    if (!p.null) v.set_text(p.text);
    out.push_back(v);
  }
  return out;
}

Answer run_statement(const Record& r, const std::string& text) {
  using namespace rt::sql;
  Answer a;
  Statement s;
  prepare(s, text);
  if (rt::status < 0) {
    a.lines.push_back(error_answer());
    return a;
  }
  execute(s, values_of(r.params));
  if (rt::status < 0) {
    a.lines.push_back(error_answer());
    return a;
  }
  std::string line = rt::status == 100 ? "no row" : "ok";
  const bool insert = starts_word(text, "insert");
  const bool update = starts_word(text, "update") && !starts_word(text, "update statistics");
  if (insert || update || starts_word(text, "delete")) line += " rows=" + std::to_string(rows_processed());
  if (insert) {
    const long serial = last_serial();
    line += " serial=" + (r.serials_held >= 0 && serial > r.serials_held ? "above" : std::to_string(serial));
  }
  a.lines.push_back(line);
  return a;
}

Answer run_query(const Record& r, const std::string& text) {
  using namespace rt::sql;
  Answer a;
  Statement s;
  prepare(s, text);
  Cursor c;
  if (rt::status >= 0) declare(c, s, false);
  if (rt::status >= 0) open(c, values_of(r.params));
  if (rt::status < 0) {
    a.lines.push_back(error_answer());
    return a;
  }
  std::vector<rt::Value> row;
  for (const rt::Type& t : r.columns) row.emplace_back(t);
  Into into;
  for (rt::Value& v : row) into.push_back(&v);
  for (int n = 0;; ++n) {
    for (rt::Value& v : row) v.set_null();
    fetch_next(c, into);
    if (rt::status == 100) break;
    if (rt::status < 0 || n > 10000) {
      // A query stopped by an error answers with the error alone: the rows
      // delivered before it depend on the order each back end reads rows in
      // (SQLite may give an outer join's row of nulls first, PostgreSQL
      // none), which is no part of the answer.
      if (rt::status < 0) a.lines.clear();
      if (!r.ordered) std::sort(a.lines.begin(), a.lines.end());
      a.lines.push_back(rt::status < 0 ? error_answer() : "(more than 10000 rows)");
      close(c);
      return a;
    }
    std::string line;
    for (size_t k = 0; k < row.size(); ++k) line += (k ? " | " : "") + render_value(row[k]);
    a.lines.push_back(line);
  }
  close(c);
  if (!r.ordered) std::sort(a.lines.begin(), a.lines.end());
  return a;
}

}  // namespace

std::vector<Answer> run_all(Db which, const std::vector<Record>& records, std::string* why) {
  std::vector<Answer> answers(records.size());
  ScopedDatabase db(which);
  if (!db.ready()) {
    *why = db.reason();
    return {};
  }
  if (!rt::sql::try_connect("lunadesk", why, {db.settings()})) return {};
  const rt::DateFormat saved_format = rt::DateFormat::set_current(rt::DateFormat());
  {
    rt::sql::ContinueOnError scope;
    NativeClient native(which, db.where());
    const std::string me = which == Db::Sqlite ? "sqlite" : "pg";
    for (size_t i = 0; i < records.size(); ++i) {
      const Record& r = records[i];
      Answer& a = answers[i];
      if (r.kind == RecordKind::DbDate) {
        rt::DateFormat::set_current(rt::DateFormat::from_dbdate(r.text));
        continue;
      }
      if (r.kind == RecordKind::Native) {
        if (r.native_for.empty() || r.native_for == me) {
          a.lines.push_back(native.run(r.text));
          a.setup_failed = a.lines.back() != "ok";
          if (!r.native_for.empty()) a.lines.back() = "ok";  // one side only: compared by what follows
        }
        continue;
      }
      std::string text, error;
      if (!expand_criteria(r.text, &text, &error)) {
        a.lines.push_back(error);
        continue;
      }
      a = r.kind == RecordKind::Query ? run_query(r, text) : run_statement(r, text);
      if (r.kind == RecordKind::Setup && rt::status < 0) {
        a.setup_failed = true;
        a.lines.push_back(rt::sql::last_error_message());
      }
    }
  }
  rt::sql::disconnect();
  rt::DateFormat::set_current(saved_format);
  return answers;
}

}  // namespace lunadesk::differential
