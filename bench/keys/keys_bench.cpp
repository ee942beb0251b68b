// What an operator feels at each program; prints medians and ratios,
// asserts nothing.
//
// For each back end, one database with a million salesmen and a million
// tax use group rows (stored in no order of their codes), 200 tax tables,
// 30 tax classes and 9 statement cycles. Each program runs in a pseudo-
// terminal (the end-to-end harness, libvterm as the terminal) and is driven
// through a script of keys; the measured steps are the start to the first
// complete screen, one character typed in a field, Find with no criteria to
// its first row, Next in the browse, the lookup window opened with F5, and
// tugedit's Change entering its 200-row array. Each is timed from the key
// written to the screen showing its result (every cell, its reverse video
// and the cursor as the program leaves it), and the bytes the program
// wrote for it are counted once it has gone quiet.
//
// The lower bound, in the same run: keys_floor, a minimal ncurses program
// that draws the same screens, one per key (captured from the program in a
// first pass), and does nothing else. Runs of the program and of the floor
// alternate, so that a slow moment of the machine touches both alike.
//
//   keys_bench [--rows=1000000] [--runs=11] [--backends=sqlite,pg]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/settings.h"
#include "e2e/terminal.h"
#include "frames.h"
#include "bench_util.h"
#include "pg_server.h"
#include "schema.h"
#include "seed.h"
#include "sql/sql.h"

