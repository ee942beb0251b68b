// The clearing benchmark's command: for each back end, scale and spread of
// the items over the customers (receivables.h), a fresh database with
// generated receivables, then rounds of timed runs, each in a process of
// its own started from this executable (so that its peak memory is its
// own): the program's clearing code (run_clearing, as itemsclr runs it) and
// the lower bounds of lower_bound.h. Before every run the open items and
// cycles are put back as loaded. Prints the medians, every run, the ratio
// of the program to its lower bound, the rows matched and deleted, and the
// largest peak resident memory of the variant's runs (the client process;
// the PostgreSQL server's memory is not counted) and the median CPU time of
// the client process; at the end one line per back end, scale and spread:
// the program's median, its ratio to the same spread's bound and to the
// uniform spread's time.
//
// The ratio to the bound is taken round by round: each round runs the
// program and every bound once, in turns (the order reversed every other
// round, so that neither always runs first after the reset), and the ratio
// printed is the median of the rounds' own ratios. A slow spell of the
// shared machine then weighs on both sides of one ratio instead of on one
// side of the medians.
//
// BENCH_STEPS=1 in the environment prints the time of each statement of
// the lower bounds on the standard error stream, BENCH_PLANS=1 the plans of
// the sign UPDATE, the matching SELECT and the DELETE.
//
//   bench_clearing [--sizes=100000,1000000] [--runs=5] [--backends=sqlite,pg]
//                  [--pg-bounds=loop,plain,set]
//                  [--spreads=uniform,10%,50%,100%,one-item]
//
// PostgreSQL is the tests' throwaway server (pg_server.h): fsync off, a
// Unix socket, default memory settings.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/settings.h"
#include "itemsclr.h"
#include "lower_bound.h"
#include "bench_util.h"
#include "pg_server.h"
#include "receivables.h"
#include "sql/sql.h"
#include "values/date.h"

namespace {

using bench::RunResult;

struct Variant {
  std::string key;    // the child's argument
  std::string label;  // as the table shows it
  bool program = false;
};

// --- the child: one run, its figures on standard output -------------------

RunResult run_program() {
  rt::sql::connect("lunadesk", {rt::read_settings(rt::host())});
  std::string why;
  const std::optional<ClearPlan> plan =
      plan_clearing(*rt::Date::parse_iso(bench::kEndDateIso), bench::kEndDateCondition, &why);
  if (!plan) throw std::runtime_error(why);
  RunResult r;
  const auto t0 = std::chrono::steady_clock::now();
  const ClearCounts c = run_clearing(*plan);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.matched = c.matched;
  r.deleted = c.deleted;
  rt::sql::disconnect();
  return r;
}

// The process's own peak resident memory in kB (VmHWM). The rusage of
// wait4 would not do: Linux carries the high-water mark of the memory the
// child had before exec, which is the forked copy of this parent.
long peak_kb() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
  std::fclose(f);
  return kb;
}

int child(const std::string& key, const std::string& path) {
  try {
    RunResult r;
    if (key == "program")
      r = run_program();
    else if (key == "sqlite")
      r = bench::lower_bound_sqlite(path);
    else if (key == "pg-loop")
      r = bench::lower_bound_pg(bench::PgBound::Loop);
    else if (key == "pg-plain")
      r = bench::lower_bound_pg(bench::PgBound::LoopPlain);
    else if (key == "pg-set")
      r = bench::lower_bound_pg(bench::PgBound::SetBased);
    else
      throw std::runtime_error("unknown variant " + key);
    std::printf("%.6f %ld %ld %ld\n", r.seconds, r.matched, r.deleted, peak_kb());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", key.c_str(), e.what());
    return 1;
  }
}

// --- the parent -------------------------------------------------------------

struct Measured {
  RunResult r;
  double peak_mb = 0;
  double cpu = 0;  // the client process's CPU time, connecting included
};

Measured spawn(const std::string& key, const std::string& path) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    const std::string exe = "/proc/self/exe";
    execl(exe.c_str(), "bench_clearing", "--child", key.c_str(), path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  Measured m;
  long kb = 0;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      std::sscanf(out.c_str(), "%lf %ld %ld %ld", &m.r.seconds, &m.r.matched, &m.r.deleted, &kb) != 4)
    throw std::runtime_error("the " + key + " run failed");
  m.peak_mb = static_cast<double>(kb) / 1024.0;
  m.cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
          static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  return m;
}

