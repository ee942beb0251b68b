// A program running in a pseudo-terminal, with libvterm as the terminal.
//
// Owns one child process (its own session, the pty slave as its controlling
// terminal), the pty master, and a libvterm screen that draws everything the
// child writes. Keys go in as this terminal sends them: libvterm encodes
// them, so an arrow key is "\eOA" once the program has switched the keypad
// to application mode and "\e[A" before, exactly as on a real xterm. TERM is
// set to an xterm entry whose terminfo key strings are those libvterm sends.
//
// Synchronisation is by state, never by time: wait for a text, a cursor
// position or any predicate on the screen, or for the program to have read
// all typed input and gone quiet. Every wait returns false on timeout, and
// returns early once the program has exited and cannot change the screen.
//
// Rows and columns count from 1, top left, as the programs' screen
// descriptions count them.
//
// Lifetime: the destructor kills the whole process group of a child still
// running and reaps it; a child also dies when the test process dies, so a
// failing or crashing test never leaves one behind. Inside a googletest run,
// every failed assertion prints the screen, the cursor and the last raw
// bytes of each terminal still open.
//
// Misuse and system failures (no such program, fork failing, a program that
// stops reading its input) throw e2e::Error; a wait that times out is not an
// error but a false result.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace e2e {

struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Options {
  // argv[0] is the program: a path, or a name looked up in the child's PATH.
  std::vector<std::string> argv;
  // The child's environment is a clean base (TERM, LANG=C.UTF-8,
  // LC_ALL=C.UTF-8, HOME, PATH, TMPDIR and the sanitizer options of the test
  // process), then these entries added or replaced, then `unset` removed.
  std::map<std::string, std::string> env;
  std::vector<std::string> unset;
  std::string cwd;  // empty: the test's working directory
  int rows = 24;
  int cols = 80;
  // A terminfo entry whose key strings match what libvterm sends.
  std::string term = "xterm-256color";
  // false: the pty is not the child's controlling terminal (the child is
  // still in a session of its own), as for a program whose terminal's
  // hang-up goes to another process: closing the master then sends it no
  // signal, its reads only fail, and Ctrl-C raises no SIGINT.
  bool controlling_terminal = true;
  // Non-empty: the child is /bin/sh running this script, with argv as its
  // "$0" and "$@" (sh -c SCRIPT argv...), as a site's menu script starts a
  // program: the shell does no job control, so the commands it starts share
  // its process group. pid() is then the shell's; children() names what it
  // started.
  std::string shell_script;
  // With shell_script: an interactive shell (sh -i), which does job
  // control: each command it starts gets a process group of its own as the
  // terminal's foreground group.
  bool job_control = false;
};

// How a child ended: an exit status, or the signal that killed it.
struct ExitStatus {
  int code = -1;   // exit status when signal == 0
  int signal = 0;  // the killing signal, 0 if the child exited

  static ExitStatus exited_with(int code) { return {code, 0}; }
  static ExitStatus killed_by(int sig) { return {-1, sig}; }
  bool exited() const { return signal == 0; }
  std::string describe() const;  // "exit status 3", "killed by signal 15 (Terminated)"
  bool operator==(const ExitStatus&) const = default;
};
std::ostream& operator<<(std::ostream& os, const ExitStatus& st);

// One cell of the screen. The right half of a wide character has an empty
// text and width 0; a blank cell has the text " ".
struct Cell {
  std::string text;  // UTF-8, with combining characters
  int width = 1;
  bool bold = false, underline = false, italic = false, blink = false, reverse = false;
  int fg = -1, bg = -1;  // palette index, -1 for the default colour, -2 for direct RGB
};

// A point in the output stream and in time, for "what did the program write
// since" and "how long did it take".
struct Mark {
  std::size_t bytes = 0;
  std::chrono::steady_clock::time_point at;
};

