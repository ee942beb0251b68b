// Running corpus records on one back end: the answer of each record as
// text that compares equal on both back ends when they agree (rows sorted
// unless the record orders them; status, error number, rows touched and
// the serial of a change).
#pragma once

#include <string>
#include <vector>

#include "corpus.h"
#include "pg_server.h"
#include "values/value.h"

namespace lunadesk::differential {

struct Answer {
  std::vector<std::string> lines;
  bool setup_failed = false;
  friend bool operator==(const Answer& a, const Answer& b) { return a.lines == b.lines; }
};

// A fetched value as an answer shows it: NULL, 'text', or the value.
std::string render_value(const rt::Value& v);

// The answer on one line, for reports.
std::string show(const Answer& a);

// Runs every record on a fresh database of one back end; one answer per
// record, or none with *why set when the database cannot be had.
std::vector<Answer> run_all(lunadesk::testing::Db which, const std::vector<Record>& records, std::string* why);

}  // namespace lunadesk::differential
