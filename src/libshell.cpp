// Shell helpers: command pipes, running a command, quoting, and the small
// services on top of them (see libshell.h).
#include "libshell.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

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

std::optional<int> shell_run(std::string_view cmd) {
  if (cmd.find('\0') != std::string_view::npos) return std::nullopt;
  // The command writes to the same terminal: what we wrote comes first.
  std::fflush(stdout);
  const std::string line(cmd);
  const int st = std::system(line.c_str());
  if (st == -1 || !WIFEXITED(st)) return std::nullopt;
  return WEXITSTATUS(st);
}

std::optional<std::string> rxshell(std::string_view cmd) {
  if (!startable(cmd, kShellCmdMax)) return std::nullopt;
  const std::string line(cmd);
  FILE* p = popen(line.c_str(), "r");
  if (p == nullptr) return std::nullopt;
  std::string first;
  int c;
  while (first.size() < kShellLineMax && (c = std::getc(p)) != EOF) {
    first += static_cast<char>(c);
    if (c == '\n') break;
  }
  // Closing before the command has finished writing ends it with a broken
  // pipe; pclose then reaps it, so nothing is left running or open.
  pclose(p);
  if (first.empty()) return std::nullopt;
  return rt::rtrim(first);
}

std::string rx_shell(std::string_view cmd) {
  if (!startable(cmd, kShellCmdMax)) {
    std::fputs("command too long\n", stderr);
    return {};
  }
  const std::string line(cmd);
  FILE* p = popen(line.c_str(), "r");
  if (p == nullptr) {
    std::fputs("popen failed\n", stderr);
    return {};
  }
  std::string out(kShellOutputMax, '\0');
  std::size_t got = 0;
  while (got < out.size()) {
    const std::size_t n = std::fread(out.data() + got, 1, out.size() - got, p);
    if (n == 0) break;
    got += n;
  }
  pclose(p);
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
