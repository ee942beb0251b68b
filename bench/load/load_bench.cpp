// Many operators at once. For each back end and each number of operators N,
// a fresh database with the same rows, then N real programs (repnamedt and
// tugedit by turns), each in its own pseudo-terminal and driven by its own
// process through a script of keystrokes for a fixed time (operator.h).
// Half of each program's operators work on a few shared rows, on purpose.
//
// Printed, per back end: for each program and action the median and the
// 99th percentile of the time from the key to the screen's answer, and
// their ratio to the same action with one operator alone (N = 1: each
// program run alone, in the same run, for --base-seconds with pauses of
// --base-think-ms, so that the base has enough of each action for its 99th
// percentile); then the saves confirmed, refused
// with a message, and lost (accounting.h). Nothing about time is asserted.
//
// PostgreSQL runs twice, on servers of its own: tuned as for the tests
// (--postgres) and left at PostgreSQL's defaults as a site keeps it
// (--postgres-defaults: max_connections 100, fsync and synchronous_commit
// on), where a program that cannot have a connection is counted with what
// it showed instead. An empty list skips a server.
//
// On PostgreSQL every run starts right after a CHECKPOINT, so that each
// starts at the same point of the server's checkpoint cycle and none of a
// few minutes meets a timed checkpoint (--checkpoint-first=0 leaves the
// cycle where it falls). The checkpoints that fell in a run all the same
// are printed with it, and the actions that overlapped one are counted
// apart beside the whole (server_watch.h), with what the sessions waited
// for.
//
//   load_bench [--seconds=60] [--think-ms=500] [--base-seconds=120] [--base-think-ms=125]
//              [--postgres=1,50,100] [--checkpoint-first=1]
//              [--postgres-defaults=1,50,90] [--sqlite=1,5,10] [--bin=DIR]
//
// --bin runs the programs of another build (the default is this build's).
// The time of a run starts once every program of the run shows its first
// screen.
// The drivers share the machine with the programs and the server: the
// times include the wake-up of the driver that watches the screen.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "accounting.h"
#include "operator.h"
#include "pg_server.h"
#include "server_watch.h"
#include "schema.h"
#include "sql/sql.h"

using lunadesk::testing::Db;
using rt::Value;
namespace sql = rt::sql;

namespace {

struct Options {
  int seconds = 60;
  // N = 1, the base of every ratio, runs longer and with shorter pauses:
  // one operator makes few of each action in a minute (a Previous in eight
  // actions), and the 99th percentile of fifteen times is only their
  // largest. Shorter pauses make the base no slower: an operator alone
  // has the machine to itself whatever its pace.
  int base_seconds = 0;   // 0: twice --seconds
  int base_think_ms = 0;  // 0: a quarter of --think-ms
  int think_ms = 500;
  bool checkpoint_first = true;
  std::vector<int> postgres{1, 50, 100};
  std::vector<int> postgres_defaults{1, 50, 90};
  std::vector<int> sqlite{1, 5, 10};
  std::string bin = LUNADESK_BIN_DIR;
};

std::vector<int> sizes(const std::string& list) {
  std::vector<int> out;
  size_t at = 0;
  while (at < list.size()) {
    size_t comma = list.find(',', at);
    if (comma == std::string::npos) comma = list.size();
    if (comma > at) out.push_back(std::atoi(list.substr(at, comma - at).c_str()));
    at = comma + 1;
  }
  return out;
}

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      const std::string p = std::string("--") + name + "=";
      return a.rfind(p, 0) == 0 ? argv[i] + p.size() : nullptr;
    };
    if (const char* v = value("seconds"))
      o.seconds = std::atoi(v);
    else if (const char* v = value("base-seconds"))
      o.base_seconds = std::atoi(v);
    else if (const char* v = value("base-think-ms"))
      o.base_think_ms = std::atoi(v);
    else if (const char* v = value("checkpoint-first"))
      o.checkpoint_first = std::atoi(v) != 0;
    else if (const char* v = value("think-ms"))
      o.think_ms = std::atoi(v);
    else if (const char* v = value("postgres-defaults"))
      o.postgres_defaults = sizes(v);
    else if (const char* v = value("postgres"))
      o.postgres = sizes(v);
    else if (const char* v = value("sqlite"))
      o.sqlite = sizes(v);
    else if (const char* v = value("bin"))
      o.bin = v;
    else {
      std::fprintf(stderr, "unknown argument %s\n", argv[i]);
      std::exit(2);
    }
  }
  if (o.base_seconds <= 0) o.base_seconds = 2 * o.seconds;
  if (o.base_think_ms <= 0) o.base_think_ms = std::max(1, o.think_ms / 4);
  return o;
}

