// What a browse costs as the table grows; prints medians and ratios,
// asserts nothing.
//
// For each back end and each size, a fresh database whose tx_use_g holds
// that many group rows, stored in no particular order of their codes (as
// rows entered over the years are). Then, in rounds, the tax use group
// program's own code: find() with no criteria (accepted at once) to its
// first row shown, then fetch_data(1) (Next) and fetch_data(-1) (Previous)
// kSteps times each, on a terminal that only keeps the screen. Each row
// shown also loads its tax links and class description, as the program
// does. Beside it, in the same run:
//   - the SQL layer alone: prepare, declare, open and fetch the same
//     statement, then relative fetches by 1 and -1;
//   - the lower bound, the back end's C API: SQLite steps the same query,
//     prepared beforehand (it cannot step back: Previous is bounded by one
//     step);
//     PostgreSQL opens a scroll cursor in a transaction and fetches the
//     first row in one round trip (BEGIN; DECLARE; FETCH), then FETCH NEXT
//     and FETCH PRIOR. Both PostgreSQL sessions are told that a cursor reads
//     few of its rows (cursor_tuple_fraction), as the layer's are.
// Every run measures 10 rows first, so the "x 10 rows" columns compare
// figures of one run. Also printed: how much the program's resident memory
// grew over the rounds of that size.
//
//   browse_bench [--sizes=100000,1000000,10000000] [--backends=sqlite,pg] [--rounds=21]
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/runtime.h"
#include "bench_util.h"
#include "pg_server.h"
#include "pq_answer.h"
#include "schema.h"
#include "seed.h"
#include "screen/fake_terminal.h"
#include "screen/keys.h"
#include "screen/ui.h"
#include "sql/sql.h"
#include "tugedit.h"

namespace {

using Clock = std::chrono::steady_clock;
using lunadesk::testing::Db;
namespace sql = rt::sql;
namespace ui = rt::ui;

constexpr int kSteps = 20;  // Next and Previous per round, fewer on a smaller table
int steps = kSteps;
constexpr const char* kQuery = "select * from tx_use_g where 1=1 order by tu_use_g, tu_prodtcl";

double ms_since(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "browse_bench: %s (status %d %s)\n", what.c_str(), rt::status,
               sql::last_error_message().c_str());
  std::exit(1);
}

long rss_kb() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  long kb = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) break;
  std::fclose(f);
  return kb;
}

volatile std::size_t sink = 0;  // keeps the C API's reads from being optimised away

PGconn* pg_session(const std::string& schema) {
  const std::string opts = "-c search_path=" + schema;
  const char* keys[] = {"dbname", "options", nullptr};
  const char* vals[] = {"lunadesk", opts.c_str(), nullptr};
  PGconn* c = PQconnectdbParams(keys, vals, 0);
  if (PQstatus(c) != CONNECTION_OK) die(std::string("libpq connect: ") + PQerrorMessage(c));
  return c;
}

// --- the three ways of browsing -------------------------------------------

struct Times {
  std::vector<double> first, next, prev;
};

// The program: find() accepts empty criteria at once.
void program_round(ui::FakeTerminal* t, Times* out) {
  t->push(ui::key::kEsc);
  auto t0 = Clock::now();
  find();
  out->first.push_back(ms_since(t0));
  if (mv_queried != 1) die("Find showed no row");
  for (int s = 0; s < steps; ++s) {
    t0 = Clock::now();
    if (!fetch_data(1)) die("Next found no row");
    out->next.push_back(ms_since(t0));
  }
  for (int s = 0; s < steps; ++s) {
    t0 = Clock::now();
    if (!fetch_data(-1)) die("Previous found no row");
    out->prev.push_back(ms_since(t0));
  }
}

