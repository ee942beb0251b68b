// Process-wide state of one program run, and the one way a run ends badly.
//
// Owns exactly what a program's run really has: the status code of the last
// SQL statement, the interrupt flag, the program's name (argument 0), the
// error log, and the list of clean-up actions that every exit path runs
// (the screen registers "restore the terminal", the SQL layer registers
// "roll back what is open"). Never touches the terminal or the database
// itself: the layers above register what they need.
#pragma once

#include <csignal>
#include <source_location>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// Status code of the last SQL statement: 0 ok, 100 no row, negative error.
extern int status;

// Set by Ctrl-C once interrupts are deferred, at the moment it is pressed
// (the terminal turns the key into SIGINT), wherever the program is.
extern volatile std::sig_atomic_t int_flag;

// Counts every interrupt that arrives. A dialog compares it with the count
// at its start, so that an interrupt pressed while the dialog runs (at a
// key wait or during one of its events) ends it, and one pressed before
// it began never does: an interrupt is never kept as a key for later.
extern volatile std::sig_atomic_t int_count;

// Quit flag: SIGHUP or SIGTERM arrived; the input loops notice it and the
// run ends through stop_on_signal().
extern volatile std::sig_atomic_t quit_flag;

// Argument 0 as the program was started, and the rest of the command line.
void set_args(int argc, char** argv);
const std::string& arg0();
const std::vector<std::string>& args();
// Directory holding the running executable (for files shipped beside it).
std::string exe_dir();

// Clean-up run on every way out (normal end, fatal error, signal), latest
// registered first. Each action must be safe to run twice.
using Cleanup = void (*)();
void add_cleanup(Cleanup fn);
void run_cleanups();

// Error log: once started, fatal reports and errlog() lines go to it, each
// with the date and time first. An empty name stops logging.
void start_errlog(const std::string& path);
bool errlog_started();
void errlog(std::string_view text);

// The runtime's error report: clean-ups run (terminal restored, transaction
// rolled back), then on standard error
//   Program stopped at '<file>', line number <n>.
//   SQL statement error number <code>.
//   <message>
// (the second line reads "Error number" for non-SQL errors), the same lines
// go to the error log with the date and time, and the process exits with
// status 1.
[[noreturn]] void fatal_sql(const std::source_location& where, int code, std::string_view message);
[[noreturn]] void fatal_error(const std::source_location& where, int code, std::string_view message);

// Ends the run normally: clean-ups, then exit(code).
[[noreturn]] void exit_program(int code = 0);

// Installs SIGINT (sets int_flag, counts int_count) and SIGHUP/SIGTERM
// (set quit_flag). The
// run ends with exit status 2 where ordinary code next sees quit_flag: an
// input loop, a sleep, a database call. The handler itself runs no
// clean-up; a second SIGHUP/SIGTERM before the first is acted on ends the
// process at once.
void defer_interrupts();
// Whether defer_interrupts() has run: the terminal then lets Ctrl-C raise
// SIGINT instead of delivering it as a key.
bool interrupts_deferred();
// Called where quit_flag is seen: clean-ups and exit(2).
[[noreturn]] void stop_on_signal();
// An input loop that waits for a key sets this while it waits: it looks at
// quit_flag itself, so the handler needs to do nothing more.
void set_quit_deferred(bool on);
// An async-signal-safe function the SIGHUP/SIGTERM handler calls outside
// input loops, to cut short a database statement that may be running.
using QuitHook = void (*)();
void set_quit_hook(QuitHook hook);
// An async-signal-safe function the SIGINT handler calls after setting the
// flag (nullptr: none), to cut short the statement of a unit of work that
// the interrupt key may stop.
void set_interrupt_hook(QuitHook hook);

// Basename of a source path, as shown in the error report.
std::string_view source_name(const std::source_location& where);

}  // namespace rt