class Terminal {
 public:
  explicit Terminal(const Options& opt);  // throws Error when the program cannot start
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // --- input ---------------------------------------------------------------
  // All bytes of one call go to the pty in one write() when the line has
  // room (a few kilobytes that the program has not read yet), as a paste
  // does; a call returns once everything is written. The program not
  // reading for kTimeoutMs throws Error.
  void send(std::string_view bytes);  // raw bytes, no encoding
  // A key by name, as the terminal sends it: "enter", "tab", "backtab",
  // "backspace", "esc", "up", "down", "left", "right", "insert", "delete",
  // "home", "end", "pgup", "pgdn", "f1".."f63", "space", or one character;
  // with any of the prefixes "ctrl-", "shift-", "alt-" ("ctrl-c",
  // "shift-f1", "alt-x"). An unknown name throws Error.
  void key(std::string_view name);
  // Text as typed on the keyboard. Control characters in it are sent as
  // they are: "\n" is Ctrl-J, not Return (that is key("enter")).
  void type(std::string_view utf8_text);

  // --- waiting -------------------------------------------------------------
  static constexpr int kTimeoutMs = 5000;
  // `pred` is checked now and after every chunk of output until it holds.
  bool wait_until(const std::function<bool()>& pred, int timeout_ms = kTimeoutMs);
  bool wait_for(std::string_view text, int timeout_ms = kTimeoutMs);  // on any row
  bool wait_for_at(int row, int col, std::string_view text, int timeout_ms = kTimeoutMs);
  bool wait_gone(std::string_view text, int timeout_ms = kTimeoutMs);  // on no row
  bool wait_cursor(int row, int col, int timeout_ms = kTimeoutMs);
  // True once the program has read everything typed and written nothing for
  // quiet_ms (counted from the call at the earliest), or has exited.
  bool wait_settled(int quiet_ms = 100, int timeout_ms = kTimeoutMs);

  // --- the screen as drawn -------------------------------------------------
  int rows() const;
  int cols() const;
  std::string row(int r) const;                         // trailing blanks removed
  std::string text_at(int r, int c, int ncells) const;  // exactly ncells cells
  std::string screen_text() const;                      // every row, trimmed, joined by '\n'
  bool contains(std::string_view text) const;
  Cell cell(int r, int c) const;
  // The first run of reverse-video cells on row r, "" if none.
  std::string reverse_text(int r) const;
  std::pair<int, int> cursor() const;  // {row, col}
  bool cursor_visible() const;
  bool alt_screen() const;  // the alternate screen is in use
  int bells() const;        // bells rung so far

  // --- what the program wrote ---------------------------------------------
  Mark mark() const;     // now
  Mark spawned() const;  // the moment the child was started, 0 bytes
  std::size_t bytes_received() const;
  std::size_t bytes_since(const Mark& m) const;
  std::string output_since(const Mark& m) const;  // raw bytes
  double ms_since(const Mark& m) const;           // wall time from the mark to now
  std::string raw_tail(std::size_t n) const;      // last n bytes, escapes shown
  std::size_t input_pending() const;              // bytes typed that the program has not read yet

  // --- the process and the terminal around it -----------------------------
  pid_t pid() const;
  // The running child processes of the child (what a shell started).
  std::vector<pid_t> children() const;
  // The terminal's foreground process group, -1 when there is none.
  pid_t foreground_group() const;
  bool running();
  void signal(int sig);  // to the child process
  // Resize the terminal: libvterm first, then the pty; the kernel sends
  // SIGWINCH to the program, once, as with a real terminal. A program that
  // looks for a resize only before it blocks in read() misses one that
  // lands in between, and a test shows it.
  void resize(int rows, int cols);
  // Close the master side as when a terminal window is closed: the kernel
  // hangs up the line and sends SIGHUP (none when the pty is not the
  // child's controlling terminal). The screen stays as it was; only
  // wait_exit() is of use afterwards.
  void hangup();
  // The exit status once the child has ended, nullopt on timeout.
  std::optional<ExitStatus> wait_exit(int timeout_ms = kTimeoutMs);

  // --- diagnostics ---------------------------------------------------------
  std::string label() const;  // program name and pid
  // The screen as a terminal draws it, framed with row numbers, reverse
  // video marked below each row, the cursor, and the last raw bytes.
  std::string dump() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Bytes shown with escapes: ESC as \e, other controls as \r \n \t \b \xNN;
// printable ASCII and UTF-8 as they are. A line break follows each \n.
std::string escape(std::string_view bytes);

}  // namespace e2e