Value ch(const std::string& s, int n) { return Value::of_char(s, n); }

// The same rows for every run: the shared ones, and ten salesmen and five
// groups of their own for each of 100 operators.
void seed() {
  sql::begin_work();
  sql::execute("INSERT INTO inv_classes VALUES ('TX1', 'T', 'Taxable goods')");
  std::vector<long> trn;
  for (int i = 1; i <= load::kTaxTables; ++i) {
    char code[8];
    std::snprintf(code, sizeof code, "T%02d", i);
    sql::execute("INSERT INTO tx_table VALUES (?, ?, ?, 0.0125, ?, 'Y', 'Generated', 0)",
                 {ch(code, 5), ch(std::to_string(1 + i % 3), 1), ch("W" + std::to_string(i), 10),
                  Value::of_date(*rt::Date::parse_iso("2026-01-01"))});
    trn.push_back(sql::last_serial());
  }
  for (int i = 1; i <= load::kHotSalesmen; ++i)
    sql::execute("INSERT INTO iq_salesman_name VALUES (?, ?, NULL)",
                 {ch("H" + std::to_string(i), 4), ch("Shared salesman " + std::to_string(i), 35)});
  auto group = [&](const std::string& code, int n) {
    sql::execute("INSERT INTO tx_use_g VALUES (?, 'TX1', ?, 0)", {ch(code, 8), ch("Group " + code, 40)});
    const long link = sql::last_serial();
    for (int l = 0; l < load::kLinksPerGroup; ++l)
      sql::execute("INSERT INTO tx_use_link VALUES (?, ?, ?)",
                   {Value::of_int(link), Value::of_int(trn[static_cast<size_t>((n + l * 7) % load::kTaxTables)]),
                    ch("S" + std::to_string(l + 1), 5)});
  };
  for (int i = 1; i <= load::kHotGroups; ++i) group("HOT" + std::to_string(i), i);
  for (int op = 0; op < 100; ++op) {
    char id[4];
    std::snprintf(id, sizeof id, "%02d", op);
    for (int k = 0; k < load::kOwnSalesmen; ++k)
      sql::execute("INSERT INTO iq_salesman_name VALUES (?, ?, NULL)",
                   {ch("S" + std::string(id) + std::to_string(k), 4),
                    ch("Salesman " + std::string(id) + "-" + std::to_string(k), 35)});
    for (int k = 0; k < load::kOwnGroups; ++k) group("G" + std::string(id) + static_cast<char>('A' + k), op * 5 + k);
  }
  sql::commit_work();
}

// One run: a fresh database, the operators given, to the deadline.
load::RunResult run(Db which, const Options& o, int seconds, int think_ms,
                    const std::vector<load::OperatorPlan>& plans_in) {
  load::RunResult result;
  lunadesk::testing::ScopedDatabase db(which);
  std::string error;
  lunadesk::db::SchemaReport report;
  if (!db.ready() || !sql::try_connect("lunadesk", &error, {rt::read_settings(rt::host())}) ||
      !lunadesk::db::create_schema(&report, &error)) {
    std::fprintf(stderr, "no database: %s %s\n", db.reason().c_str(), error.c_str());
    std::exit(1);
  }
  seed();
  sql::disconnect();  // the drivers are forked: no connection is shared with them
  if (!load::install_history(which == Db::Postgres, db.where(), &error)) {
    std::fprintf(stderr, "cannot install the history: %s\n", error.c_str());
    std::exit(1);
  }

  std::map<std::string, std::string> env;
  for (const char* v : {"A4GL_SQLTYPE", "LUNADESK_DB", "PGHOST", "PGPORT", "PGUSER", "PGOPTIONS", "DBDATE",
                        "LUNADESK_PG_SPIN_US", "LUNADESK_LOCK_TIMEOUT_MS", "LUNADESK_CURSOR_IDLE_MS"})
    if (const char* val = std::getenv(v)) env[v] = val;
  int ready[2], go[2];
  if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(go, O_CLOEXEC) != 0) {
    std::perror("pipe");
    std::exit(1);
  }
  std::vector<load::OperatorPlan> plans = plans_in;
  std::vector<pid_t> pids;
  std::vector<std::string> logs;
  std::vector<bool> tugedit;
  for (load::OperatorPlan& p : plans) {
    p.program = o.bin + (p.tugedit ? "/tugedit" : "/repnamedt");
    p.cwd = db.dir();
    p.env = env;
    p.seconds = seconds;
    p.ready_fd = ready[1];
    p.go_fd = go[0];
    p.think_ms = think_ms;
    p.log_path = db.dir() + "/operator" + std::to_string(p.id) + ".log";
    logs.push_back(p.log_path);
    tugedit.push_back(p.tugedit);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      ::close(go[1]);                // the end of file on go[0] is the parent's alone to give
      _exit(load::run_operator(p));  // no exit handlers: the server is the parent's
    }
    pids.push_back(pid);
  }
  std::optional<load::ServerWatch> watch;
  if (which == Db::Postgres) watch.emplace(lunadesk::testing::PgServer::instance().socket_dir());
  // Every program up (or failed), then all start at once.
  ::close(ready[1]);
  for (size_t told = 0; told < plans.size();) {
    char buf[64];
    const ssize_t n = ::read(ready[0], buf, sizeof buf);
    if (n <= 0) break;
    told += static_cast<size_t>(n);
  }
  if (watch) {
    if (o.checkpoint_first) watch->checkpoint();
    watch->begin();
  }
  ::close(go[1]);
  for (int fd : {ready[0], go[0]}) ::close(fd);
  for (size_t left = pids.size(); left > 0;) {
    if (watch) watch->sample();
    ::usleep(100 * 1000);
    for (pid_t& pid : pids) {
      int st = 0;
      if (pid <= 0 || waitpid(pid, &st, WNOHANG) != pid) continue;
      pid = 0;
      --left;
      if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) ++result.stuck;
      if (WIFEXITED(st) && WEXITSTATUS(st) == load::kNotStarted) ++result.not_started;
    }
  }
  if (watch) result.server = watch->end();
  result.operators = static_cast<int>(plans.size());
  if (!sql::try_connect("lunadesk", &error, {rt::read_settings(rt::host())})) {
    std::fprintf(stderr, "cannot reconnect: %s\n", error.c_str());
    std::exit(1);
  }
  load::account(logs, tugedit, &result);
  sql::disconnect();
  return result;
}

