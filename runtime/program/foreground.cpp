// The run's own process group as the terminal's foreground: see foreground.h.
#include "foreground.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>

namespace rt::program {

namespace {

constexpr int kTerminal = STDIN_FILENO;
// The group that had the terminal before the run took it; read in a
// signal handler.
volatile std::sig_atomic_t g_taken = 0;
volatile pid_t g_found = -1;

// tcsetpgrp() from a group that is not the foreground one raises SIGTTOU,
// which would stop the program: the signal is held back around the call.
bool make_foreground(pid_t group) {
  sigset_t ttou, old;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  sigprocmask(SIG_BLOCK, &ttou, &old);
  const bool ok = tcsetpgrp(kTerminal, group) == 0;
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return ok;
}

}  // namespace

void take_foreground() {
  if (g_taken || !isatty(kTerminal)) return;
  const pid_t found = getpgrp();
  if (tcgetpgrp(kTerminal) != found) return;  // in the background, or not this session's terminal
  if (getpgid(getppid()) != found) return;    // a shell with job control made the group
  if (setpgid(0, 0) != 0) return;
  if (!make_foreground(getpgrp())) {
    setpgid(0, found);
    return;
  }
  g_found = found;
  g_taken = 1;
}

void give_back_foreground() {
  if (!g_taken) return;
  g_taken = 0;
  // The stop report is written after this, from the background: a
  // terminal with TOSTOP would stop the program for it.
  struct sigaction ign {};
  ign.sa_handler = SIG_IGN;
  sigemptyset(&ign.sa_mask);
  sigaction(SIGTTOU, &ign, nullptr);
  make_foreground(g_found);
}

}  // namespace rt::program
