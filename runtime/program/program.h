// Start and end of a program's run: what every program does before its
// menu and after it. Ties the SQL layer and the screen together; owns
// nothing of its own beyond that order.
#pragma once

#include <source_location>

namespace rt::program {

// Takes the command line (argument 0 stays readable through rt::arg0()),
// sets the locale from the environment (so that UTF-8 terminals work), and
// registers the clean-ups that every way out runs.
void start(int argc, char** argv);

// Connects to the database "lunadesk" on the back end the environment
// chooses; a failure stops the program with the runtime's error report.
// A save's wait for another program's lock is then shown on the message
// line, and Ctrl-C typed during it gives it up.
void connect(const std::source_location& loc = std::source_location::current());

// From here on Ctrl-C (as a key or as SIGINT) only sets the interrupt flag;
// SIGHUP and SIGTERM restore the terminal, roll back and end the run.
void defer_interrupt();

// Ends the run: forms and windows closed, terminal restored, connection
// closed, exit with the given status.
[[noreturn]] void end(int status = 0);

}  // namespace rt::program
