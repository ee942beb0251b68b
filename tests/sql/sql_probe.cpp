// A minimal program for the default-rule tests: opens a transaction, inserts
// a row, then runs an insert that fails on a duplicate key without testing
// it. Prints the line number of that statement first. Argument 1: the
// error log to start. With a second argument "pipelined" the inserts run
// inside PipelinedChanges, 300 of them, the failing one among them, and
// the program goes on as if nothing had happened until the scope ends.
#include <cstdio>
#include <cstring>

#include "core/host.h"
#include "core/runtime.h"
#include "core/settings.h"
#include "sql/sql.h"

int main(int argc, char** argv) {
  rt::set_args(argc, argv);
  if (argc > 1) rt::start_errlog(argv[1]);
  rt::sql::connect("lunadesk", {rt::read_settings(rt::host())});
  rt::sql::begin_work();
  if (argc > 2 && std::strcmp(argv[2], "pipelined") == 0) {
    std::printf("%d\n", __LINE__ + 7);
    std::fflush(stdout);
    {
      rt::sql::PipelinedChanges changes;
      for (int k = 2; k < 302; ++k) {
        // The report must name the line of the statement that failed.
        if (k == 150)
          rt::sql::execute("insert into pr values (?)", {rt::Value::of_int(1)});
        else
          rt::sql::execute("insert into pr values (?)", {rt::Value::of_int(k)});
      }
      std::puts("sent");
      std::fflush(stdout);
    }
    std::puts("settled");
    return 0;
  }
  rt::sql::execute("insert into pr values (?)", {rt::Value::of_int(2)});
  std::printf("%d\n", __LINE__ + 2);
  std::fflush(stdout);
  rt::sql::execute("insert into pr values (?)", {rt::Value::of_int(1)});
  return 0;
}
