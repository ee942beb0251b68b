// Start and end of a program's run: what every program does before its
// menu and after it. Ties the SQL layer and the screen together; owns
// nothing of its own beyond that order.
#pragma once

#include <source_location>

namespace rt::program {

// What a program says about itself when asked on its command line.
struct About {
  const char* name;     // "repnamedt"
  const char* purpose;  // one or two lines: what the program is for
};

// The programs take no arguments but these: "--help" prints the usage,
// the purpose, where the database is and where the manual is, "--version"
// the version, both on standard output with exit status 0; anything else
// prints the usage on standard error and exits with status 2. Needs
// neither a terminal nor a database: call it first thing in main.
void answer_command_line(int argc, char** argv, const About& about);

// Takes the command line (argument 0 stays readable through rt::arg0()),
// makes the run the terminal's foreground process group when it was
// started without job control (program/foreground.h), sets the locale from
// the environment (so that UTF-8 terminals work), and registers the
// clean-ups that every way out runs, the terminal given back last.
void start(int argc, char** argv);

// Connects to the database "lunadesk" on the back end the environment
// chooses. When A4GL_SQLTYPE names no back end, or there is no such
// database (no SQLite file, an empty one, no such database on the server),
// the program says so in one line on standard error (with the commands
// that make a database) and exits with status 1; any other failure stops
// the program with the runtime's error report. A database whose schema
// version is not this release's (an earlier one, none, or a newer one) is
// refused the same way, with the command that brings it up to date, before
// anything is written to it. A save's wait for another program's lock is
// then shown on the message line, and Ctrl-C typed during it gives it up.
void connect(const std::source_location& loc = std::source_location::current());

// From here on Ctrl-C (as a key or as SIGINT) only sets the interrupt flag;
// SIGHUP and SIGTERM restore the terminal, roll back and end the run.
void defer_interrupt();

// How a program's screen is set up before its first form.
struct ScreenOptions {
  bool input_wrap = false;             // Return in the last field goes back to the first
  int menu_line = 2;                   // ring menus on this line (their help line below)
  int comment_line = 23;               // the fields' comments
  const char* help_file = "help.hlp";  // Ctrl-W's help messages
};

// The start every program makes, in this order: its command line answered,
// the run started, the database connected, interrupts deferred, the
// screen's lines, input wrap and help file set. The program's own state
// and first form come after.
void begin(int argc, char** argv, const About& about, const ScreenOptions& screen,
           const std::source_location& loc = std::source_location::current());

// Ends the run: forms and windows closed, terminal restored, connection
// closed, exit with the given status.
[[noreturn]] void end(int status = 0);

}  // namespace rt::program
