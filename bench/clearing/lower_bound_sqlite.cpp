// The lower bound on the embedded back end: the clearing statements through
// sqlite3 in one transaction (see lower_bound.h).
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "itemsclr.h"
#include "lower_bound.h"
#include "receivables.h"
#include "sql/sqlite_functions.h"
#include "values/date.h"

namespace bench {
namespace {

void check(int rc, sqlite3* db, std::string_view what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

// With BENCH_STEPS set in the environment, the time of each step since the
// last goes to the standard error stream.
void step_done(std::string_view what) {
  static auto last = std::chrono::steady_clock::now();
  const auto now = std::chrono::steady_clock::now();
  if (std::getenv("BENCH_STEPS"))
    std::fprintf(stderr, "%9.3f s  %.70s\n", std::chrono::duration<double>(now - last).count(),
                 std::string(what).c_str());
  last = now;
}

void exec(sqlite3* db, std::string_view dialect_text) {
  const std::string text = translated(dialect_text, false);
  check(sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr), db, text);
  step_done(text);
}

sqlite3_stmt* prepare(sqlite3* db, std::string_view dialect_text) {
  const std::string text = translated(dialect_text, false);
  sqlite3_stmt* st = nullptr;
  check(sqlite3_prepare_v3(db, text.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr), db, text);
  return st;
}

// With BENCH_PLANS set in the environment, the query plan of a statement
// on the standard error stream.
void show_plan(sqlite3* db, std::string_view dialect_text) {
  if (!std::getenv("BENCH_PLANS")) return;
  const std::string text = translated(dialect_text, false);
  std::fprintf(stderr, "-- %.100s\n", text.c_str());
  sqlite3_stmt* st = nullptr;
  check(sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + text).c_str(), -1, &st, nullptr), db, text);
  while (sqlite3_step(st) == SQLITE_ROW)
    std::fprintf(stderr, "   %d %d %s\n", sqlite3_column_int(st, 0), sqlite3_column_int(st, 1),
                 reinterpret_cast<const char*>(sqlite3_column_text(st, 3)));
  sqlite3_finalize(st);
}

}  // namespace

RunResult lower_bound_sqlite(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
    throw std::runtime_error("cannot open " + path);
  sqlite3_busy_timeout(db, 5000);
  check(rt::sql::detail::register_sqlite_functions(db), db, "registering the exact aggregates");
  // The connection's page memory as the embedded back end sets it.
  check(sqlite3_exec(db, rt::sql::detail::kSessionMemory, nullptr, nullptr, nullptr), db, "the page memory");

  std::string why;
  const std::optional<ClearPlan> plan = plan_clearing(*rt::Date::parse_iso(kEndDateIso), kEndDateCondition, &why);
  if (!plan) throw std::runtime_error(why);
  const ClearStatements& s = clearing_statements();

  RunResult r;
  const auto t0 = std::chrono::steady_clock::now();
  check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), db, "BEGIN");
  step_done("BEGIN IMMEDIATE");
  exec(db, plan->items_sql);
  exec(db, s.index_invoices);
  exec(db, s.index_items);
  // The program's test for amounts that are no number: one sum over the
  // gathered items (itemsclr_run.cpp), which finds none here.
  exec(db, s.bad_amounts);
  exec(db, s.neg_types);
  exec(db, s.index_types);
  show_plan(db, s.sign);
  exec(db, s.sign);
  show_plan(db, s.match);
  show_plan(db, s.remove);
  sqlite3_stmt* match = prepare(db, s.match);
  sqlite3_stmt* del = prepare(db, s.remove);
  r.matched = 0;
  int rc;
  while ((rc = sqlite3_step(match)) == SQLITE_ROW) {
    const sqlite3_int64 cust = sqlite3_column_int64(match, 0);
    const sqlite3_int64 inv = sqlite3_column_int64(match, 1);
    sqlite3_bind_int64(del, 1, cust);
    sqlite3_bind_int64(del, 2, inv);
    sqlite3_bind_int64(del, 3, cust);
    sqlite3_bind_int64(del, 4, inv);
    check(sqlite3_step(del), db, "DELETE");
    sqlite3_reset(del);
    ++r.matched;
    r.deleted += sqlite3_changes(db);
  }
  check(rc, db, "the matched invoices");
  step_done("the matched invoices, each with its DELETE");
  sqlite3_finalize(match);
  sqlite3_finalize(del);
  exec(db, plan->update_sql);
  check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "COMMIT");
  step_done("COMMIT");
  exec(db, "UPDATE STATISTICS");
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  sqlite3_close(db);
  return r;
}

}  // namespace bench