// One line of the closing table.
struct Summary {
  std::string backend;
  long items = 0;
  std::string spread;
  double program = 0;   // median seconds
  double bound = 0;     // the first bound's median seconds (0: none)
  double to_bound = 0;  // the median of the rounds' program / first bound (0: none)
};

Summary bench_one(lunadesk::testing::Db which, long n, bench::Spread spread, int runs,
                  const std::vector<std::string>& pg_bounds) {
  const bool pg = which == lunadesk::testing::Db::Postgres;
  Summary sum{pg ? "postgres" : "sqlite", n, spread.name()};
  lunadesk::testing::ScopedDatabase db(which);
  if (!db.ready()) {
    std::printf("%-8s %9ld  skipped: %s\n", sum.backend.c_str(), n, db.reason().c_str());
    return sum;
  }
  const auto t0 = std::chrono::steady_clock::now();
  const bench::GenStats st = bench::load(n, spread, pg, db.where());
  std::printf(
      "\n%s, %ld items spread %s: %ld open, %ld invoices, %ld customers; %ld invoices net to zero by the date, "
      "%ld only later; a binary floating-point sum would miss %ld of the %ld (loaded in %.1f s)\n",
      sum.backend.c_str(), st.items, sum.spread.c_str(), st.open_items, st.invoices, st.customers, st.zero_by_date,
      st.zero_later, st.float_misses, st.zero_by_date,
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());

  std::vector<Variant> variants{{"program", "itemsclr run_clearing", true}};
  if (!pg) {
    variants.push_back({"sqlite", "bound: sqlite3 API, loop"});
  } else {
    const std::map<std::string, Variant> known{{"loop", {"pg-loop", "bound: libpq, loop, tuned, streamed"}},
                                               {"plain", {"pg-plain", "bound: libpq, loop, plain session"}},
                                               {"set", {"pg-set", "bound: libpq, one set-based DELETE"}}};
    for (const std::string& b : pg_bounds)
      if (known.count(b)) variants.push_back(known.at(b));
  }

  // Rounds: every variant once per round, so that a slow moment of the
  // machine touches all of them alike; every other round in the reverse
  // order.
  std::vector<std::vector<Measured>> got(variants.size());
  for (int round = 0; round < runs; ++round) {
    for (size_t i = 0; i < variants.size(); ++i) {
      const size_t v = round % 2 == 0 ? i : variants.size() - 1 - i;
      bench::reset(pg, db.where());
      got[v].push_back(spawn(variants[v].key, db.where()));
    }
  }

  std::printf("%-8s %9s  %-36s %9s  %-20s %6s %8s %8s %8s %6s\n", "backend", "items", "variant", "median s", "runs s",
              "ratio", "matched", "deleted", "peak MB", "cpu s");
  const double program = bench::median([&] {
    std::vector<double> s;
    for (const Measured& m : got[0]) s.push_back(m.r.seconds);
    return s;
  }());
  const double bound = variants.size() > 1 ? bench::median([&] {
    std::vector<double> s;
    for (const Measured& m : got[1]) s.push_back(m.r.seconds);
    return s;
  }())
                                           : 0;
  for (size_t v = 0; v < variants.size(); ++v) {
    std::vector<double> secs, mem, cpu;
    std::string all;
    for (const Measured& m : got[v]) {
      secs.push_back(m.r.seconds);
      mem.push_back(m.peak_mb);
      cpu.push_back(m.cpu);
      char b[32];
      std::snprintf(b, sizeof b, "%.2f ", m.r.seconds);
      all += b;
    }
    const double med = bench::median(secs);
    char ratio[16] = "-";
    if (v == 0 && bound > 0) std::snprintf(ratio, sizeof ratio, "%.3f", program / bound);
    if (v > 0) std::snprintf(ratio, sizeof ratio, "%.3f", program / med);
    const Measured& last = got[v].back();
    const std::string matched = last.r.matched < 0 ? "-" : std::to_string(last.r.matched);
    std::printf("%-8s %9ld  %-36s %9.3f  %-20s %6s %8s %8ld %8.1f %6.2f\n", pg ? "postgres" : "sqlite", n,
                variants[v].label.c_str(), med, all.c_str(), ratio, matched.c_str(), last.r.deleted,
                *std::max_element(mem.begin(), mem.end()), bench::median(cpu));
    for (const Measured& m : got[v]) {
      if (m.r.deleted != got[0].back().r.deleted)
        std::printf("  !! %s deleted %ld open items, the program %ld\n", variants[v].label.c_str(), m.r.deleted,
                    got[0].back().r.deleted);
    }
  }
  std::printf("(ratio: the program's median over the variant's median; on the program's row, over the first bound)\n");
  sum.program = program;
  sum.bound = bound;
  if (variants.size() > 1) {
    std::vector<double> ratios;
    std::string all;
    for (int round = 0; round < runs; ++round) {
      ratios.push_back(got[0][static_cast<size_t>(round)].r.seconds / got[1][static_cast<size_t>(round)].r.seconds);
      char b[16];
      std::snprintf(b, sizeof b, " %.3f", ratios.back());
      all += b;
    }
    sum.to_bound = bench::median(ratios);
    std::printf("program / %s, round by round:%s; median %.3f\n", variants[1].label.c_str(), all.c_str(), sum.to_bound);
  }
  return sum;
}

