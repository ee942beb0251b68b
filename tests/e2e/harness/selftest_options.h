// Starting the harness's own ncurses program for the self-tests.
#pragma once

#include "e2e/files.h"
#include "e2e/terminal.h"

namespace e2e::selftest {

inline Options app(int rows = 24, int cols = 80) {
  Options o;
  o.argv = {bin_path("e2e_selftest_app")};
  o.rows = rows;
  o.cols = cols;
  return o;
}

}  // namespace e2e::selftest
