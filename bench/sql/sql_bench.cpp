// Measures the SQL layer; prints medians and ratios, asserts nothing.
//
// 1. Scroll cursors on the embedded back end over 10 thousand, 100
//    thousand and a million rows: the time from the open to the first row
//    (it must not grow with the size: the layer reads lazily) and the cost
//    of one further fetch (it must not grow either).
// 2. The layer's cost per executed statement, prepared once and executed
//    many times, beside the back end's own C API doing the same work in the
//    same run: SQLite always, PostgreSQL when a throwaway server starts.
// 3. On PostgreSQL, what a Find costs when the browse's second session
//    was let go of after its idle time and is opened again.
//
// Usage: sql_bench [--quick]   (--quick: fewer rows and rounds)
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "core/runtime.h"
#include "pg_server.h"
#include "pq_answer.h"
#include "sql/sql.h"
#include "sql/translate.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace sql = rt::sql;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

bool quick = false;

void die(const char* what) {
  std::fprintf(stderr, "sql_bench: %s failed: status %d %s\n", what, rt::status, sql::last_error_message().c_str());
  std::exit(1);
}

void must(const char* what) {
  if (rt::status < 0) die(what);
}

// Fills table big with n rows (serial key, name, amount) in one unit of work.
void fill(long n) {
  sql::execute("create table big (id serial not null, name char(20), amt decimal(10,2))");
  must("create");
  sql::Statement ins;
  sql::prepare(ins, "insert into big values (0, ?, ?)");
  must("prepare insert");
  sql::begin_work();
  for (long i = 1; i <= n; ++i) {
    sql::execute(ins, {rt::Value::of_char("name " + std::to_string(i), 20),
                       rt::Value::of_decimal(rt::Decimal::from_int(i % 1000), rt::decimal_t(10, 2))});
    if (rt::status < 0) die("insert");
  }
  sql::commit_work();
  must("commit");
}

void scroll_cursors(const std::string& dir) {
  std::printf("== Scroll cursor on the embedded back end (medians)\n");
  std::printf("%10s %16s %16s %18s\n", "rows", "open+1st row us", "next fetch ns", "previous fetch ns");
  double base_first = 0, base_next = 0;
  const std::vector<long> sizes = quick ? std::vector<long>{10000, 100000} : std::vector<long>{10000, 100000, 1000000};
  for (long n : sizes) {
    const std::string path = dir + "/scroll" + std::to_string(n) + ".db";
    setenv("LUNADESK_DB", path.c_str(), 1);
    std::string why;
    if (!sql::try_connect("lunadesk", &why, {rt::read_settings(rt::host()), true})) {
      std::fprintf(stderr, "sql_bench: %s\n", why.c_str());
      std::exit(1);
    }
    fill(n);
    rt::Value id(rt::integer_t()), name(rt::char_t(20)), amt(rt::decimal_t(10, 2));
    const sql::Into into{&id, &name, &amt};
    sql::Cursor c;
    sql::declare(c, "select id, name, amt from big order by id", true);
    must("declare");
    std::vector<double> first, next, prev;
    for (int round = 0; round < 7; ++round) {
      auto t0 = Clock::now();
      sql::open(c);
      sql::fetch(c, sql::Fetch::First, 0, into);
      first.push_back(seconds_since(t0) * 1e6);
      must("first fetch");
      // 20 batches of 500 fetches forward, then the same back.
      for (int b = 0; b < 20; ++b) {
        t0 = Clock::now();
        for (int k = 0; k < 500; ++k) sql::fetch_next(c, into);
        next.push_back(seconds_since(t0) * 1e9 / 500);
      }
      for (int b = 0; b < 20; ++b) {
        t0 = Clock::now();
        for (int k = 0; k < 500; ++k) sql::fetch(c, sql::Fetch::Previous, 1, into);
        prev.push_back(seconds_since(t0) * 1e9 / 500);
      }
      sql::close(c);
    }
    const double f = median(first), nx = median(next);
    if (base_first == 0) {
      base_first = f;
      base_next = nx;
    }
    std::printf("%10ld %16.1f %16.0f %18.0f   (x%.2f, x%.2f of the smallest)\n", n, f, nx, median(prev), f / base_first,
                nx / base_next);
    sql::free_cursor(c);
    sql::disconnect();
  }
}