void print_summary(const std::vector<Summary>& all) {
  std::printf("\n%-8s %9s  %-9s %10s %10s %10s %10s\n", "backend", "items", "spread", "program s", "bound s",
              "/ uniform", "/ bound");
  for (const Summary& s : all) {
    const auto uniform = std::find_if(all.begin(), all.end(), [&](const Summary& u) {
      return u.backend == s.backend && u.items == s.items && u.spread == "uniform";
    });
    char to_uniform[16] = "-", to_bound[16] = "-";
    if (uniform != all.end() && uniform->program > 0)
      std::snprintf(to_uniform, sizeof to_uniform, "%.3f", s.program / uniform->program);
    if (s.to_bound > 0) std::snprintf(to_bound, sizeof to_bound, "%.3f", s.to_bound);
    std::printf("%-8s %9ld  %-9s %10.3f %10.3f %10s %10s\n", s.backend.c_str(), s.items, s.spread.c_str(), s.program,
                s.bound, to_uniform, to_bound);
  }
  std::printf(
      "(/ uniform: the program's median over its median on the uniform spread; / bound: the median of the "
      "rounds' program / first bound, each round's pair run back to back)\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return child(argv[2], argc >= 4 ? argv[3] : "");

  std::vector<long> sizes{100000, 1000000};
  int runs = 5;
  std::vector<std::string> backends{"sqlite", "pg"};
  std::vector<std::string> pg_bounds{"loop", "plain", "set"};
  std::vector<bench::Spread> spreads;
  for (const char* name : {"uniform", "10%", "50%", "100%", "one-item"}) spreads.push_back(*bench::spread_named(name));
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name) -> std::optional<std::string> {
      const std::string p = std::string(name) + "=";
      if (a.rfind(p, 0) == 0) return a.substr(p.size());
      return std::nullopt;
    };
    if (auto v = value("--sizes")) {
      sizes.clear();
      for (const std::string& s : bench::split(*v)) sizes.push_back(std::stol(s));
    } else if (auto r = value("--runs")) {
      runs = std::max(1, std::stoi(*r));
    } else if (auto b = value("--backends")) {
      backends = bench::split(*b);
    } else if (auto p = value("--pg-bounds")) {
      pg_bounds = bench::split(*p);
    } else if (auto d = value("--spreads")) {
      spreads.clear();
      for (const std::string& name : bench::split(*d)) {
        const std::optional<bench::Spread> sp = bench::spread_named(name);
        if (!sp) {
          std::fprintf(stderr, "%s: no spread named %s\n", argv[0], name.c_str());
          return 2;
        }
        spreads.push_back(*sp);
      }
    } else {
      std::fprintf(stderr,
                   "usage: %s [--sizes=100000,1000000] [--runs=5] [--backends=sqlite,pg] "
                   "[--pg-bounds=loop,plain,set] [--spreads=uniform,10%%,50%%,100%%,one-item]\n",
                   argv[0]);
      return 2;
    }
  }
  std::printf("Clearing benchmark: medians of %d runs per variant, each run in a fresh process\n", runs);
  if (std::any_of(spreads.begin(), spreads.end(), [](const bench::Spread& sp) { return sp.one_item; }))
    std::printf(
        "one-item: every invoice one item, five times the invoices of uniform; 8%% are zero lines, so that about "
        "as many invoices net to zero as in uniform (one DELETE each) and fewer items are deleted\n");
  try {
    std::vector<Summary> all;
    for (const std::string& b : backends) {
      for (long n : sizes)
        for (const bench::Spread& sp : spreads)
          all.push_back(bench_one(b == "pg" ? lunadesk::testing::Db::Postgres : lunadesk::testing::Db::Sqlite, n, sp,
                                  runs, pg_bounds));
    }
    print_summary(all);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_clearing: %s\n", e.what());
    return 1;
  }
  return 0;
}
