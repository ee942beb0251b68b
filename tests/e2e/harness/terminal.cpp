// The Terminal: moves bytes between the pty and libvterm, and waits.
//
// Every wait is one loop: read what the program wrote (feeding libvterm and
// the output log), send back what libvterm answers, check the condition,
// then sleep in poll() until the pty or the child's pidfd has news. Nothing
// ever sleeps for a fixed time.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <termios.h>
#include <poll.h>
#include <unistd.h>

#include "e2e/terminal.h"
#include "failure_dump.h"
#include "pty_child.h"
#include "screen_dump.h"
#include "vt_screen.h"

namespace e2e {

using Clock = std::chrono::steady_clock;

struct Terminal::Impl {
  Impl(const Options& opt) : screen(opt.rows, opt.cols), child(opt), spawn_time(Clock::now()) {
    std::string prog = opt.argv[0];
    name = prog.substr(prog.rfind('/') + 1);
    last_output = spawn_time;
  }

  detail::VtScreen screen;
  detail::PtyChild child;
  std::string name;
  std::string log;       // everything the program wrote
  std::string to_child;  // typed or answered, not yet written to the pty
  Clock::time_point spawn_time, last_output;
  bool eof = false;  // the master has nothing more to read, ever

  bool exited() { return child.poll_exit().has_value(); }
  bool finished() { return eof && exited(); }  // the screen can no longer change

  // Reads all the program has written so far, without waiting.
  void read_available() {
    if (eof || child.master() < 0) return;
    char buf[65536];
    for (;;) {
      ssize_t n = ::read(child.master(), buf, sizeof buf);
      if (n > 0) {
        log.append(buf, static_cast<std::size_t>(n));
        screen.feed({buf, static_cast<std::size_t>(n)});
        last_output = Clock::now();
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) break;
      eof = true;  // EIO: every slave descriptor is closed
      break;
    }
    if (screen.has_outgoing()) to_child += screen.take_outgoing();
  }

  // Writes as much of to_child as the pty takes now; true when all is gone.
  bool write_some() {
    while (!to_child.empty()) {
      if (child.master() < 0 || exited()) {  // nobody will read it
        to_child.clear();
        break;
      }
      ssize_t n = ::write(child.master(), to_child.data(), to_child.size());
      if (n > 0) {
        to_child.erase(0, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return false;
      throw Error("writing to the terminal of " + name + ": " + std::strerror(errno));
    }
    return true;
  }

  // Sleeps until the pty can be read (or written, with input waiting), the
  // child ends, or ms pass.
  void wait_io(int ms) {
    pollfd fds[2];
    nfds_t n = 0;
    if (!eof && child.master() >= 0) {
      fds[n++] = {child.master(), static_cast<short>(POLLIN | (to_child.empty() ? 0 : POLLOUT)), 0};
    }
    if (child.pidfd() >= 0)
      fds[n++] = {child.pidfd(), POLLIN, 0};
    else if (!exited())
      ms = std::min(ms, 10);  // no pidfd on this kernel: look again soon
    ::poll(fds, n, std::max(ms, 0));
  }

  // Sends to_child, reading output meanwhile so that a program blocked on
  // a full output buffer can go on and read its input.
  void flush(const char* what) {
    read_available();
    auto deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
    while (!write_some()) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0)
        throw Error(name + " does not read its input: " + std::to_string(to_child.size()) + " bytes of " + what +
                    " could not be sent in " + std::to_string(kTimeoutMs) + " ms");
      wait_io(static_cast<int>(left));
      read_available();
    }
  }

  int ms_left(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
  }