// Runs `layer` and `raw` alternately, `rounds` times `ops` operations each,
// and prints the medians per operation and their ratio.
// Optional hooks run around each side's round, untimed (a transaction per
// round, so that two connections never wait for each other's locks).
struct Rounds {
  std::function<void()> layer_begin, layer_end, raw_begin, raw_end;
};

void side_by_side(const char* what, int rounds, int ops, const std::function<void(int)>& layer,
                  const std::function<void(int)>& raw, const Rounds& hooks = {}) {
  std::vector<double> a, b;
  auto call = [](const std::function<void()>& f) {
    if (f) f();
  };
  for (int r = -1; r < rounds; ++r) {  // round -1 warms both up
    double ta = 0, tb = 0;
    auto layer_round = [&] {
      call(hooks.layer_begin);
      const auto t0 = Clock::now();
      for (int k = 0; k < ops; ++k) layer(k);
      ta = seconds_since(t0) * 1e9 / ops;
      call(hooks.layer_end);
    };
    auto raw_round = [&] {
      call(hooks.raw_begin);
      const auto t0 = Clock::now();
      for (int k = 0; k < ops; ++k) raw(k);
      tb = seconds_since(t0) * 1e9 / ops;
      call(hooks.raw_end);
    };
    // Which side goes first alternates, so that neither profits from
    // following the other.
    if (r % 2 == 0) {
      layer_round();
      raw_round();
    } else {
      raw_round();
      layer_round();
    }
    if (r >= 0) {
      a.push_back(ta);
      b.push_back(tb);
    }
  }
  const double ma = median(a), mb = median(b);
  std::printf("%-44s layer %8.0f ns   C API %8.0f ns   ratio %.2f\n", what, ma, mb, ma / mb);
}

constexpr long kRows = 10000;