// N operators: repnamedt and tugedit by turns, half of each on the shared
// rows. One operator: each program alone, one after the other.
load::RunResult run_n(Db which, const Options& o, int n) {
  if (n == 1) {
    load::RunResult r = run(which, o, o.base_seconds, o.base_think_ms, {load::OperatorPlan{0, false, true}});
    r.merge(run(which, o, o.base_seconds, o.base_think_ms, {load::OperatorPlan{1, true, true}}));
    return r;
  }
  std::vector<load::OperatorPlan> plans;
  for (int i = 0; i < n; ++i) plans.push_back(load::OperatorPlan{i, i % 2 == 1, (i / 2) % 2 == 0});
  return run(which, o, o.seconds, o.think_ms, plans);
}

// What the active sessions waited for, per look: the five commonest.
std::string waits(const std::map<std::string, long>& counts, long samples) {
  if (samples <= 0) return "none";
  std::vector<std::pair<long, std::string>> by;
  for (const auto& [event, n] : counts) by.push_back({n, event});
  std::sort(by.rbegin(), by.rend());
  std::string out;
  char buf[96];
  for (size_t i = 0; i < by.size() && i < 5; ++i) {
    std::snprintf(buf, sizeof buf, "%s%s %.2f", i ? ", " : "", by[i].second.c_str(),
                  static_cast<double>(by[i].first) / static_cast<double>(samples));
    out += buf;
  }
  return out.empty() ? "none" : out;
}