  void check_row(int r) const {
    if (r < 1 || r > screen.rows())
      throw Error("row " + std::to_string(r) + " is outside the " + std::to_string(screen.rows()) + "-row screen");
  }
  void check_cell(int r, int c) const {
    check_row(r);
    if (c < 1 || c > screen.cols())
      throw Error("column " + std::to_string(c) + " is outside the " + std::to_string(screen.cols()) +
                  "-column screen");
  }
  std::string full_row(int r) const { return screen.row_text(r - 1, 0, screen.cols()); }
};

Terminal::Terminal(const Options& opt) : impl_(std::make_unique<Impl>(opt)) { detail::register_terminal(this); }

Terminal::~Terminal() { detail::unregister_terminal(this); }

// --- input -----------------------------------------------------------------

void Terminal::send(std::string_view bytes) {
  if (impl_->child.master() < 0) throw Error("send() after hangup()");
  impl_->to_child.append(bytes);
  impl_->flush("raw input");
}

void Terminal::key(std::string_view name) {
  if (impl_->child.master() < 0) throw Error("key() after hangup()");
  impl_->read_available();  // the keypad mode the program set decides the encoding
  impl_->screen.key_name(name);
  impl_->to_child += impl_->screen.take_outgoing();
  impl_->flush("a key");
}

void Terminal::type(std::string_view text) {
  if (impl_->child.master() < 0) throw Error("type() after hangup()");
  impl_->read_available();
  impl_->screen.text(text);
  impl_->to_child += impl_->screen.take_outgoing();
  impl_->flush("typed text");
}

// --- waiting ---------------------------------------------------------------

bool Terminal::wait_until(const std::function<bool()>& pred, int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    impl_->read_available();
    impl_->write_some();
    if (pred()) return true;
    if (impl_->finished()) return false;
    int left = impl_->ms_left(deadline);
    if (left == 0) return false;
    impl_->wait_io(left);
  }
}

bool Terminal::wait_for(std::string_view text, int timeout_ms) {
  return wait_until([&] { return contains(text); }, timeout_ms);
}

bool Terminal::wait_gone(std::string_view text, int timeout_ms) {
  return wait_until([&] { return !contains(text); }, timeout_ms);
}

bool Terminal::wait_for_at(int row, int col, std::string_view text, int timeout_ms) {
  impl_->check_cell(row, col);
  return wait_until(
      [&] {
        if (row > rows() || col > cols()) return false;
        return impl_->screen.row_text(row - 1, col - 1, cols() - col + 1).starts_with(text);
      },
      timeout_ms);
}

bool Terminal::wait_cursor(int row, int col, int timeout_ms) {
  return wait_until([&] { return cursor() == std::pair{row, col}; }, timeout_ms);
}

bool Terminal::wait_settled(int quiet_ms, int timeout_ms) {
  auto start = Clock::now();
  auto deadline = start + std::chrono::milliseconds(timeout_ms);
  auto quiet = std::chrono::milliseconds(quiet_ms);
  auto quiet_from = start;
  for (;;) {
    impl_->read_available();
    impl_->write_some();
    if (impl_->finished()) return true;
    auto now = Clock::now();
    // Unread input is not quiet: the program has yet to answer it. Nothing
    // signals the moment it reads, so look again shortly.
    int poll_cap = quiet_ms;
    if (!impl_->to_child.empty() || impl_->child.input_pending() > 0) {
      quiet_from = now;
      poll_cap = 2;
    }
    auto since = now - std::max(quiet_from, impl_->last_output);
    if (since >= quiet) return true;
    int left = impl_->ms_left(deadline);
    if (left == 0) return false;
    int to_quiet = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(quiet - since).count()) + 1;
    impl_->wait_io(std::min({left, to_quiet, poll_cap}));
  }
}

// --- the screen --------------------------------------------------------------

int Terminal::rows() const { return impl_->screen.rows(); }
int Terminal::cols() const { return impl_->screen.cols(); }

