// Start and end of a program's run: see program.h.
#include "program/program.h"

#include <clocale>
#include <cstdio>

#include "core/runtime.h"
#include "screen/lines.h"
#include "screen/screen.h"
#include "sql/sql.h"
#include "values/date.h"

namespace rt::program {

namespace {

void restore_screen() { ui::stop(); }

// A save waiting for another program's lock: Ctrl-C typed meanwhile is
// read at once, and a wait of a second or more is shown on the message
// line until it ends.
void show_lock_wait(sql::LockWait w) {
  if (!ui::started()) return;
  switch (w) {
    case sql::LockWait::Poll: ui::poll_keys(); break;
    case sql::LockWait::Long: ui::message("Waiting for a record locked by another user... Ctrl-C gives up"); break;
    case sql::LockWait::Over: ui::message(""); break;
  }
}

}  // namespace

void start(int argc, char** argv) {
  set_args(argc, argv);
  std::setlocale(LC_ALL, "");
  // A date format the runtime cannot read back would make every date
  // impossible to enter: refused before anything is shown.
  const std::string dbdate = getenv_str("DBDATE");
  if (!DateFormat::parse_dbdate(dbdate)) {
    const std::string& name = arg0();
    std::fprintf(stderr,
                 "%s: DBDATE \"%s\" is not a date format this program can use. Give the order of M, D and Y4 "
                 "(or Y2), then the separator /, - or . (0 for none), for instance MDY4/, DMY4/, MDY2/ or Y4MD-.\n",
                 name.substr(name.rfind('/') + 1).c_str(), dbdate.c_str());
    exit_program(1);
  }
  add_cleanup(restore_screen);
}

void connect(const std::source_location& loc) {
  sql::connect("lunadesk", loc);
  sql::set_lock_wait_hook(&show_lock_wait);
}

void defer_interrupt() { defer_interrupts(); }

void end(int status) {
  ui::stop();
  sql::disconnect();
  exit_program(status);
}

}  // namespace rt::program