void report(const char* name, const Options& o, const std::vector<int>& ns, const std::vector<load::RunResult>& rs,
            bool postgres) {
  std::printf(
      "\n%s: %d s per run, a pause of %d-%d ms between actions (N = 1: %d s for each program alone, pauses of "
      "%d-%d ms)\n",
      name, o.seconds, o.think_ms / 2, o.think_ms * 3 / 2, o.base_seconds, o.base_think_ms / 2,
      o.base_think_ms * 3 / 2);
  if (postgres)
    std::printf("%s; a checkpoint before each run: %s\n",
                "ckpt n, ckpt p99: the actions that overlapped a checkpoint of the server (also in the whole)",
                o.checkpoint_first ? "yes" : "no");
  std::printf("%-10s %-12s %4s %6s %10s %10s %8s %8s%s\n", "program", "action", "N", "count", "median ms", "p99 ms",
              "med/N1", "p99/N1", postgres ? "   ckpt n   ckpt p99" : "");
  const char* programs[] = {"repnamedt", "tugedit"};
  for (int p = 0; p < 2; ++p)
    for (int a = 0; a < load::kActions; ++a)
      for (size_t i = 0; i < ns.size(); ++i) {
        const auto& v = rs[i].ms[p][a];
        const double med = load::percentile(v, 0.5), p99 = load::percentile(v, 0.99);
        const auto& base = rs[0].ms[p][a];
        const double bmed = load::percentile(base, 0.5), bp99 = load::percentile(base, 0.99);
        std::printf("%-10s %-12s %4d %6zu %10.2f %10.2f %8.2f %8.2f", programs[p],
                    load::action_name(static_cast<load::Action>(a)), ns[i], v.size(), med, p99,
                    bmed > 0 ? med / bmed : 0, bp99 > 0 ? p99 / bp99 : 0);
        const auto& c = rs[i].ms_checkpointing[p][a];
        if (postgres) std::printf(" %8zu %10.2f", c.size(), load::percentile(c, 0.99));
        std::printf("\n");
      }
  std::printf("\n%4s %9s %6s %11s %10s %9s %6s %7s %6s %10s %11s %5s %14s\n", "N", "operators", "stuck", "not started",
              "confirmed", "changed", "gone", "locked", "other", "adds done", "adds other", "lost", "refused+stored");
  for (size_t i = 0; i < ns.size(); ++i) {
    const auto& r = rs[i];
    std::printf("%4d %9d %6d %11d %10ld %9ld %6ld %7ld %6ld %10ld %11ld %5ld %14ld\n", ns[i], r.operators, r.stuck,
                r.not_started, r.confirmed, r.changed, r.gone, r.locked, r.other, r.adds_confirmed, r.adds_other,
                r.lost, r.refused_yet_stored);
    for (const std::string& said : r.said) std::printf("     not started, the program said: %s\n", said.c_str());
  }
  if (!postgres) return;
  std::printf("\n%4s %30s %10s %10s %10s %8s %18s\n", "N", "the disk: syncs of 8 kB", "median ms", "p99 ms", "max ms",
              "stalls", "slow saves, stalled");
  for (size_t i = 0; i < ns.size(); ++i) {
    const load::ServerFacts& f = rs[i].server;
    std::printf("%4d %30zu %10.2f %10.2f %10.2f %8zu %10ld %7ld\n", ns[i], f.sync_ms.size(),
                load::percentile(f.sync_ms, 0.5), load::percentile(f.sync_ms, 0.99),
                f.sync_ms.empty() ? 0 : *std::max_element(f.sync_ms.begin(), f.sync_ms.end()), f.stalls.size(),
                rs[i].slow_saves, rs[i].slow_saves_in_stall);
  }
  std::printf(
      "(stalls: syncs over %.0f ms; slow saves: Change and Add saves over %.0f ms, and how many of them "
      "overlapped a stall)\n",
      load::kStallMs, load::kSlowSaveMs);
  std::printf("\n%4s %12s %12s %14s %8s %10s  %s\n", "N", "checkpoints", "(requested)", "checkpointing", "WAL MB",
              "WAL files", "active sessions waiting, per look every 100 ms");
  for (size_t i = 0; i < ns.size(); ++i) {
    const load::ServerFacts& f = rs[i].server;
    std::printf("%4d %12ld %12ld %12.1f s %8.1f %+10ld  outside checkpoints (%ld looks): %s\n", ns[i], f.checkpoints(),
                f.checkpoints_requested, f.checkpointing_seconds(), f.wal_mb, f.wal_files_added,
                f.samples - f.samples_checkpointing, waits(f.waits, f.samples - f.samples_checkpointing).c_str());
    if (f.samples_checkpointing > 0)
      std::printf("%4s %12s %12s %14s %8s %10s  during checkpoints (%ld looks): %s\n", "", "", "", "", "", "",
                  f.samples_checkpointing, waits(f.waits_checkpointing, f.samples_checkpointing).c_str());
  }
  std::fflush(stdout);
}

void bench(Db which, const char* name, const Options& o, const std::vector<int>& ns) {
  if (ns.empty()) return;
  std::vector<load::RunResult> rs;
  for (int n : ns) {
    std::fprintf(stderr, "%s: %d operators...\n", name, n);
    rs.push_back(run_n(which, o, n));
  }
  report(name, o, ns, rs, which == Db::Postgres);
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = parse(argc, argv);
  bench(Db::Sqlite, "SQLite", o, o.sqlite);
  if (!o.postgres_defaults.empty()) {
    // A process of its own, before this one starts the tuned server: the
    // test server is one per process.
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      lunadesk::testing::PgServer::start_with(lunadesk::testing::ServerSettings::Defaults);
      bench(Db::Postgres, "PostgreSQL at its defaults (max_connections 100, fsync and synchronous_commit on)", o,
            o.postgres_defaults);
      std::exit(0);  // the exit handlers stop this process's server
    }
    int st = 0;
    waitpid(pid, &st, 0);
  }
  bench(Db::Postgres, "PostgreSQL, tuned (fsync off, max_connections 200)", o, o.postgres);
  return 0;
}