std::string Terminal::row(int r) const {
  impl_->check_row(r);
  std::string s = impl_->full_row(r);
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

std::string Terminal::text_at(int r, int c, int ncells) const {
  impl_->check_cell(r, c);
  return impl_->screen.row_text(r - 1, c - 1, ncells);
}

std::string Terminal::screen_text() const {
  std::string out;
  for (int r = 1; r <= rows(); ++r) {
    if (r > 1) out += '\n';
    out += row(r);
  }
  return out;
}

bool Terminal::contains(std::string_view text) const {
  for (int r = 1; r <= rows(); ++r)
    if (impl_->full_row(r).find(text) != std::string::npos) return true;
  return false;
}

Cell Terminal::cell(int r, int c) const {
  impl_->check_cell(r, c);
  return impl_->screen.cell(r - 1, c - 1);
}

std::string Terminal::reverse_text(int r) const {
  impl_->check_row(r);
  std::string out;
  bool in_run = false;
  for (int c = 0; c < cols(); ++c) {
    Cell cl = impl_->screen.cell(r - 1, c);
    if (cl.reverse) {
      out += cl.text;
      in_run = true;
    } else if (in_run && cl.width != 0) {
      break;
    }
  }
  return out;
}

std::pair<int, int> Terminal::cursor() const {
  auto [r, c] = impl_->screen.cursor();
  return {r + 1, c + 1};
}

bool Terminal::cursor_visible() const { return impl_->screen.cursor_visible(); }
bool Terminal::alt_screen() const { return impl_->screen.alt_screen(); }
int Terminal::bells() const { return impl_->screen.bells(); }

// --- output ----------------------------------------------------------------

Mark Terminal::mark() const { return {impl_->log.size(), Clock::now()}; }
Mark Terminal::spawned() const { return {0, impl_->spawn_time}; }
std::size_t Terminal::bytes_received() const { return impl_->log.size(); }

std::size_t Terminal::bytes_since(const Mark& m) const {
  return impl_->log.size() - std::min(m.bytes, impl_->log.size());
}

std::string Terminal::output_since(const Mark& m) const {
  return impl_->log.substr(std::min(m.bytes, impl_->log.size()));
}

double Terminal::ms_since(const Mark& m) const {
  return std::chrono::duration<double, std::milli>(Clock::now() - m.at).count();
}

std::string Terminal::raw_tail(std::size_t n) const {
  const std::string& log = impl_->log;
  return escape(std::string_view(log).substr(log.size() - std::min(n, log.size())));
}

std::size_t Terminal::input_pending() const { return impl_->to_child.size() + impl_->child.input_pending(); }

// --- the process -------------------------------------------------------------

pid_t Terminal::pid() const { return impl_->child.pid(); }

std::vector<pid_t> Terminal::children() const {
  const std::string pid = std::to_string(impl_->child.pid());
  std::ifstream in("/proc/" + pid + "/task/" + pid + "/children");
  std::vector<pid_t> out;
  for (pid_t p = 0; in >> p;) out.push_back(p);
  return out;
}

pid_t Terminal::foreground_group() const { return impl_->child.master() < 0 ? -1 : ::tcgetpgrp(impl_->child.master()); }

bool Terminal::running() { return !impl_->exited(); }

void Terminal::signal(int sig) {
  if (impl_->exited())
    throw Error("cannot signal " + label() + ": it ended with " + impl_->child.poll_exit()->describe());
  ::kill(impl_->child.pid(), sig);
}

void Terminal::resize(int rows, int cols) {
  if (rows < 1 || cols < 1) throw Error("terminal size must be at least 1x1");
  impl_->read_available();  // what was drawn at the old size stays drawn at it
  impl_->screen.resize(rows, cols);
  impl_->child.set_window_size(rows, cols);
}

void Terminal::hangup() {
  impl_->read_available();
  impl_->child.hangup();
  impl_->eof = true;
}

std::optional<ExitStatus> Terminal::wait_exit(int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    impl_->read_available();
    impl_->write_some();
    if (impl_->exited()) {
      impl_->read_available();  // the last words, written just before the end
      return impl_->child.poll_exit();
    }
    int left = impl_->ms_left(deadline);
    if (left == 0) return std::nullopt;
    impl_->wait_io(left);
  }
}

// --- diagnostics ---------------------------------------------------------------

std::string Terminal::label() const { return impl_->name + " (pid " + std::to_string(impl_->child.pid()) + ")"; }

std::string Terminal::dump() const {
  const auto& st = impl_->child.poll_exit();
  std::string state = st ? "ended with " + st->describe() : "running";
  return detail::draw_screen(impl_->screen, label(), state, impl_->log);
}

}  // namespace e2e
