// Shell helpers: command pipes, running a command, quoting, and the small
// services on top of them (see libshell.h).
#include "libshell.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "screen/screen.h"
#include "values/value.h"

namespace {

// A command line the shell may be given: within its length limit and free
// of NUL bytes, which would make the shell see only the text before them.
bool startable(std::string_view cmd, std::size_t limit) {
  return cmd.size() <= limit && cmd.find('\0') == std::string_view::npos;
}

// The number a command printed, as a conversion to INTEGER reads it: NULL
// when the text is not a whole number in range.
std::optional<std::int32_t> as_integer(std::string_view text) {
  rt::Value v(rt::integer_t());
  if (v.set_text(text) != rt::ConvError::None || v.is_null()) return std::nullopt;
  return static_cast<std::int32_t>(v.as_int());
}

}  // namespace

std::string shell_quote(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  out += '\'';
  return out;
}

std::vector<std::string> shell_words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
      continue;
    }
    if (c == '\\' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;  // a backslash before a line end joins the lines
      continue;
    }
    in_word = true;
    if (c == '\'') {
      for (++i; i < text.size() && text[i] != '\''; ++i) word += text[i];
    } else if (c == '"') {
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        const bool escaped = text[i] == '\\' && i + 1 < text.size() &&
                             std::string_view("$`\"\\\n").find(text[i + 1]) != std::string_view::npos;
        if (escaped) ++i;
        if (!(escaped && text[i] == '\n')) word += text[i];
      }
    } else if (c == '\\') {
      word += i + 1 < text.size() ? text[++i] : c;  // at the very end it stays
    } else {
      word += c;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

namespace {

// What an exec'd command inherits from us besides its descriptors: the
// ignored signals (the runtime ignores SIGPIPE) and the signal mask. Both
// are put back to what a command expects.
struct SpawnAttr {
  posix_spawnattr_t attr;
  SpawnAttr() {
    posix_spawnattr_init(&attr);
    sigset_t all, none;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }
  ~SpawnAttr() { posix_spawnattr_destroy(&attr); }
  SpawnAttr(const SpawnAttr&) = delete;
  SpawnAttr& operator=(const SpawnAttr&) = delete;
};

// Starts "/bin/sh -c cmd"; with `out_fd` its standard output goes there.
// The child's pid, or -1.
pid_t spawn_shell(std::string_view cmd, int out_fd) {
  if (cmd.find('\0') != std::string_view::npos) return -1;
  // The command writes to the same terminal: what we wrote comes first,
  // the screen's last drawing too (a message shown while the command runs).
  rt::ui::flush();
  std::fflush(stdout);
  std::fflush(stderr);
  const std::string line(cmd);
  char sh[] = "sh", dash_c[] = "-c";
  char* argv[] = {sh, dash_c, const_cast<char*>(line.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out_fd >= 0) posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
  SpawnAttr attr;
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, "/bin/sh", &actions, &attr.attr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Waits for the child, through interrupted waits; its exit code, nullopt
// when it was killed by a signal.
std::optional<int> wait_child(pid_t pid) {
  int st = 0;
  while (waitpid(pid, &st, 0) == -1) {
    if (errno != EINTR) return std::nullopt;
  }
  if (!WIFEXITED(st)) return std::nullopt;
  return WEXITSTATUS(st);
}

}  // namespace

std::optional<int> shell_run(std::string_view cmd) {
  // As the C library's system(): the keys that interrupt the command do
  // not reach the program waiting for it.
  struct sigaction ignore {
  }, old_int{}, old_quit{};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGINT, &ignore, &old_int);
  sigaction(SIGQUIT, &ignore, &old_quit);
  const pid_t pid = spawn_shell(cmd, -1);
  std::optional<int> code = pid == -1 ? std::nullopt : wait_child(pid);
  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGQUIT, &old_quit, nullptr);
  return code;
}

ShellPipe shell_popen(std::string_view cmd) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  const pid_t pid = spawn_shell(cmd, fds[1]);
  close(fds[1]);
  if (pid == -1) {
    close(fds[0]);
    return {};
  }
  ShellPipe p;
  p.out = fdopen(fds[0], "r");
  if (p.out == nullptr) {
    close(fds[0]);
    wait_child(pid);
    return {};
  }
  p.pid = pid;
  return p;
}

std::optional<int> shell_pclose(ShellPipe& p) {
  if (p.out == nullptr) return std::nullopt;
  std::fclose(p.out);
  p.out = nullptr;
  std::optional<int> code = wait_child(p.pid);
  p.pid = -1;
  return code;
}

std::optional<std::string> rxshell(std::string_view cmd) {
  if (!startable(cmd, kShellCmdMax)) return std::nullopt;
  ShellPipe p = shell_popen(cmd);
  if (p.out == nullptr) return std::nullopt;
  std::string first;
  int c;
  while (first.size() < kShellLineMax && (c = std::getc(p.out)) != EOF) {
    first += static_cast<char>(c);
    if (c == '\n') break;
  }
  // Closing before the command has finished writing ends it with a broken
  // pipe; it is then waited for, so nothing is left running or open.
  shell_pclose(p);
  if (first.empty()) return std::nullopt;
  return rt::rtrim(first);
}

std::string rx_shell(std::string_view cmd) {
  if (!startable(cmd, kShellCmdMax)) {
    std::fputs("command too long\n", stderr);
    return {};
  }
  ShellPipe p = shell_popen(cmd);
  if (p.out == nullptr) {
    std::fputs("popen failed\n", stderr);
    return {};
  }
  std::string out(kShellOutputMax, '\0');
  std::size_t got = 0;
  while (got < out.size()) {
    const std::size_t n = std::fread(out.data() + got, 1, out.size() - got, p.out);
    if (n == 0) break;
    got += n;
  }
  shell_pclose(p);
  out.resize(got);
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::optional<std::int32_t> get_random_int(std::int32_t lv_min, std::int32_t lv_max) {
  const std::string cmd = "shuf -i " + std::to_string(lv_min) + "-" + std::to_string(lv_max) + " -n 1";
  std::optional<std::string> first = rxshell(cmd);
  if (!first) return std::nullopt;
  if (!first->empty() && first->back() == '\n') first->pop_back();
  return as_integer(*first);
}

void removelog(std::string_view lv_file) {
  const std::string name = rt::rtrim(lv_file);
  // The name is used whole, never cut to its 20 bytes: a cut name could be
  // that of another file. An empty name names no file.
  if (name.empty()) return;
  const std::string quoted = shell_quote(name);
  const std::optional<std::int32_t> code = as_integer(rx_shell("test -s " + quoted + "; echo $?"));
  // 1: missing or empty. "--" keeps a name that starts with "-" a name.
  if (code == 1) shell_run("rm -f -- " + quoted);
}

std::string get_mktemp() {
  static constexpr std::string_view kChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::mt19937_64 gen{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, kChars.size() - 1);
  std::string name = "/tmp/fileXXXXXX";
  // As many tries as the C library's own mktemp makes.
  for (int attempt = 0; attempt < 238328; ++attempt) {
    for (std::size_t i = name.size() - 6; i < name.size(); ++i) name[i] = kChars[pick(gen)];
    struct stat st;
    if (lstat(name.c_str(), &st) != 0) {
      if (errno == ENOENT) return name;
      return {};  // /tmp cannot be looked into: no name is known to be free
    }
  }
  return {};
}