void layer_round(Times* out) {
  static sql::Statement st;
  static sql::Cursor c;
  TxUseG row;
  const sql::Into into{&row.tu_use_g, &row.tu_prodtcl, &row.tu_description, &row.tu_link};
  auto t0 = Clock::now();
  sql::prepare(st, kQuery);
  sql::declare(c, st, true);
  sql::open(c);
  sql::fetch(c, sql::Fetch::Relative, 1, into);
  out->first.push_back(ms_since(t0));
  if (rt::status != 0) die("the layer's first row");
  for (int s = 0; s < steps; ++s) {
    t0 = Clock::now();
    sql::fetch(c, sql::Fetch::Relative, 1, into);
    out->next.push_back(ms_since(t0));
  }
  for (int s = 0; s < steps; ++s) {
    t0 = Clock::now();
    sql::fetch(c, sql::Fetch::Relative, -1, into);
    out->prev.push_back(ms_since(t0));
  }
  if (rt::status != 0) die("the layer's fetches");
}

// The statement is prepared once (outside the times): each round resets it
// and steps to the first row.
void sqlite_round(sqlite3_stmt* st, Times* out) {
  auto read_row = [](sqlite3_stmt* s) {
    std::size_t bytes = 0;
    for (int col = 0; col < sqlite3_column_count(s); ++col) {
      sqlite3_column_text(s, col);
      bytes += static_cast<std::size_t>(sqlite3_column_bytes(s, col));
    }
    sink = sink + bytes;
  };
  auto t0 = Clock::now();
  sqlite3_reset(st);
  if (sqlite3_step(st) != SQLITE_ROW) die("sqlite3_step");
  read_row(st);
  out->first.push_back(ms_since(t0));
  for (auto* v : {&out->next, &out->prev}) {
    for (int s = 0; s < steps; ++s) {
      t0 = Clock::now();
      // Past the last row of a small table: from the first again.
      if (sqlite3_step(st) != SQLITE_ROW && (sqlite3_reset(st) != SQLITE_OK || sqlite3_step(st) != SQLITE_ROW))
        die("sqlite3_step");
      read_row(st);
      v->push_back(ms_since(t0));
    }
  }
  sqlite3_reset(st);
}

void pg_round(PGconn* c, Times* out) {
  auto one = [&](const std::string& q) {
    PGresult* r = bench::pq_answer(c, PQsendQuery(c, q.c_str()));
    if (PQresultStatus(r) != PGRES_TUPLES_OK || PQntuples(r) != 1) die("libpq: " + q);
    for (int col = 0; col < PQnfields(r); ++col) sink = sink + static_cast<std::size_t>(PQgetlength(r, 0, col));
    PQclear(r);
  };
  auto t0 = Clock::now();
  one(std::string("BEGIN; DECLARE b SCROLL CURSOR FOR ") + kQuery + "; FETCH NEXT FROM b");
  out->first.push_back(ms_since(t0));
  for (int s = 0; s < steps; ++s) {
    t0 = Clock::now();
    one("FETCH NEXT FROM b");
    out->next.push_back(ms_since(t0));
  }
  for (int s = 0; s < steps; ++s) {
    t0 = Clock::now();
    one("FETCH PRIOR FROM b");
    out->prev.push_back(ms_since(t0));
  }
  PQclear(bench::pq_answer(c, PQsendQuery(c, "CLOSE b; COMMIT")));
}

// --- one size ---------------------------------------------------------------

struct Measured {
  long rows = 0;
  double load_s = 0;
  double program[3]{}, layer[3]{}, api[3]{};  // first, next, previous
  double rss_mb = 0;
  double cold_find = 0;  // the program's first Find, which opens what stays open
};

void medians(const Times& t, double* out) {
  out[0] = bench::median(t.first);
  out[1] = bench::median(t.next);
  out[2] = bench::median(t.prev);
}