void sqlite_overhead(const std::string& dir) {
  std::printf("== Per-statement cost, prepared once (SQLite, medians)\n");
  const std::string path = dir + "/overhead.db";
  setenv("LUNADESK_DB", path.c_str(), 1);
  std::string why;
  if (!sql::try_connect("lunadesk", &why, {rt::read_settings(rt::host()), true})) die(why.c_str());
  fill(kRows);
  // The C API works on its own file with the same table and rows, so that
  // neither connection ever reloads pages the other one changed.
  const std::string raw_path = dir + "/overhead_raw.db";
  sqlite3* db = nullptr;
  sqlite3_open_v2(raw_path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  const rt::sql::Translation ddl = rt::sql::translate(
      "create table big (id serial not null, name char(20), amt decimal(10,2))", rt::sql::Backend::Sqlite, nullptr);
  sqlite3_exec(db, ddl.text.c_str(), nullptr, nullptr, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  {
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "insert into big values (NULL, ?, ?)", -1, &ins, nullptr);
    for (long i = 1; i <= kRows; ++i) {
      const std::string name = "name " + std::to_string(i);
      sqlite3_bind_text(ins, 1, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int64(ins, 2, i % 1000);
      sqlite3_step(ins);
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  // Short rounds, many of them, alternating: both sides see the same
  // machine (it is shared), and the medians drop the disturbed rounds.
  const int rounds = quick ? 40 : 400, ops = 100;

  // A single-row select by key into three variables.
  sql::Statement sel;
  sql::prepare(sel, "select id, name, amt from big where id = ?");
  rt::Value id(rt::integer_t()), name(rt::char_t(20)), amt(rt::decimal_t(10, 2));
  sqlite3_stmt* rsel = nullptr;
  sqlite3_prepare_v3(db, "select id, name, amt from big where id = ?", -1, SQLITE_PREPARE_PERSISTENT, &rsel, nullptr);
  std::string rname;
  long long rid = 0;
  double ramt = 0;
  side_by_side(
      "select one row by key (select_into)", rounds, ops,
      [&](int k) {
        sql::select_into("select id, name, amt from big where id = ?", {rt::Value::of_int(1 + k % kRows)},
                         {&id, &name, &amt});
      },
      [&](int k) {
        sqlite3_bind_int64(rsel, 1, 1 + k % kRows);
        if (sqlite3_step(rsel) == SQLITE_ROW) {
          rid = sqlite3_column_int64(rsel, 0);
          rname.assign(reinterpret_cast<const char*>(sqlite3_column_text(rsel, 1)));
          ramt = sqlite3_column_double(rsel, 2);
        }
        sqlite3_step(rsel);  // the layer also makes sure there is no second row
        sqlite3_reset(rsel);
      });

  // An update of one row by key, in one transaction per round on both.
  sql::Statement upd;
  sql::prepare(upd, "update big set amt = ? where id = ?");
  sqlite3_stmt* rupd = nullptr;
  sqlite3_prepare_v3(db, "update big set amt = ? where id = ?", -1, SQLITE_PREPARE_PERSISTENT, &rupd, nullptr);
  const rt::Value price = rt::Value::of_decimal(*rt::Decimal::parse("12.34"), rt::decimal_t(10, 2));
  Rounds txn;
  txn.layer_begin = [] { sql::begin_work(); };
  txn.layer_end = [] { sql::commit_work(); };
  txn.raw_begin = [&] { sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr); };
  txn.raw_end = [&] { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); };
  side_by_side(
      "update one row by key (execute)", rounds, ops,
      [&](int k) {
        sql::execute(upd, {price, rt::Value::of_int(1 + k % kRows)});
      },
      [&](int k) {
        sqlite3_bind_double(rupd, 1, 12.34);
        sqlite3_bind_int64(rupd, 2, 1 + k % kRows);
        sqlite3_step(rupd);
        sqlite3_reset(rupd);
      },
      txn);
  std::printf("   (each side on its own file, one transaction per round of %d)\n", ops);
  (void)rid;
  (void)ramt;
  sqlite3_finalize(rsel);
  sqlite3_finalize(rupd);
  sqlite3_close_v2(db);
  sql::disconnect();
}

void pg_overhead() {
  std::printf("== Per-statement cost, prepared once (PostgreSQL over a Unix socket, medians)\n");
  lunadesk::testing::ScopedDatabase pgdb(lunadesk::testing::Db::Postgres);
  if (!pgdb.ready()) {
    std::printf("   skipped: %s\n", pgdb.reason().c_str());
    return;
  }
  std::string why;
  if (!sql::try_connect("lunadesk", &why, {rt::read_settings(rt::host())})) die(why.c_str());
  fill(quick ? 2000 : kRows);
  // SERIAL is a key on SQLite; give PostgreSQL the same index.
  sql::execute("create unique index big_id on big (id)");
  must("index");
  const long rows = quick ? 2000 : kRows;
  const std::string opts = "-c search_path=" + pgdb.where();
  const char* keys[] = {"dbname", "options", nullptr};
  const char* vals[] = {"lunadesk", opts.c_str(), nullptr};
  PGconn* c = PQconnectdbParams(keys, vals, 0);
  if (PQstatus(c) != CONNECTION_OK) die("raw libpq connect");
  PQclear(PQprepare(c, "rsel", "select id, name, amt from big where id = $1", 1, nullptr));
  PQclear(PQprepare(c, "rupd", "update big set amt = $1 where id = $2", 2, nullptr));
  const int rounds = quick ? 40 : 300, ops = 10;
  rt::Value id(rt::integer_t()), name(rt::char_t(20)), amt(rt::decimal_t(10, 2));
  std::string rname;
  side_by_side(
      "select one row by key (select_into)", rounds, ops,
      [&](int k) {
        sql::select_into("select id, name, amt from big where id = ?", {rt::Value::of_int(1 + k % rows)},
                         {&id, &name, &amt});
      },
      [&](int k) {
        const std::string key = std::to_string(1 + k % rows);
        const char* v[1] = {key.c_str()};
        PGresult* r = bench::pq_answer(c, PQsendQueryPrepared(c, "rsel", 1, v, nullptr, nullptr, 0));
        if (PQntuples(r) == 1) rname.assign(PQgetvalue(r, 0, 1));
        PQclear(r);
      });
  sql::Statement upd;
  sql::prepare(upd, "update big set amt = ? where id = ?");
  const rt::Value price = rt::Value::of_decimal(*rt::Decimal::parse("12.34"), rt::decimal_t(10, 2));
  side_by_side(
      "update one row by key (execute, autocommit)", rounds, ops,
      [&](int k) {
        sql::execute(upd, {price, rt::Value::of_int(1 + k % rows)});
      },
      [&](int k) {
        const std::string key = std::to_string(1 + k % rows);
        const char* v[2] = {"12.34", key.c_str()};
        PQclear(bench::pq_answer(c, PQsendQueryPrepared(c, "rupd", 2, v, nullptr, nullptr, 0)));
      });
  // Units of work as a save makes them: 50 statements each, under the
  // default rule (no statement savepoint).
  Rounds txn;
  txn.layer_begin = [] { sql::begin_work(); };
  txn.layer_end = [] { sql::commit_work(); };
  txn.raw_begin = [&] { PQclear(PQexec(c, "BEGIN")); };
  txn.raw_end = [&] { PQclear(PQexec(c, "COMMIT")); };
  side_by_side(
      "update one row by key (transactions of 50)", rounds / 2, 50,
      [&](int k) {
        sql::execute(upd, {price, rt::Value::of_int(1 + k % rows)});
      },
      [&](int k) {
        const std::string key = std::to_string(1 + k % rows);
        const char* v[2] = {"12.34", key.c_str()};
        PQclear(bench::pq_answer(c, PQsendQueryPrepared(c, "rupd", 2, v, nullptr, nullptr, 0)));
      },
      txn);
  PQfinish(c);
  sql::disconnect();
}

// A browse on PostgreSQL reads on a second session, which the layer closes
// once the browse has been idle and opens again at the next open (a
// connection and one round trip of settings). Timed: a Find (open and
// first row of a scroll cursor) while the session is there, and one just
// after it was let go of; beside them a bare libpq connection with one
// statement, the least a new session can cost.
void pg_reader_reopen() {
  std::printf("== Browse after an idle release (PostgreSQL, medians)\n");
  lunadesk::testing::ScopedDatabase pgdb(lunadesk::testing::Db::Postgres);
  if (!pgdb.ready()) {
    std::printf("   skipped: %s\n", pgdb.reason().c_str());
    return;
  }
  constexpr int kIdleMs = 50;
  rt::Settings settings = pgdb.settings();
  settings.cursor_idle_ms = kIdleMs;
  std::string why;
  if (!sql::try_connect("lunadesk", &why, {settings})) die(why.c_str());
  fill(1000);
  rt::Value id(rt::integer_t()), name(rt::char_t(20)), amt(rt::decimal_t(10, 2));
  sql::Cursor c;
  sql::declare(c, "select id, name, amt from big where id > ? order by id", true);
  auto find = [&] {
    const auto t0 = Clock::now();
    sql::open(c, {rt::Value::of_int(10)});
    sql::fetch(c, sql::Fetch::First, 0, {&id, &name, &amt});
    must("find");
    const double ms = seconds_since(t0) * 1e3;
    sql::close(c);
    return ms;
  };
  const std::string opts = "-c search_path=" + pgdb.where();
  const char* keys[] = {"dbname", "options", nullptr};
  const char* vals[] = {"lunadesk", opts.c_str(), nullptr};
  std::vector<double> warm, reopened, bare;
  const int rounds = quick ? 10 : 40;
  find();
  for (int r = 0; r < rounds; ++r) {
    warm.push_back(find());  // the session of the Find before
    std::this_thread::sleep_for(std::chrono::milliseconds(kIdleMs * 4));
    reopened.push_back(find());
    const auto t0 = Clock::now();
    PGconn* raw = PQconnectdbParams(keys, vals, 0);
    PQclear(PQexec(raw, "SELECT 1"));
    bare.push_back(seconds_since(t0) * 1e3);
    PQfinish(raw);
  }
  const double w = median(warm), o = median(reopened), b = median(bare);
  std::printf("%-44s %9.3f ms\n", "Find, the reader's session open", w);
  std::printf("%-44s %9.3f ms\n", "Find, the session let go of and reopened", o);
  std::printf("%-44s %9.3f ms\n", "  the reopening (difference)", o - w);
  std::printf("%-44s %9.3f ms   (reopening / this: x%.2f)\n", "bare libpq connection and one statement", b,
              b > 0 ? (o - w) / b : 0);
  std::printf("   reopening = a connection + 1 round trip (the settings and their check together)\n");
  sql::free_cursor(c);
  sql::disconnect();
}

}  // namespace

int main(int argc, char** argv) {
  rt::set_args(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  for (int i = 1; i < argc; ++i) quick = quick || std::strcmp(argv[i], "--quick") == 0;
  char templ[] = "/tmp/lunadesk-bench.XXXXXX";
  const char* dir = mkdtemp(templ);
  if (!dir) return 1;
  unsetenv("A4GL_SQLTYPE");
  scroll_cursors(dir);
  sqlite_overhead(dir);
  pg_overhead();
  pg_reader_reopen();
  const std::string rm = std::string("rm -rf ") + dir;  // our own temporary directory
  if (std::system(rm.c_str()) != 0) std::fprintf(stderr, "sql_bench: could not remove %s\n", dir);
  return 0;
}
