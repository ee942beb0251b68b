// Measures the search list window; prints medians and ratios, asserts
// nothing.
//
// For each back end (the embedded one always, PostgreSQL when a throwaway
// server starts): the time findit() takes from the operator's Return on a
// blank search text to the list shown (the window drawn, the rows loaded,
// the list waiting for a key), over a table of a million rows that all
// match and over a table of 250 rows; both lists stop at 200 rows. Beside
// it, the back end's own C API delivering the first 200 rows of the same
// search, in the same run; and, for comparison, the SQL layer's forward
// cursor read without the unit of work that findit puts around its load.
//
// Usage: findit_bench [--quick]   (--quick: 100 thousand rows, fewer rounds)
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/runtime.h"
#include "findit.h"
#include "pg_server.h"
#include "screen/fake_terminal.h"
#include "screen/ui.h"
#include "sql/sql.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace sql = rt::sql;
namespace ui = rt::ui;

bool quick = false;
long big_rows() { return quick ? 100000 : 1000000; }
constexpr long kSmallRows = 250;
int rounds() { return quick ? 5 : 21; }

double ms_since(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "findit_bench: %s (status %d %s)\n", what.c_str(), rt::status,
               sql::last_error_message().c_str());
  std::exit(1);
}

std::string search_sql(const std::string& table) {
  return "select lk_code, lk_text from " + table + " where lk_text matches ?";
}

// One findit() on a blank search text: Return, then the list; the moment
// the list waits for its first key ends the measurement, and Esc chooses.
double time_findit(const std::string& table) {
  ui::FakeTerminal* t = ui::install_fake_terminal();
  double shown = 0;
  Clock::time_point t0;
  t->when_idle([&](ui::FakeTerminal& f) {
    shown = ms_since(t0);
    f.push(ui::key::kEsc);
  });
  t->push(ui::key::kReturn);
  t0 = Clock::now();
  std::optional<std::string> code = findit(search_sql(table));
  if (!code || mv_cnt != 1 || ui::arr_count() != kFinditRows) die("findit did not list 200 rows of " + table);
  return shown;
}

// The first 200 rows through the SQL layer's forward cursor, with no unit
// of work around it.
double time_bare_cursor(const std::string& table) {
  auto t0 = Clock::now();
  sql::Cursor cur;
  sql::declare(cur, search_sql(table), false);
  sql::open(cur, {rt::Value::of_char("*", 1)});
  rt::Value code(rt::char_t(30)), text(rt::char_t(60));
  for (int k = 0; k < 200; ++k) sql::fetch_next(cur, {&code, &text});
  sql::close(cur);
  sql::free_cursor(cur);
  return ms_since(t0);
}

void create_tables() {
  for (const char* t : {"lk_big", "lk_small"}) {
    sql::execute(std::string("create table ") + t + " (lk_code char(10), lk_text char(60))");
    if (rt::status < 0) die("create table");
  }
}

// What the back end's own C API needs for the first 200 rows.
using FirstRows = std::function<void(const std::string& table)>;

void report(const char* backend, const FirstRows& raw) {
  std::vector<double> big, small, api_big, api_small;
  time_findit("lk_big");  // warm up both paths
  raw("lk_big");
  for (int r = 0; r < rounds(); ++r) {
    big.push_back(time_findit("lk_big"));
    small.push_back(time_findit("lk_small"));
    auto t0 = Clock::now();
    raw("lk_big");
    api_big.push_back(ms_since(t0));
    t0 = Clock::now();
    raw("lk_small");
    api_small.push_back(ms_since(t0));
  }
  const double b = median(big), s = median(small), ab = median(api_big), as = median(api_small);
  std::printf("== %s, %d rounds, medians\n", backend, rounds());
  std::printf("   list shown, %7ld rows:  %8.2f ms   (C API, first 200 rows: %8.2f ms)\n", big_rows(), b, ab);
  std::printf("   list shown, %7ld rows:  %8.2f ms   (C API, first 200 rows: %8.2f ms)\n", kSmallRows, s, as);
  std::printf("   ratio big/small table: findit %.2f, C API %.2f\n", b / s, ab / as);
  std::printf("   ratio findit/C API:    big table %.2f, small table %.2f\n", b / ab, s / as);

  // What findit's unit of work avoids: the SQL layer's forward cursor read
  // outside a transaction (3 rounds: on PostgreSQL it reads the table).
  std::vector<double> bare_big, bare_small;
  for (int r = 0; r < 3; ++r) {
    bare_big.push_back(time_bare_cursor("lk_big"));
    bare_small.push_back(time_bare_cursor("lk_small"));
  }
  const double bb = median(bare_big), bs = median(bare_small);
  std::printf("   first 200 rows through a cursor outside a transaction: %.2f ms and %.2f ms (ratio %.2f)\n", bb, bs,
              bb / bs);
}

