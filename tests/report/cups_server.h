// A private CUPS scheduler for one test: cupsd started from the system's
// binaries in a new temporary directory, listening only on a Unix socket
// there (no network), with raw queues whose device is /dev/null. Jobs are
// accepted, queued and completed by the real scheduler; nothing reaches
// paper. The scheduler dies with the test process and is stopped and its
// directory removed when the object goes away.
//
// Clients reach it through CUPS_SERVER=<socket()>, which the constructor
// sets for the test process (and so for the commands it starts).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace lunadesk::testing {

class CupsServer {
 public:
  CupsServer();  // ready() false, with the reason, when it cannot run here
  ~CupsServer();
  CupsServer(const CupsServer&) = delete;
  CupsServer& operator=(const CupsServer&) = delete;

  bool ready() const { return ready_; }
  const std::string& reason() const { return reason_; }
  const std::string& socket() const { return socket_; }

  // A raw queue named `name`, accepting jobs; false with reason() set.
  bool add_printer(const std::string& name);
  // The jobs the scheduler has been given (lpstat -W all -o), one a line.
  std::string jobs();

 private:
  bool run(const std::string& what, const std::vector<std::string>& argv, std::string* out = nullptr);
  bool ready_ = false;
  std::string reason_, dir_, socket_, saved_server_;
  bool had_server_ = false;
  pid_t pid_ = -1;
};

}  // namespace lunadesk::testing
