// Starting, watching and ending the child on its pseudo-terminal.
#include "pty_child.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace e2e::detail {
namespace {

[[noreturn]] void fail(const std::string& what) { throw Error(what + ": " + std::strerror(errno)); }

std::map<std::string, std::string> child_environment(const Options& opt) {
  std::map<std::string, std::string> env;
  auto inherit = [&](const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    if (v != nullptr)
      env[name] = v;
    else if (fallback != nullptr)
      env[name] = fallback;
  };
  env["TERM"] = opt.term;
  env["LANG"] = "C.UTF-8";
  env["LC_ALL"] = "C.UTF-8";
  inherit("HOME", "/");
  inherit("PATH", "/usr/local/bin:/usr/bin:/bin");
  inherit("TMPDIR", nullptr);
  // A sanitized program under test must report the way the test run asks.
  for (const char* s : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"}) inherit(s, nullptr);
  for (const auto& [k, v] : opt.env) env[k] = v;
  for (const auto& k : opt.unset) env.erase(k);
  return env;
}

std::string resolve_program(const std::string& name, const std::map<std::string, std::string>& env) {
  if (name.find('/') != std::string::npos) {
    if (::access(name.c_str(), X_OK) != 0) fail("cannot run '" + name + "'");
    return name;
  }
  auto it = env.find("PATH");
  std::string path = it == env.end() ? "" : it->second;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  throw Error("cannot run '" + name + "': not found in PATH " + path);
}

void write_all_raw(int fd, const std::string& s) {  // async-signal-safe
  const char* p = s.data();
  std::size_t left = s.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

}  // namespace

PtyChild::PtyChild(const Options& opt) {
  if (opt.argv.empty()) throw Error("Options.argv is empty: no program to run");
  if (opt.rows < 1 || opt.cols < 1) throw Error("terminal size must be at least 1x1");
  const auto env = child_environment(opt);
  const bool shell = !opt.shell_script.empty();
  const std::string path = shell ? std::string("/bin/sh") : resolve_program(opt.argv[0], env);
  if (!opt.cwd.empty() && !std::filesystem::is_directory(opt.cwd))
    throw Error("working directory '" + opt.cwd + "' does not exist");

  // Everything the child needs is built before fork: after it, only
  // async-signal-safe calls are allowed.
  std::vector<std::string> env_strings;
  for (const auto& [k, v] : env) env_strings.push_back(k + "=" + v);
  std::vector<std::string> words;
  if (shell) {
    words = {"sh"};
    if (opt.job_control) words.push_back("-i");
    words.push_back("-c");
    words.push_back(opt.shell_script);
  }
  words.insert(words.end(), opt.argv.begin(), opt.argv.end());
  std::vector<char*> argv, envp;
  for (const auto& a : words) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (auto& e : env_strings) envp.push_back(e.data());
  envp.push_back(nullptr);
  const std::string exec_failed = "e2e: cannot execute " + path + "\r\n";
  const std::string chdir_failed = "e2e: cannot change to " + opt.cwd + "\r\n";

  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) fail("posix_openpt");
  char slave_name[128];
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, slave_name, sizeof slave_name) != 0) {
    int e = errno;
    ::close(master_);
    errno = e;
    fail("cannot set up the pseudo-terminal");
  }
  slave_name_ = slave_name;
  int slave = ::open(slave_name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    ::close(master_);
    fail(std::string("cannot open ") + slave_name);
  }
  // A UTF-8 terminal: the line discipline erases whole characters.
  termios tio{};
  if (::tcgetattr(slave, &tio) == 0) {
    tio.c_iflag |= IUTF8;
    ::tcsetattr(slave, TCSANOW, &tio);
  }
  set_window_size(opt.rows, opt.cols);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ < 0) {
    int e = errno;
    ::close(master_);
    ::close(slave);
    errno = e;
    fail("fork");
  }
  if (pid_ == 0) {
    ::setsid();
    if (opt.controlling_terminal) ::ioctl(slave, TIOCSCTTY, 0);
    ::dup2(slave, 0);
    ::dup2(slave, 1);
    ::dup2(slave, 2);
    if (::syscall(SYS_close_range, 3U, ~0U, 0U) != 0)
      for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int s = 1; s < NSIG; ++s) ::sigaction(s, &dfl, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    if (!opt.cwd.empty() && ::chdir(opt.cwd.c_str()) != 0) {
      write_all_raw(2, chdir_failed);
      ::_exit(126);
    }
    ::execve(path.c_str(), argv.data(), envp.data());
    write_all_raw(2, exec_failed);
    ::_exit(127);
  }
  ::close(slave);
  pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));  // -1 on old kernels: polled instead
}

PtyChild::~PtyChild() {
  if (!status_) {
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    int st = 0;
    while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {}
  }
  if (pidfd_ >= 0) ::close(pidfd_);
  if (master_ >= 0) ::close(master_);
}

const std::optional<ExitStatus>& PtyChild::poll_exit() {
  if (status_) return status_;
  int st = 0;
  pid_t r = ::waitpid(pid_, &st, WNOHANG);
  if (r == pid_) {
    status_ = WIFSIGNALED(st) ? ExitStatus::killed_by(WTERMSIG(st)) : ExitStatus::exited_with(WEXITSTATUS(st));
    if (pidfd_ >= 0) ::close(pidfd_);
    pidfd_ = -1;
  }
  return status_;
}

void PtyChild::set_window_size(int rows, int cols) {
  if (master_ < 0) throw Error("the terminal has been hung up");
  winsize ws{};
  ws.ws_row = static_cast<unsigned short>(rows);
  ws.ws_col = static_cast<unsigned short>(cols);
  if (::ioctl(master_, TIOCSWINSZ, &ws) != 0) fail("TIOCSWINSZ");
}

std::size_t PtyChild::input_pending() {
  // Asked through a short-lived slave descriptor: a permanent one would keep
  // the master from seeing end of file when the child is gone.
  if (master_ < 0 || poll_exit()) return 0;
  int fd = ::open(slave_name_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return 0;
  int n = 0;
  if (::ioctl(fd, FIONREAD, &n) != 0) n = 0;
  ::close(fd);
  return static_cast<std::size_t>(n);
}

void PtyChild::hangup() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace e2e::detail
