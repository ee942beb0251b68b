// Start and end of a program's run: see program.h.
#include "program/program.h"

#include <clocale>

#include "core/runtime.h"
#include "screen/screen.h"
#include "sql/sql.h"

namespace rt::program {

namespace {

void restore_screen() { ui::stop(); }

}  // namespace

void start(int argc, char** argv) {
  set_args(argc, argv);
  std::setlocale(LC_ALL, "");
  add_cleanup(restore_screen);
}

void connect(const std::source_location& loc) { sql::connect("lunadesk", loc); }

void defer_interrupt() { defer_interrupts(); }

void end(int status) {
  ui::stop();
  sql::disconnect();
  exit_program(status);
}

}  // namespace rt::program
