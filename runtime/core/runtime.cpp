// Process-wide state of one run: see runtime.h.
#include "core/runtime.h"
#include "core/sudden_exit.h"

#include "core/errors.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace rt {

int status = 0;
volatile std::sig_atomic_t int_flag = 0;
volatile std::sig_atomic_t int_count = 0;
volatile std::sig_atomic_t quit_flag = 0;

namespace {

std::string g_arg0;
std::vector<std::string> g_args;
std::vector<Cleanup> g_cleanups;
std::string g_errlog_path;
bool g_in_cleanup = false;
// Set while an input loop waits for a key.
volatile std::sig_atomic_t g_quit_deferred = 0;
// Called from the SIGHUP/SIGTERM handler outside input loops.
volatile QuitHook g_quit_hook = nullptr;
// Called from the SIGINT handler while a program allows it.
volatile QuitHook g_interrupt_hook = nullptr;
// Called from a handler that ends the process at once.
volatile QuitHook g_sudden_exit_hook = nullptr;
bool g_deferred = false;

std::string timestamp() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%m/%d/%Y %H:%M:%S", &tm);
  return buf;
}

void report(const std::source_location& where, int code, std::string_view message, bool sql) {
  run_cleanups();
  std::string text = "Program stopped at '" + std::string(source_name(where)) + "', line number " +
                     std::to_string(where.line()) + ".\n" + (sql ? "SQL statement error" : "Error") + " number " +
                     std::to_string(code) + ".\n";
  // A database that went away, a full disk or a damaged file are told in
  // the system's words; the database library's own, which an operator
  // cannot act on, go to the error log only.
  const bool worded = sql && err::surroundings(code);
  std::string shown = text + std::string(worded ? err::text(code) : message);
  std::string logged = text + std::string(message);
  if (shown.back() != '\n') shown += '\n';
  if (logged.back() != '\n') logged += '\n';
  std::fputs(shown.c_str(), stderr);
  std::fflush(stderr);
  if (errlog_started()) errlog(logged);
}

void on_interrupt(int) {
  const int saved_errno = errno;
  int_flag = 1;
  int_count = int_count + 1;
  if (g_interrupt_hook) g_interrupt_hook();
  errno = saved_errno;
}

// The clean-ups (a rollback through the database library, the terminal's
// restore) are not safe inside a signal handler: the handler only sets
// the flag, and the next database call or input loop ends the run from
// ordinary code. Outside an input loop the hook cuts short a statement
// that may be running (a long one, or one waiting for a lock). A second
// signal that finds the first not yet acted on ends the process at once
// (the database rolls back an unfinished transaction by itself).
void on_quit(int) {
  if (quit_flag && !g_quit_deferred) {
    if (g_sudden_exit_hook) g_sudden_exit_hook();
    std::_Exit(2);
  }
  const int saved_errno = errno;
  quit_flag = 1;
  if (!g_quit_deferred && g_quit_hook) g_quit_hook();
  errno = saved_errno;
}

}  // namespace

void set_args(int argc, char** argv) {
  g_args.clear();
  g_arg0 = argc > 0 && argv[0] ? argv[0] : "";
  for (int i = 1; i < argc; ++i) g_args.emplace_back(argv[i]);
}

const std::string& arg0() { return g_arg0; }
const std::vector<std::string>& args() { return g_args; }

std::string exe_dir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

void add_cleanup(Cleanup fn) {
  for (Cleanup c : g_cleanups)
    if (c == fn) return;
  g_cleanups.push_back(fn);
}

void run_cleanups() {
  if (g_in_cleanup) return;
  g_in_cleanup = true;
  for (auto it = g_cleanups.rbegin(); it != g_cleanups.rend(); ++it) (*it)();
  g_in_cleanup = false;
}

void start_errlog(const std::string& path) {
  g_errlog_path = path;
  if (path.empty()) return;
  // The log exists from the start, so that an empty one can be removed at
  // the end and a kept one tells that the run had something to say.
  std::ofstream out(path, std::ios::app);
}

bool errlog_started() { return !g_errlog_path.empty(); }

void errlog(std::string_view text) {
  if (g_errlog_path.empty()) return;
  std::ofstream out(g_errlog_path, std::ios::app);
  out << timestamp() << '\n' << text;
  if (!text.empty() && text.back() != '\n') out << '\n';
}

void fatal_sql(const std::source_location& where, int code, std::string_view message) {
  report(where, code, message, true);
  std::_Exit(1);
}

void fatal_error(const std::source_location& where, int code, std::string_view message) {
  report(where, code, message, false);
  std::_Exit(1);
}

void exit_program(int code) {
  run_cleanups();
  std::fflush(nullptr);
  std::exit(code);
}

void defer_interrupts() {
  struct sigaction sa {};
  sa.sa_handler = on_interrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a blocking read wakes up and sees the flag
  sigaction(SIGINT, &sa, nullptr);
  sa.sa_handler = on_quit;
  sigaction(SIGHUP, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  g_deferred = true;
}

bool interrupts_deferred() { return g_deferred; }

void set_quit_deferred(bool on) { g_quit_deferred = on ? 1 : 0; }

void set_quit_hook(QuitHook hook) { g_quit_hook = hook; }

void set_interrupt_hook(QuitHook hook) { g_interrupt_hook = hook; }

void set_sudden_exit_hook(QuitHook hook) { g_sudden_exit_hook = hook; }

void stop_on_signal() {
  run_cleanups();
  std::_Exit(2);
}

std::string_view source_name(const std::source_location& where) {
  std::string_view f = where.file_name();
  auto slash = f.rfind('/');
  return slash == std::string_view::npos ? f : f.substr(slash + 1);
}

}  // namespace rt
