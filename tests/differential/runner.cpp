// The differential runner: each corpus file runs on a fresh embedded
// database and on a fresh PostgreSQL database, and every statement and
// query must answer the same on both: the same rows (sorted, unless the
// case orders them), the same status and error number, the same rows
// touched and serial assigned. A difference fails the file's test and
// prints both answers, unless the corpus lists it (corpus.h).
//
// LUNADESK_DIFF_REPORT=path appends one line per difference found, listed
// or not, tab-separated: file:line, group, listing, text, both answers.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "core/runtime.h"
#include "corpus.h"
#include "pg_server.h"
#include "qbe/criteria.h"
#include "sql/sql.h"

namespace lunadesk::differential {
namespace {

using lunadesk::testing::Db;
using lunadesk::testing::ScopedDatabase;

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

std::string render(const rt::Value& v) {
  if (v.is_null()) return "NULL";
  if (v.type().kind == rt::Kind::Char) return "'" + v.str() + "'";
  return v.str();
}

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

struct Answer {
  std::vector<std::string> lines;
  bool setup_failed = false;
  friend bool operator==(const Answer& a, const Answer& b) { return a.lines == b.lines; }
};

std::string show(const Answer& a) {
  std::string s;
  for (const std::string& l : a.lines) s += (s.empty() ? "" : " ; ") + l;
  return s.empty() ? "(no rows)" : s;
}

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
  if (insert || update || starts_word(text, "delete"))
    line += " rows=" + std::to_string(rows_processed());
  if (insert) line += " serial=" + std::to_string(last_serial());
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
      if (!r.ordered) std::sort(a.lines.begin(), a.lines.end());
      a.lines.push_back(rt::status < 0 ? error_answer() : "(more than 10000 rows)");
      close(c);
      return a;
    }
    std::string line;
    for (size_t k = 0; k < row.size(); ++k) line += (k ? " | " : "") + render(row[k]);
    a.lines.push_back(line);
  }
  close(c);
  if (!r.ordered) std::sort(a.lines.begin(), a.lines.end());
  return a;
}

// Runs every record on one back end; one answer per record.
std::vector<Answer> run_all(Db which, const Corpus& corpus, std::string* why) {
  std::vector<Answer> answers(corpus.records.size());
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
    for (size_t i = 0; i < corpus.records.size(); ++i) {
      const Record& r = corpus.records[i];
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

std::string corpus_dir() { return CORPUS_DIR; }

std::vector<std::string> corpus_files() {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(corpus_dir())) {
    if (e.path().extension() == ".test") files.push_back(e.path().filename().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class Differential : public ::testing::TestWithParam<std::string> {};

TEST_P(Differential, SameAnswerOnBothBackEnds) {
  Corpus corpus = read_corpus(corpus_dir() + "/" + GetParam());
  for (const std::string& e : corpus.errors) ADD_FAILURE() << e;
  ASSERT_TRUE(corpus.errors.empty());

  std::string why;
  const std::vector<Answer> lite = run_all(Db::Sqlite, corpus, &why);
  ASSERT_FALSE(lite.empty()) << "embedded back end: " << why;
  const std::vector<Answer> pg = run_all(Db::Postgres, corpus, &why);
  if (pg.empty()) {
    if (lunadesk::testing::in_ci()) FAIL() << why;
    GTEST_SKIP() << why;
  }

  std::ofstream report;
  if (const char* path = std::getenv("LUNADESK_DIFF_REPORT")) report.open(path, std::ios::app);
  int cases = 0, differ = 0, pending = 0, decided = 0;
  std::map<std::string, int> by_group;
  for (size_t i = 0; i < corpus.records.size(); ++i) {
    const Record& r = corpus.records[i];
    if (r.kind == RecordKind::DbDate) continue;
    const std::string where = r.file + ":" + std::to_string(r.line);
    if (r.kind == RecordKind::Setup || r.kind == RecordKind::Native) {
      if (lite[i].setup_failed) ADD_FAILURE() << where << ": setup failed on the embedded back end: " << show(lite[i]);
      if (pg[i].setup_failed) ADD_FAILURE() << where << ": setup failed on PostgreSQL: " << show(pg[i]);
      continue;
    }
    ++cases;
    if (lite[i] == pg[i]) continue;
    ++differ;
    ++by_group[r.group];
    auto known = corpus.known.find(collapse(r.text));
    std::string listing = "new";
    if (known != corpus.known.end()) {
      known->second.seen = true;
      listing = known->second.pending ? "pending " + known->second.owner : "decided";
      (known->second.pending ? pending : decided)++;
    } else {
      ADD_FAILURE() << where << " [" << r.group << "]: the back ends answer differently\n  " << collapse(r.text)
                    << "\n  embedded:   " << show(lite[i]) << "\n  PostgreSQL: " << show(pg[i]);
    }
    if (report) {
      report << where << '\t' << r.group << '\t' << listing << '\t' << collapse(r.text) << '\t' << show(lite[i])
             << '\t' << show(pg[i]) << '\n';
    }
  }
  for (const auto& [text, k] : corpus.known) {
    if (!k.seen) {
      std::printf("%s:%d: listed difference no longer seen (remove it): %s\n", GetParam().c_str(), k.line,
                  text.c_str());
    }
  }
  std::printf("%s: %d statements and queries, %d differ (%d pending, %d decided, %d new)\n", GetParam().c_str(), cases, differ,
              pending, decided, differ - pending - decided);
  for (const auto& [g, n] : by_group) std::printf("  %-24s %d\n", g.c_str(), n);
}

std::string file_name(const ::testing::TestParamInfo<std::string>& info) {
  std::string n = info.param.substr(0, info.param.rfind('.'));
  for (char& c : n) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return n;
}

INSTANTIATE_TEST_SUITE_P(Corpus, Differential, ::testing::ValuesIn(corpus_files()), file_name);

}  // namespace
}  // namespace lunadesk::differential
