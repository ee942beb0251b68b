// The child around the screen: how it starts (environment, session, working
// directory), how it ends (exit status, signals, hang-up), resizing, and
// that no child outlives its Terminal.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

#include "e2e/files.h"
#include "e2e/terminal.h"
#include "selftest_options.h"

namespace {

using e2e::ExitStatus;
using e2e::Options;
using e2e::Terminal;

Options shell(const std::string& script) {
  Options o;
  o.argv = {"/bin/sh", "-c", script};
  return o;
}

// True once the process is gone or a zombie, within five seconds.
bool process_ends(pid_t pid) {
  for (int i = 0; i < 5000; ++i) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    auto close = line.rfind(')');
    if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z') return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

TEST(Process, ExitStatusOfTheProgram) {
  Terminal t(e2e::selftest::app());
  ASSERT_TRUE(t.wait_for("SELFTEST APP"));
  EXPECT_TRUE(t.running());
  t.key("q");
  EXPECT_EQ(t.wait_exit(), ExitStatus::exited_with(3));
  EXPECT_FALSE(t.running());
  EXPECT_FALSE(t.alt_screen());  // endwin() left the alternate screen
  EXPECT_THROW(t.signal(SIGTERM), e2e::Error);
}

TEST(Process, SigtermRestoresTheTerminalAndExitsNonZero) {
  Terminal t(e2e::selftest::app());
  ASSERT_TRUE(t.wait_for("SELFTEST APP"));
  ASSERT_TRUE(t.alt_screen());
  e2e::Mark m = t.mark();
  t.signal(SIGTERM);
  EXPECT_EQ(t.wait_exit(), ExitStatus::exited_with(128 + SIGTERM));
  EXPECT_NE(t.output_since(m).find("\x1b[?1049l"), std::string::npos) << e2e::escape(t.output_since(m));
  EXPECT_FALSE(t.alt_screen());
}

TEST(Process, HangupSendsSighup) {
  Terminal t(e2e::selftest::app());
  ASSERT_TRUE(t.wait_for("SELFTEST APP"));
  t.hangup();
  EXPECT_EQ(t.wait_exit(), ExitStatus::exited_with(128 + SIGHUP));
  EXPECT_EQ(t.row(1), "SELFTEST APP");  // the last screen stays readable
  EXPECT_THROW(t.key("x"), e2e::Error);
}

TEST(Process, KilledBySignal) {
  Terminal t(shell("exec sleep 1000"));
  t.signal(SIGKILL);
  auto st = t.wait_exit();
  EXPECT_EQ(st, ExitStatus::killed_by(SIGKILL));
  ASSERT_TRUE(st);
  EXPECT_EQ(st->describe(), "killed by signal 9 (Killed)");
  EXPECT_EQ(ExitStatus::exited_with(3).describe(), "exit status 3");
}

TEST(Process, WaitExitTimesOutOnARunningProgram) {
  Terminal t(shell("exec sleep 1000"));
  EXPECT_EQ(t.wait_exit(50), std::nullopt);
  EXPECT_TRUE(t.running());
}

TEST(Process, WaitsEndOnceTheProgramHasEnded) {
  // The long timeouts are never reached: nothing can change the screen any
  // more once the program is gone and its output read.
  Terminal t(shell("echo hello; exit 7"));
  EXPECT_TRUE(t.wait_for("hello"));
  EXPECT_FALSE(t.wait_for("never shown", 60000));
  EXPECT_TRUE(t.wait_settled(100, 60000));
  EXPECT_EQ(t.wait_exit(), ExitStatus::exited_with(7));
  EXPECT_EQ(t.row(1), "hello");
  EXPECT_EQ(t.cursor(), std::pair(2, 1));  // the line discipline turned \n into \r\n
}

TEST(Process, LastOutputBeforeExitIsNotLost) {
  Terminal t(shell("i=0; while [ $i -lt 200 ]; do echo line $i; i=$((i+1)); done; printf 'last words'"));
  EXPECT_EQ(t.wait_exit(), ExitStatus::exited_with(0));
  EXPECT_EQ(t.row(24), "last words");
  EXPECT_EQ(t.row(23), "line 199");
}

TEST(Process, CleanEnvironmentOwnSessionAndTerminal) {
  ::setenv("E2E_MUST_NOT_LEAK", "1", 1);
  Options o = shell(
      "echo \"[$TERM|$LANG|$LC_ALL|$DBDATE|${HOME-no home}|${E2E_MUST_NOT_LEAK-clean}|${LINES-}]\"; tty; "
      "stty size; exec sleep 1000");
  o.env = {{"DBDATE", "DMY4/"}, {"LANG", "de_DE.UTF-8"}};
  o.unset = {"HOME"};
  o.rows = 30;
  o.cols = 100;
  Terminal t(o);
  ::unsetenv("E2E_MUST_NOT_LEAK");
  EXPECT_TRUE(t.wait_for("[xterm-256color|de_DE.UTF-8|C.UTF-8|DMY4/|no home|clean|]"));
  EXPECT_TRUE(t.wait_for_at(2, 1, "/dev/pts/"));
  EXPECT_TRUE(t.wait_for_at(3, 1, "30 100"));
  EXPECT_EQ(::getsid(t.pid()), t.pid());
}

TEST(Process, WorkingDirectory) {
  e2e::TempDir dir;
  Options o = shell("pwd; echo data > made_here");
  o.cwd = dir.path();
  Terminal t(o);
  EXPECT_EQ(t.wait_exit(), ExitStatus::exited_with(0));
  EXPECT_TRUE(t.contains(dir.path()));
  EXPECT_TRUE(std::ifstream(dir.file("made_here")).good());
}

TEST(Process, ProgramsThatCannotStartAreErrors) {
  EXPECT_THROW(Terminal(Options{}), e2e::Error);
  Options missing;
  missing.argv = {"no-such-program-e2e"};
  EXPECT_THROW(Terminal{missing}, e2e::Error);
  Options bad_dir = shell("true");
  bad_dir.cwd = "/no/such/dir";
  EXPECT_THROW(Terminal{bad_dir}, e2e::Error);
  EXPECT_THROW(e2e::bin_path("no-such-program-e2e"), e2e::Error);
}

TEST(Process, NoChildOutlivesItsTerminal) {
  pid_t child = 0, grandchild = 0;
  {
    // A grandchild in the same process group goes with the child.
    Terminal t(shell("sleep 1000 & echo \"bg $!\"; wait"));
    ASSERT_TRUE(t.wait_for("bg "));
    grandchild = std::atoi(t.row(1).substr(3).c_str());
    child = t.pid();
    ASSERT_GT(grandchild, 0);
  }
  EXPECT_EQ(::kill(child, 0), -1);
  EXPECT_EQ(errno, ESRCH);
  EXPECT_TRUE(process_ends(grandchild));
}

TEST(Process, ResizeRedrawsAtTheNewSize) {
  Terminal t(e2e::selftest::app());
  ASSERT_TRUE(t.wait_for_at(24, 78, "END"));
  t.resize(30, 100);
  EXPECT_EQ(t.rows(), 30);
  EXPECT_EQ(t.cols(), 100);
  EXPECT_TRUE(t.wait_for("size: 30x100"));
  EXPECT_TRUE(t.wait_for_at(30, 98, "END"));
  t.resize(10, 40);
  EXPECT_TRUE(t.wait_for("size: 10x40"));
  EXPECT_TRUE(t.wait_for_at(10, 38, "END"));
  EXPECT_THROW(t.row(11), e2e::Error);
  EXPECT_EQ(t.reverse_text(3), " REVERSE BAR ");
}

}  // namespace

// A command started by a menu script shares the script's process group
// and foreground; under an interactive shell it gets a group of its own,
// made the foreground. Either way the script goes on when it ends.
TEST(Process, AShellScriptStartsTheCommandWithOrWithoutJobControl) {
  for (bool job_control : {false, true}) {
    SCOPED_TRACE(job_control ? "sh -i" : "sh");
    Options o;
    o.shell_script = "\"$0\" \"$@\"; echo \"back in the menu $?\"";
    o.argv = {"sh", "-c", "echo started; exec sleep 1000"};
    o.job_control = job_control;
    Terminal t(o);
    ASSERT_TRUE(t.wait_for("started"));
    const std::vector<pid_t> started = t.children();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(t.foreground_group(), ::getpgid(started[0]));
    EXPECT_EQ(::getpgid(started[0]), job_control ? started[0] : t.pid());
    ::kill(started[0], SIGTERM);
    EXPECT_TRUE(t.wait_for("back in the menu 143"));
  }
}