Measured measure(Db which, long n, int rounds) {
  const bool pg = which == Db::Postgres;
  lunadesk::testing::ScopedDatabase db(which);
  if (!db.ready()) die("no database: " + db.reason());
  std::string why;
  lunadesk::db::SchemaReport report;
  if (!sql::try_connect("lunadesk", &why, {rt::read_settings(rt::host())}) ||
      !lunadesk::db::create_schema(&report, &why))
    die(why);
  Measured m;
  m.rows = n;
  auto t0 = Clock::now();
  try {
    bench::seed_groups(pg, db.where(), n);
  } catch (const std::exception& e) {
    die(e.what());
  }
  m.load_s = ms_since(t0) / 1000;

  ui::FakeTerminal* t = ui::install_fake_terminal();
  ui::open_form("f1", kTugeditForm);
  ui::display_form("f1");
  sqlite3* lite = nullptr;
  sqlite3_stmt* st = nullptr;
  PGconn* c = nullptr;
  if (pg) {
    c = pg_session(db.where());
    PQclear(PQexec(c, "SET cursor_tuple_fraction TO 0.0001"));
  } else if (sqlite3_open_v2(db.where().c_str(), &lite, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
             sqlite3_prepare_v2(lite, kQuery, -1, &st, nullptr) != SQLITE_OK) {
    die("sqlite3_open");
  }

  steps = static_cast<int>(std::min<long>(kSteps, n - 1));
  Times program, layer, api, warm;
  // The first round also opens what stays open (the second session on
  // PostgreSQL) and fills the caches.
  program_round(t, &warm);
  layer_round(&warm);
  if (pg)
    pg_round(c, &warm);
  else
    sqlite_round(st, &warm);
  m.cold_find = warm.first.front();
  const long rss0 = rss_kb();
  for (int r = 0; r < rounds; ++r) {
    program_round(t, &program);
    layer_round(&layer);
    if (pg)
      pg_round(c, &api);
    else
      sqlite_round(st, &api);
  }
  m.rss_mb = static_cast<double>(rss_kb() - rss0) / 1024.0;
  medians(program, m.program);
  medians(layer, m.layer);
  medians(api, m.api);

  if (c) PQfinish(c);
  sqlite3_finalize(st);
  if (lite) sqlite3_close(lite);
  ui::close_form("f1");
  sql::disconnect();
  return m;
}

void print(const char* backend, const std::vector<Measured>& all, int rounds) {
  std::printf("\n%s: medians of %d rounds (first row) and of up to %d steps per round (Next, Previous), ms\n\n",
              backend, rounds, kSteps);
  std::printf("| rows | what | program | SQL layer | C API | program / C API | program / same at 10 rows |\n");
  std::printf("|---:|---|---:|---:|---:|---:|---:|\n");
  const char* what[3] = {"Find to first row", "Next", "Previous"};
  for (const Measured& m : all) {
    for (int w = 0; w < 3; ++w) {
      std::printf("| %ld | %s | %.4f | %.4f | %.4f | %.2f | %.2f |\n", m.rows, what[w], m.program[w], m.layer[w],
                  m.api[w], m.program[w] / m.api[w], m.program[w] / all[0].program[w]);
    }
  }
  std::printf(
      "\n| rows | loaded in s | the program's first Find, ms | program's memory growth over the rounds, MB |\n"
      "|---:|---:|---:|---:|\n");
  for (const Measured& m : all) std::printf("| %ld | %.1f | %.3f | %.1f |\n", m.rows, m.load_s, m.cold_find, m.rss_mb);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  rt::set_args(argc, argv);
  std::vector<long> sizes{100000, 1000000, 10000000};
  std::vector<std::string> backends{"sqlite", "pg"};
  int rounds = 21;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--sizes=", 0) == 0) {
      sizes.clear();
      for (const std::string& s : bench::split(a.substr(8))) sizes.push_back(std::stol(s));
    } else if (a.rfind("--backends=", 0) == 0) {
      backends = bench::split(a.substr(11));
    } else if (a.rfind("--rounds=", 0) == 0) {
      rounds = std::max(1, std::stoi(a.substr(9)));
    } else {
      std::fprintf(stderr, "usage: %s [--sizes=100000,1000000,10000000] [--backends=sqlite,pg] [--rounds=21]\n",
                   argv[0]);
      return 2;
    }
  }
  sizes.erase(std::remove(sizes.begin(), sizes.end(), 10L), sizes.end());
  sizes.insert(sizes.begin(), 10L);
  for (const std::string& b : backends) {
    const bool pg = b == "pg";
    std::vector<Measured> all;
    for (long n : sizes) all.push_back(measure(pg ? Db::Postgres : Db::Sqlite, n, rounds));
    print(pg ? "PostgreSQL" : "SQLite", all, rounds);
  }
  ui::stop();
  return 0;
}
