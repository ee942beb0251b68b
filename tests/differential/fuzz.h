// Generated statements on both back ends, with three oracles:
//   the two back ends give the same answer (rows, status, error number,
//     rows touched, serial, and the table's rows after a change);
//   Ternary Logic Partitioning: the rows of a query are the rows under p,
//     under NOT p and under p IS NULL together, on each back end;
//   a constant expression gives its documented result on each back end.
// A fault found is made as small as it goes (fewer rows, fewer tables,
// smaller statement, the same fault) and reported as corpus text that
// reproduces it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "grammar.h"

namespace lunadesk::differential {

struct Finding {
  std::string oracle;      // "differ", "partition on sqlite", "constant on pg", "setup"
  std::string reproducer;  // corpus text
  std::string answers;     // what each side answered
};

struct FuzzStats {
  long statements = 0;  // generated statements (cases)
  long executed = 0;    // statements run on each back end, setup included
  double seconds = 0;
  bool database_missing = false;
  std::string why;  // when a database could not be had
};

class Fuzzer {
 public:
  Fuzzer(std::uint64_t seed, Features f) : grammar_(seed, f) {}
  // Generates and runs `statements` statements (in worlds of
  // `per_world`), appending what it finds; progress lines go to `log`
  // when given.
  FuzzStats run(long statements, int per_world, std::vector<Finding>* found, std::FILE* log = nullptr);

 private:
  Grammar grammar_;
};

}  // namespace lunadesk::differential
