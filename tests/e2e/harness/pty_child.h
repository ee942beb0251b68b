// One child process on its own pseudo-terminal.
//
// Owns the pty pair, the child's pid and a pidfd that becomes readable when
// the child ends. Starts the child in a new session with the slave as its
// controlling terminal, a clean environment and default signal dispositions;
// the child gets SIGKILL if the thread that started it dies. The parent
// keeps no slave descriptor, so the master reads end of file once the child
// and everything it started have closed the terminal. Never interprets what
// the child writes: that is the screen's job.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

#include "e2e/terminal.h"

namespace e2e::detail {

class PtyChild {
 public:
  explicit PtyChild(const Options& opt);  // throws Error
  ~PtyChild();                            // kills the process group if still running, reaps
  PtyChild(const PtyChild&) = delete;
  PtyChild& operator=(const PtyChild&) = delete;

  int master() const { return master_; }  // non-blocking; -1 after hangup()
  int pidfd() const { return pidfd_; }    // -1 once reaped
  pid_t pid() const { return pid_; }

  // Reaps the child if it has ended; its status from then on.
  const std::optional<ExitStatus>& poll_exit();
  void set_window_size(int rows, int cols);
  std::size_t input_pending();  // typed bytes the child has not read yet
  void hangup();

 private:
  int master_ = -1;
  std::string slave_name_;
  int pidfd_ = -1;
  pid_t pid_ = -1;
  std::optional<ExitStatus> status_;
};

}  // namespace e2e::detail
