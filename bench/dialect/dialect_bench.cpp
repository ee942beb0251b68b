// The generator's long run:
//   dialect_bench [STATEMENTS [SEED [all]]]
// runs STATEMENTS generated statements (100000 by default) from SEED (1)
// on both back ends, with the families on by default or, given "all",
// every family of the dialect; prints the rate as it goes, each fault
// found with a minimal reproducer in corpus form, and at the end the
// statements, the rate and the number of faults by oracle. Exit status 1
// when a fault was found.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "fuzz.h"

int main(int argc, char** argv) {
  using namespace lunadesk::differential;
  const long n = argc > 1 ? std::atol(argv[1]) : 100000;
  const unsigned long long seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  const Features f = argc > 3 && std::strcmp(argv[3], "all") == 0 ? Features::all() : Features{};
  Fuzzer fuzzer(seed, f);
  std::vector<Finding> found;
  const FuzzStats st = fuzzer.run(n, 50, &found, stdout);
  if (st.database_missing) {
    std::fprintf(stderr, "no database: %s\n", st.why.c_str());
    return 2;
  }
  std::map<std::string, int> by;
  for (const Finding& x : found) ++by[x.oracle];
  std::printf("\nseed %llu: %ld statements (%ld run on each back end) in %.1f s: %.0f statements/s, %zu faults\n", seed,
              st.statements, st.executed, st.seconds, st.seconds > 0 ? st.statements / st.seconds : 0.0, found.size());
  for (const auto& [oracle, count] : by) std::printf("  %-24s %d\n", oracle.c_str(), count);
  return found.empty() ? 0 : 1;
}
