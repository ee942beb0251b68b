// What a run of the load benchmark comes to: the operators' timings, and
// the count of saves from their logs checked against the database.
//
// A lost update is a confirmed save whose value is gone without a later
// confirmed save of the same field of that row. "Later" is the order in
// which the saves reached the row, read from a history that triggers of
// the benchmark's own keep in the database (a trigger writes its row in the
// save's own transaction, so only committed saves are in it, and saves of
// one row reach it in the order they held the row). A confirmed save whose
// value never reached the database is lost as well. A save that was
// refused yet whose value reached the database is counted apart.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "operator.h"
#include "server_watch.h"

namespace load {

inline constexpr double kSlowSaveMs = 60;

struct RunResult {
  int operators = 0;
  int stuck = 0;               // operators that did not work to the deadline
  int not_started = 0;         // of those, programs that never showed their first screen
  std::set<std::string> said;  // what those showed instead
  // Timings by program (0 repnamedt, 1 tugedit) and action; apart, the
  // same of the actions that overlapped a checkpoint (they are in `ms`
  // too).
  std::vector<double> ms[2][kActions];
  std::vector<double> ms_checkpointing[2][kActions];
  ServerFacts server;  // PostgreSQL
  // Saves (Change and Add) over kSlowSaveMs, and of those the ones that
  // overlapped a stall of the disk (server.stalls).
  long slow_saves = 0, slow_saves_in_stall = 0;
  long confirmed = 0, changed = 0, gone = 0, locked = 0, other = 0;
  long adds_confirmed = 0, adds_other = 0;
  long lost = 0, refused_yet_stored = 0;

  void merge(const RunResult& r);
};

// The triggers and the history table, made through the back end's own API
// on the database the environment names. False with a reason.
bool install_history(bool postgres, const std::string& sqlite_file, std::string* error);

// Reads the logs (the operators' programs: tugedit[i]) and counts, reading
// the database through the current connection. r->server is already set.
void account(const std::vector<std::string>& logs, const std::vector<bool>& tugedit, RunResult* r);

double percentile(std::vector<double> v, double p);

}  // namespace load