void bench_sqlite(const std::string& dir) {
  const std::string path = dir + "/findit.db";
  setenv("LUNADESK_DB", path.c_str(), 1);
  unsetenv("A4GL_SQLTYPE");
  std::string why;
  if (!sql::try_connect("lunadesk", &why, {rt::read_settings(rt::host()), true})) die(why);
  create_tables();
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) die("sqlite3_open");
  sqlite3_busy_timeout(db, 5000);
  for (auto [table, n] : {std::pair{"lk_big", big_rows()}, std::pair{"lk_small", kSmallRows}}) {
    const std::string fill = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                             std::to_string(n) + ") INSERT INTO " + table +
                             " SELECT printf('C%07d', i), printf('Item %07d', i) FROM n";
    if (sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) die(sqlite3_errmsg(db));
  }
  report("SQLite", [&](const std::string& table) {
    sqlite3_stmt* st = nullptr;
    const std::string q = "SELECT lk_code, lk_text FROM " + table + " WHERE upper(lk_text) GLOB ?";
    sqlite3_prepare_v2(db, q.c_str(), -1, &st, nullptr);
    sqlite3_bind_text(st, 1, "*", -1, SQLITE_STATIC);
    std::string code, text;
    for (int k = 0; k < 200 && sqlite3_step(st) == SQLITE_ROW; ++k) {
      code.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
      text.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    }
    sqlite3_finalize(st);
  });
  sqlite3_close_v2(db);
  sql::disconnect();
}

void bench_pg() {
  lunadesk::testing::ScopedDatabase pgdb(lunadesk::testing::Db::Postgres);
  if (!pgdb.ready()) {
    std::printf("== PostgreSQL skipped: %s\n", pgdb.reason().c_str());
    return;
  }
  std::string why;
  if (!sql::try_connect("lunadesk", &why, {rt::read_settings(rt::host())})) die(why);
  create_tables();
  const std::string opts = "-c search_path=" + pgdb.where();
  const char* keys[] = {"dbname", "options", nullptr};
  const char* vals[] = {"lunadesk", opts.c_str(), nullptr};
  PGconn* c = PQconnectdbParams(keys, vals, 0);
  if (PQstatus(c) != CONNECTION_OK) die("raw libpq connect");
  for (auto [table, n] : {std::pair{"lk_big", big_rows()}, std::pair{"lk_small", kSmallRows}}) {
    const std::string fill = std::string("INSERT INTO ") + table +
                             " SELECT 'C' || lpad(i::text, 7, '0'), 'Item ' || lpad(i::text, 7, '0')"
                             " FROM generate_series(1, " +
                             std::to_string(n) + ") i; ANALYZE " + table;
    PGresult* r = PQexec(c, fill.c_str());
    if (PQresultStatus(r) != PGRES_COMMAND_OK) die(PQresultErrorMessage(r));
    PQclear(r);
  }
  report("PostgreSQL", [&](const std::string& table) {
    // A plain cursor in a transaction: the server delivers rows as they
    // are fetched.
    PQclear(PQexec(c, "BEGIN"));
    const std::string q =
        "DECLARE b NO SCROLL CURSOR FOR SELECT lk_code, lk_text FROM " + table + " WHERE upper(lk_text) ~ $1";
    const char* v[1] = {"^.*$"};
    PQclear(PQexecParams(c, q.c_str(), 1, nullptr, v, nullptr, nullptr, 0));
    PGresult* r = PQexec(c, "FETCH FORWARD 200 FROM b");
    if (PQntuples(r) != 200) die("the C API fetch");
    PQclear(r);
    PQclear(PQexec(c, "CLOSE b"));
    PQclear(PQexec(c, "COMMIT"));
  });
  PQfinish(c);
  sql::disconnect();
}

}  // namespace

int main(int argc, char** argv) {
  rt::set_args(argc, argv);
  for (int i = 1; i < argc; ++i) quick = quick || std::strcmp(argv[i], "--quick") == 0;
  char templ[] = "/tmp/findit-bench.XXXXXX";
  const char* dir = mkdtemp(templ);
  if (!dir) return 1;
  bench_sqlite(dir);
  bench_pg();
  ui::stop();
  const std::string rm = std::string("rm -rf ") + dir;  // our own temporary directory
  if (std::system(rm.c_str()) != 0) std::fprintf(stderr, "findit_bench: could not remove %s\n", dir);
  return 0;
}
