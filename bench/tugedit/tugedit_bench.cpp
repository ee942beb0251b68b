// How long the operator waits, on each back end, for the two heavy screens
// of the tax use group program: a group row with 200 links (Previous from a
// row without links), and the list of 200 tax tables when a Change leaves
// the description. Times run from the key to the last thing drawn, through
// a real pseudo-terminal. Printed: medians of 21 runs, the ratio to the
// lower bound measured in the same run (the back end's own C API running
// the queries behind that screen and reading every value), and the share
// of the 50 ms budget. Meant for a build without sanitizers.
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/settings.h"
#include "e2e/terminal.h"
#include "pg_server.h"
#include "schema.h"
#include "sql/sql.h"

using lunadesk::testing::Db;
using rt::Value;
namespace sql = rt::sql;

namespace {

constexpr int kRuns = 21;
constexpr int kRows = 200;
constexpr double kBudgetMs = 50;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void seed() {
  sql::begin_work();
  sql::execute("INSERT INTO inv_classes VALUES ('TX1', 'T', 'Taxable goods')");
  std::vector<long> trns;
  for (int i = 1; i <= kRows; ++i) {
    char code[6];
    std::snprintf(code, sizeof code, "T%03d", i);
    sql::execute("INSERT INTO tx_table VALUES (?, '1', 'WHERE', 0.0125, ?, 'Y', 'Generated', 0)",
                 {Value::of_char(code, 5), Value::of_date(*rt::Date::parse_iso("2026-01-01"))});
    trns.push_back(sql::last_serial());
  }
  sql::execute("INSERT INTO tx_use_g VALUES ('A200', 'TX1', 'Two hundred links', 0)");
  const long a = sql::last_serial();
  if (a != 1) {
    std::fprintf(stderr, "the group row got link %ld, the lower-bound queries expect 1\n", a);
    std::exit(1);
  }
  sql::execute("INSERT INTO tx_use_g VALUES ('B000', 'TX1', 'No links', 0)");
  for (long trn : trns)
    sql::execute("INSERT INTO tx_use_link VALUES (?, ?, 'SCH')", {Value::of_int(a), Value::of_int(trn)});
  sql::commit_work();
}

// The queries behind the two screens, in each back end's own dialect.
// The group with 200 links is the first row stored in tx_use_g: link 1.
constexpr const char* kLinks =
    "SELECT tx_use_link.tul_sched, tx_table.tt_code, tx_table.tt_level, tx_table.tt_where, tx_table.tt_rate, "
    "tx_table.tt_date, tx_table.tt_charge, tx_table.tt_descr, tx_table.tt_trn FROM tx_use_link, tx_table "
    "WHERE tx_use_link.tul_trn = tx_table.tt_trn AND tx_use_link.tul_link = 1";
constexpr const char* kClass = "SELECT icl_desc FROM inv_classes WHERE icl_code = 'TX1' AND icl_type = 'T'";
constexpr const char* kAllTax =
    "SELECT '', tt_code, tt_level, tt_where, tt_rate, tt_date, tt_charge, tt_descr, tt_trn FROM tx_table "
    "ORDER BY tt_level, tt_where, tt_code";
constexpr const char* kSchedules = "SELECT tul_trn, tul_sched FROM tx_use_link WHERE tul_link = 1";

volatile std::size_t sink = 0;  // keeps the reads from being optimised away

double ms_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Median time of running `queries` and reading every value, through the
// back end's C API on the database the environment names.
double lower_bound(Db which, const std::string& file, const std::vector<const char*>& queries) {
  std::vector<double> t;
  if (which == Db::Sqlite) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) return 0;
    for (int i = 0; i < kRuns; ++i) {
      auto t0 = std::chrono::steady_clock::now();
      std::size_t bytes = 0;
      for (const char* q : queries) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, q, -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
          for (int c = 0; c < sqlite3_column_count(st); ++c)
            bytes += static_cast<std::size_t>(sqlite3_column_bytes(st, c));
        sqlite3_finalize(st);
      }
      t.push_back(ms_since(t0));
      sink = sink + bytes;
    }
    sqlite3_close(db);
  } else {
    PGconn* c = PQconnectdb("dbname=lunadesk");
    if (PQstatus(c) != CONNECTION_OK) return 0;
    for (int i = 0; i < kRuns; ++i) {
      auto t0 = std::chrono::steady_clock::now();
      for (const char* q : queries) {
        PGresult* r = PQexecParams(c, q, 0, nullptr, nullptr, nullptr, nullptr, 0);
        for (int row = 0; row < PQntuples(r); ++row)
          for (int col = 0; col < PQnfields(r); ++col) sink = sink + static_cast<std::size_t>(PQgetlength(r, row, col));
        PQclear(r);
      }
      t.push_back(ms_since(t0));
    }
    PQfinish(c);
  }
  return median(t);
}

