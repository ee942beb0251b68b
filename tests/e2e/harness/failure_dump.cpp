// A googletest listener that prints the screens of the open terminals after
// every failed assertion, skipping a screen already shown unchanged.
#include "failure_dump.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "e2e/terminal.h"

namespace e2e::detail {
namespace {

std::vector<const Terminal*>& open_terminals() {
  static std::vector<const Terminal*> list;
  return list;
}

class DumpOnFailure : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { shown_.clear(); }
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (!result.failed()) return;
    for (const Terminal* t : open_terminals()) {
      std::string d = t->dump();
      std::string& last = shown_[t];
      if (d == last) {
        std::printf("(terminal %s: screen as shown above)\n", t->label().c_str());
        continue;
      }
      last = d;
      std::fputs(d.c_str(), stdout);
    }
    std::fflush(stdout);
  }
  std::map<const Terminal*, std::string> shown_;
};

}  // namespace

void register_terminal(const Terminal* t) {
  static bool installed = false;
  // Only a binary with googletest tests in it gets the listener; a benchmark
  // that links the harness does not.
  if (!installed && ::testing::UnitTest::GetInstance()->total_test_count() > 0) {
    ::testing::UnitTest::GetInstance()->listeners().Append(new DumpOnFailure);
    installed = true;
  }
  open_terminals().push_back(t);
}

void unregister_terminal(const Terminal* t) {
  auto& list = open_terminals();
  list.erase(std::remove(list.begin(), list.end(), t), list.end());
}

}  // namespace e2e::detail