namespace {

using keys::Frame;
using lunadesk::testing::Db;

struct Step {
  std::string measured;  // what the table calls it; "" for a step only on the way
  std::string key;       // a key by name ...
  std::string text;      // ... or text typed in one write
};

struct Script {
  std::string program;
  std::vector<Step> steps;
};

const std::vector<Script>& scripts() {
  static const std::vector<Script> all = {
      {"repnamedt",
       {{"", "f", ""},
        {"a typed character", "", "A"},
        {"", "backspace", ""},
        {"Find, no criteria, to the first row", "esc", ""},
        {"Next in the browse", "n", ""}}},
      {"tugedit",
       {{"", "f", ""},
        {"a typed character", "", "A"},
        {"", "backspace", ""},
        {"Find, no criteria, to the first row", "esc", ""},
        {"Next in the browse", "n", ""},
        {"", "c", ""},
        {"Change entering its 200-row array", "enter", ""},
        {"", "ctrl-c", ""},
        {"", "a", ""},
        {"", "", "ZZ"},
        {"", "enter", ""},
        {"opening the lookup window", "f5", ""}}},
      {"itemsclr",
       {{"", "n", ""},
        {"a typed character", "", "1"},
        {"", "backspace", ""},
        {"", "", "01/31/2020"},
        {"", "enter", ""},
        {"opening the lookup window", "f5", ""}}},
  };
  return all;
}

constexpr const char* kStart = "start to the first complete screen";

Frame capture(const e2e::Terminal& t) {
  Frame f;
  f.rows = t.rows();
  f.cols = t.cols();
  f.cells.reserve(static_cast<size_t>(f.rows * f.cols));
  for (int r = 1; r <= f.rows; ++r) {
    for (int c = 1; c <= f.cols; ++c) {
      const e2e::Cell cell = t.cell(r, c);
      f.cells.push_back(cell.width == 0 ? std::string() : cell.text);
      f.reverse += cell.reverse ? '1' : '0';
    }
  }
  const auto [row, col] = t.cursor();
  f.cursor_row = row - 1;
  f.cursor_col = col - 1;
  f.cursor_visible = t.cursor_visible();
  return f;
}

// Whether the screen shows `f`: the cursor first, which is cheap to read.
bool shows(const e2e::Terminal& t, const Frame& f) {
  const auto [row, col] = t.cursor();
  if (row - 1 != f.cursor_row || col - 1 != f.cursor_col) return false;
  return capture(t) == f;
}

void send(e2e::Terminal& t, const Step& s) {
  if (s.key.empty())
    t.type(s.text);
  else
    t.key(s.key);
}

e2e::Options options(const std::string& program, const std::string& cwd) {
  e2e::Options opt;
  opt.argv = {std::string(LUNADESK_BIN_DIR) + "/" + program};
  for (const char* v : {"A4GL_SQLTYPE", "LUNADESK_DB", "PGHOST", "PGPORT", "PGUSER", "PGOPTIONS", "DBDATE"})
    if (const char* val = std::getenv(v)) opt.env[v] = val;
  opt.cwd = cwd;
  return opt;
}

[[noreturn]] void fail(const e2e::Terminal& t, const std::string& what) {
  std::fprintf(stderr, "keys_bench: %s\n%s\n", what.c_str(), t.dump().c_str());
  std::exit(1);
}

// The screens of a script: the first, then the one each step leaves.
std::vector<Frame> capture_script(const Script& s, const std::string& cwd) {
  e2e::Terminal t(options(s.program, cwd));
  std::vector<Frame> frames;
  if (!t.wait_settled(300, 20000)) fail(t, s.program + " never settled");
  frames.push_back(capture(t));
  for (const Step& step : s.steps) {
    send(t, step);
    if (!t.wait_settled(300, 20000)) fail(t, s.program + " never settled after " + step.key + step.text);
    frames.push_back(capture(t));
  }
  return frames;
}

struct Sample {
  std::vector<double> ms;
  std::vector<double> bytes;
};

// One run of the script on `opt`, its measured steps added to `out` by
// name.
void run_once(const Script& s, const std::vector<Frame>& frames, const e2e::Options& opt,
              std::map<std::string, Sample>* out) {
  e2e::Terminal t(opt);
  if (!t.wait_until([&] { return shows(t, frames[0]); }, 20000)) fail(t, s.program + ": the first screen");
  (*out)[kStart].ms.push_back(t.ms_since(t.spawned()));
  t.wait_settled(20);
  (*out)[kStart].bytes.push_back(static_cast<double>(t.bytes_since(t.spawned())));
  for (size_t k = 0; k < s.steps.size(); ++k) {
    const Step& step = s.steps[k];
    t.wait_settled(20);
    const e2e::Mark m = t.mark();
    send(t, step);
    if (!t.wait_until([&] { return shows(t, frames[k + 1]); }, 20000))
      fail(t, s.program + ": the screen after " + step.key + step.text);
    const double ms = t.ms_since(m);
    if (step.measured.empty()) continue;
    t.wait_settled(20);
    (*out)[step.measured].ms.push_back(ms);
    (*out)[step.measured].bytes.push_back(static_cast<double>(t.bytes_since(m)));
  }
}

struct Target {
  const char* what;
  double ms;     // 0: none
  double bytes;  // 0: none
  bool sqlite_only;
};
constexpr Target kTargets[] = {
    {kStart, 30, 0, false}, {"a typed character", 1, 64, false}, {"Next in the browse", 5, 0, true}};

std::string target_of(const std::string& what, bool pg, double ms, double bytes) {
  for (const Target& t : kTargets) {
    if (what != t.what || (t.sqlite_only && pg)) continue;
    std::string r;
    if (t.ms > 0) r += std::string(ms <= t.ms ? "met" : "MISSED") + " (<= " + std::to_string(int(t.ms)) + " ms";
    if (t.bytes > 0)
      r += std::string(bytes <= t.bytes ? ", met" : ", MISSED") + " <= " + std::to_string(int(t.bytes)) + " bytes";
    return r + ")";
  }
  return "";
}

void bench_backend(Db which, long rows, int runs) {
  const bool pg = which == Db::Postgres;
  lunadesk::testing::ScopedDatabase db(which);
  if (!db.ready()) {
    std::printf("%s skipped: %s\n", pg ? "PostgreSQL" : "SQLite", db.reason().c_str());
    return;
  }
  std::string why;
  lunadesk::db::SchemaReport report;
  if (!rt::sql::try_connect("lunadesk", &why, {rt::read_settings(rt::host())}) ||
      !lunadesk::db::create_schema(&report, &why)) {
    std::fprintf(stderr, "keys_bench: %s\n", why.c_str());
    std::exit(1);
  }
  rt::sql::disconnect();
  bench::seed_groups(pg, db.where(), rows);
  bench::seed_salesmen(pg, db.where(), rows);
  bench::seed_reference(pg, db.where());

  std::printf("\n%s, %ld salesmen and %ld group rows: medians of %d runs\n\n", pg ? "PostgreSQL" : "SQLite", rows, rows,
              runs);
  std::printf("| program | what | program ms | ncurses floor ms | ratio | program bytes | floor bytes | target |\n");
  std::printf("|---|---|---:|---:|---:|---:|---:|---|\n");
  for (const Script& s : scripts()) {
    const std::vector<Frame> frames = capture_script(s, db.dir());
    const std::string file = db.dir() + "/" + s.program + ".frames";
    if (!keys::write_frames(file, frames)) std::exit(1);
    e2e::Options floor = options("keys_floor", db.dir());
    floor.argv = {std::string(LUNADESK_BIN_DIR) + "/keys_floor", file};
    std::map<std::string, Sample> prog, low;
    for (int r = 0; r < runs; ++r) {
      run_once(s, frames, options(s.program, db.dir()), &prog);
      run_once(s, frames, floor, &low);
    }
    std::vector<std::string> order{kStart};
    for (const Step& step : s.steps)
      if (!step.measured.empty()) order.push_back(step.measured);
    for (const std::string& what : order) {
      const double pm = bench::median(prog[what].ms), lm = bench::median(low[what].ms);
      const double pb = bench::median(prog[what].bytes), lb = bench::median(low[what].bytes);
      std::printf("| %s | %s | %.2f | %.2f | %.2f | %.0f | %.0f | %s |\n", s.program.c_str(), what.c_str(), pm, lm,
                  pm / lm, pb, lb, target_of(what, pg, pm, pb).c_str());
    }
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  long rows = 1000000;
  int runs = 11;
  std::vector<std::string> backends{"sqlite", "pg"};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--rows=", 0) == 0) {
      rows = std::stol(a.substr(7));
    } else if (a.rfind("--runs=", 0) == 0) {
      runs = std::max(1, std::stoi(a.substr(7)));
    } else if (a.rfind("--backends=", 0) == 0) {
      backends = bench::split(a.substr(11));
    } else {
      std::fprintf(stderr, "usage: %s [--rows=1000000] [--runs=11] [--backends=sqlite,pg]\n", argv[0]);
      return 2;
    }
  }
  for (const std::string& b : backends) bench_backend(b == "pg" ? Db::Postgres : Db::Sqlite, rows, runs);
  return 0;
}