bool blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// Time from one key to the screen state `done`.
template <class Done>
double timed(e2e::Terminal& t, const char* key, Done done) {
  t.wait_settled(30);
  auto m = t.mark();
  t.key(key);
  if (!t.wait_until(done, 10000)) {
    std::fprintf(stderr, "the screen never showed the result of %s\n%s\n", key, t.dump().c_str());
    std::exit(1);
  }
  return t.ms_since(m);
}

void run(Db which) {
  const char* name = which == Db::Sqlite ? "sqlite" : "postgres";
  lunadesk::testing::ScopedDatabase db(which);
  if (!db.ready()) {
    std::printf("%-8s skipped: %s\n", name, db.reason().c_str());
    return;
  }
  std::string error;
  lunadesk::db::SchemaReport report;
  if (!sql::try_connect("lunadesk", &error, {rt::read_settings(rt::host())}) ||
      !lunadesk::db::create_schema(&report, &error)) {
    std::printf("%-8s skipped: %s\n", name, error.c_str());
    return;
  }
  seed();

  e2e::Options opt;
  opt.argv = {std::string(LUNADESK_BIN_DIR) + "/tugedit"};
  for (const char* v : {"A4GL_SQLTYPE", "LUNADESK_DB", "PGHOST", "PGPORT", "PGUSER", "PGOPTIONS", "DBDATE"})
    if (const char* val = std::getenv(v)) opt.env[v] = val;
  opt.cwd = db.dir();
  e2e::Terminal t(opt);
  t.wait_for("Tax Use Group Maintenance");
  t.wait_settled(50);
  t.key("f");
  t.wait_for("Ctrl-W: Help");
  t.key("esc");
  t.wait_for_at(5, 17, "A200");

  std::vector<double> none, many, change;
  for (int i = 0; i < kRuns; ++i) {
    none.push_back(timed(t, "n", [&] { return t.text_at(5, 17, 4) == "B000" && t.text_at(2, 1, 5) == "Code:"; }));
    many.push_back(timed(t, "p", [&] { return t.text_at(5, 17, 4) == "A200" && !blank(t.text_at(20, 10, 5)); }));
  }
  for (int i = 0; i < kRuns; ++i) {
    t.key("c");
    t.wait_cursor(7, 17);
    change.push_back(timed(
        t, "enter", [&] { return t.row(23).rfind("Enter the tax schedule", 0) == 0 && !blank(t.text_at(20, 10, 5)); }));
    t.key("ctrl-c");
    t.wait_for_at(2, 1, "Code:");
  }
  t.key("e");
  t.wait_exit();
  sql::disconnect();

  const double low_many = lower_bound(which, db.where(), {kLinks, kClass});
  const double low_change = lower_bound(which, db.where(), {kSchedules, kAllTax});
  const double m_none = median(none), m_many = median(many), m_change = median(change);
  std::printf("%-8s row without links          median %6.2f ms\n", name, m_none);
  std::printf("%-8s row with 200 links         median %6.2f ms  C API %5.2f ms  x%5.1f  %.2f of the budget\n", name,
              m_many, low_many, m_many / low_many, m_many / kBudgetMs);
  std::printf("%-8s Change, 200 tax tables     median %6.2f ms  C API %5.2f ms  x%5.1f  %.2f of the budget\n", name,
              m_change, low_change, m_change / low_change, m_change / kBudgetMs);
}

}  // namespace

int main() {
  run(Db::Sqlite);
  run(Db::Postgres);
  return 0;
}
