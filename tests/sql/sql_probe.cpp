// A minimal program for the default-rule test: opens a transaction, inserts
// a row, then runs an insert that fails on a duplicate key without testing
// it. Prints the line number of that statement first. Argument 1: the
// error log to start.
#include <cstdio>

#include "core/runtime.h"
#include "sql/sql.h"

int main(int argc, char** argv) {
  rt::set_args(argc, argv);
  if (argc > 1) rt::start_errlog(argv[1]);
  rt::sql::connect();
  rt::sql::begin_work();
  rt::sql::execute("insert into pr values (?)", {rt::Value::of_int(2)});
  std::printf("%d\n", __LINE__ + 2);
  std::fflush(stdout);
  rt::sql::execute("insert into pr values (?)", {rt::Value::of_int(1)});
  return 0;
}
