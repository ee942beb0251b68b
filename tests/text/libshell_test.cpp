// Shell helpers: what comes back from the pipes, their limits, and values
// joined into command lines staying one word.
#include "libshell.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "scratch_dir.h"

namespace {

std::ptrdiff_t open_fds() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

TEST(ShellQuote, EveryTextComesBackFromTheShellAsItWas) {
  EXPECT_EQ(shell_quote("it's"), "'it'\\''s'");
  for (const char* text : {"", "a b", "''", "$(touch x)", "`x`", "a;b|c&d", "$HOME *", "\\n\"", "-n"})
    EXPECT_EQ(rx_shell("printf %s " + shell_quote(text)), text) << text;
}

TEST(RxShell, FirstLineWithItsLineEnd) {
  EXPECT_EQ(rxshell("printf 'one\\ntwo\\n'"), "one\n");
  EXPECT_EQ(rxshell("printf '%0300d\\n' 0"), std::string(256, '0'));
  const auto before = open_fds();
  EXPECT_EQ(rxshell("true"), std::nullopt);
  EXPECT_EQ(rxshell("yes"), "y\n");  // a command still writing is ended
  EXPECT_EQ(open_fds(), before);
  // A command line longer than 128 bytes is not started, not cut.
  ScratchDir dir;
  const std::string touch = "touch ran; echo ok; : ";
  EXPECT_EQ(rxshell(touch + std::string(128 - touch.size(), 'x')), "ok\n");
  std::filesystem::remove("ran");
  EXPECT_EQ(rxshell(touch + std::string(129 - touch.size(), 'x')), std::nullopt);
  EXPECT_EQ(rx_shell(touch + std::string(129 - touch.size(), 'x')), "");
  EXPECT_FALSE(dir.exists("ran"));
}

TEST(RxShellWhole, OutputWithOneFinalLineEndDropped) {
  EXPECT_EQ(rx_shell("echo word"), "word");
  EXPECT_EQ(rx_shell("printf 'one\\ntwo\\n\\n'"), "one\ntwo\n");
  EXPECT_EQ(rx_shell("head -c 10000 /dev/zero | tr '\\0' a"), std::string(8192, 'a'));
}

// 0 when rx_shell gives an empty text once no descriptor is free for a pipe.
int rx_shell_without_descriptors() {
  const rlimit lim{3, 3};
  if (setrlimit(RLIMIT_NOFILE, &lim) != 0) return 2;
  return rx_shell("echo hi").empty() ? 0 : 1;
}

TEST(RxShellWhole, PopenFailureIsReportedOnStandardError) {
  EXPECT_EXIT(_exit(rx_shell_without_descriptors()), testing::ExitedWithCode(0), "^popen failed\n$");
}

// Split as the shell splits (quotes, backslashes, blanks), checked against
// the shell itself; but nothing that the shell would expand or run is.
TEST(ShellWords, SplitAsTheShellSplitsWithoutExpanding) {
  auto joined = [](const std::vector<std::string>& words) {
    std::string s;
    for (const std::string& w : words) s += "[" + w + "]";
    return s;
  };
  for (const char* text : {"-o 'page-label=Draft copy'", "-o \"a b\"  c ", "a\\ b", "'it'\\''s'", "\"x\\\"y\"",
                           "\"a\\\\b\"", "\"a\\nb\"", "''", "a''b \"\"", "  lead\ttrail ", "x\\\ny", "'a\nb'",
                           "\"a\\\nb\"", "--", "-o x -- /etc/hostname", "-olandscape"}) {
    EXPECT_EQ(joined(shell_words(text)), rx_shell("set -f; printf '[%s]' " + std::string(text))) << text;
  }
  EXPECT_EQ(shell_words("a;b $(touch x) `id` ~ * $HOME"),
            (std::vector<std::string>{"a;b", "$(touch", "x)", "`id`", "~", "*", "$HOME"}));
  EXPECT_EQ(shell_words("'unterminated x"), std::vector<std::string>{"unterminated x"});
  EXPECT_TRUE(shell_words(" \t\n").empty());
}

// The program ignores SIGPIPE and may block signals; the commands it
// starts see neither. So a command whose reader stopped ends quietly
// instead of complaining over the screen about a broken pipe (or, if it
// ignores write errors, writing for ever).
TEST(ShellCommands, StartWithTheDefaultSignalDispositions) {
  ScratchDir dir;
  struct sigaction ignore {
  }, old_pipe{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old_pipe);
  sigset_t usr1, old_mask;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  sigprocmask(SIG_BLOCK, &usr1, &old_mask);

  // The standard signals (1 to 31) of the masks the kernel shows; the C
  // library keeps real-time signals of its own ignored in a child.
  const std::string status =
      "for m in $(sed -n 's/^Sig\\(Blk\\|Ign\\):\\t//p' /proc/$$/status); do echo $((0x$m & 0x7fffffff)); done";
  const std::string clean = "0\n0";
  EXPECT_EQ(rx_shell(status), clean);
  EXPECT_EQ(shell_run(status + " >run.txt"), 0);
  EXPECT_EQ(rx_shell("cat run.txt"), clean);
  EXPECT_EQ(rxshell("yes 2>yes.err"), "y\n");
  EXPECT_EQ(std::filesystem::file_size(dir.path / "yes.err"), 0u) << "nothing complained about a broken pipe";
  ShellPipe p = shell_popen("while :; do echo y; done");
  ASSERT_NE(p.out, nullptr);
  EXPECT_EQ(std::fgetc(p.out), 'y');
  EXPECT_EQ(shell_pclose(p), std::nullopt) << "the endless writer ended on its broken pipe";

  sigprocmask(SIG_SETMASK, &old_mask, nullptr);
  sigaction(SIGPIPE, &old_pipe, nullptr);
}

TEST(SmallServices, RandomIntegerAndTemporaryName) {
  EXPECT_EQ(get_random_int(7, 7), 7);
  const auto v = get_random_int(1, 6);
  EXPECT_TRUE(v && *v >= 1 && *v <= 6);
  EXPECT_EQ(get_random_int(6, 1), std::nullopt);
  const std::string name = get_mktemp();
  EXPECT_EQ(name.size(), 15u);
  EXPECT_TRUE(name.starts_with("/tmp/file"));
  EXPECT_FALSE(std::filesystem::exists(name));
}

TEST(RemoveLog, RemovesOnlyAnEmptyFile) {
  ScratchDir dir;
  // Names that the shell would read as syntax or options stay file names.
  for (const std::string name : {"itemsclr.log", "it's a.log", "$(touch ran)", "-rf x", "x;touch ran"}) {
    dir.write(name, "");
    dir.write("keep " + name, "some text\n");
    removelog(name);
    removelog("keep " + name);
    EXPECT_FALSE(dir.exists(name)) << name;
    EXPECT_TRUE(dir.exists("keep " + name)) << name;
  }
  // A name longer than 20 bytes is not cut into the name of another file.
  dir.write(std::string(20, 'n'), "");
  dir.write(std::string(21, 'n'), "");
  removelog(std::string(21, 'n'));
  EXPECT_TRUE(dir.exists(std::string(20, 'n')));
  EXPECT_FALSE(dir.exists(std::string(21, 'n')));
  EXPECT_FALSE(dir.exists("ran"));
}

}  // namespace
