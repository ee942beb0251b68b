// A private CUPS scheduler for one test: see cups_server.h.
#include "cups_server.h"

#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <thread>

#include "pg_server.h"
#include "report_fixture.h"

namespace fs = std::filesystem;

namespace lunadesk::testing {

namespace {

constexpr const char* kCupsd = "/usr/sbin/cupsd";
constexpr const char* kLpadmin = "/usr/sbin/lpadmin";
constexpr const char* kLpstat = "/usr/bin/lpstat";

}  // namespace

CupsServer::CupsServer() {
  for (const char* tool : {kCupsd, kLpadmin, kLpstat, "/usr/bin/lp", "/usr/lib/cups/filter/gziptoany"}) {
    if (!fs::exists(tool)) {
      reason_ = std::string("no CUPS scheduler here: ") + tool +
                " is missing (packages cups-daemon, cups-client, "
                "cups-core-drivers)";
      return;
    }
  }
  // The scheduler runs its jobs as this unprivileged user.
  if (getpwnam("lp") == nullptr) {
    reason_ = "no user \"lp\" for the CUPS scheduler's jobs";
    return;
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/lunadesk-cups.XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) {
    reason_ = "cannot make a directory for the CUPS scheduler";
    return;
  }
  dir_ = templ;
  fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec);
  for (const char* sub : {"spool", "cache", "state", "tmp", "log", "ppd"}) fs::create_directories(dir_ + "/" + sub);
  socket_ = dir_ + "/cups.sock";
  std::ofstream(dir_ + "/cups-files.conf") << "ServerRoot " << dir_ << "\nRequestRoot " << dir_ << "/spool\n"
                                           << "CacheDir " << dir_ << "/cache\nStateDir " << dir_ << "/state\n"
                                           << "TempDir " << dir_ << "/tmp\nErrorLog " << dir_ << "/log/error_log\n"
                                           << "AccessLog " << dir_ << "/log/access_log\nPageLog " << dir_
                                           << "/log/page_log\nUser lp\nGroup lp\nSystemGroup root\n";
  std::ofstream(dir_ + "/cupsd.conf") << "Listen " << socket_ << "\nLogLevel warn\nBrowsing No\nWebInterface No\n"
                                      << "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n"
                                      << "</Location>\n<Location /admin>\n  Order allow,deny\n  Allow all\n"
                                      << "</Location>\n";

  const char* old = std::getenv("CUPS_SERVER");
  had_server_ = old != nullptr;
  if (old) saved_server_ = old;
  setenv("CUPS_SERVER", socket_.c_str(), 1);

  const std::string conf = dir_ + "/cupsd.conf", files = dir_ + "/cups-files.conf", log = dir_ + "/log/stdout";
  pid_ = fork();
  if (pid_ < 0) {
    reason_ = "fork failed";
    return;
  }
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
    }
    execl(kCupsd, kCupsd, "-f", "-c", conf.c_str(), "-s", files.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Ready once it answers on its socket; a scheduler that ends first, or
  // does not answer within the set-up allowance, is not there.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) == pid_) {
      pid_ = -1;
      reason_ = "the CUPS scheduler ended at once: " + read_file(log) + read_file(dir_ + "/log/error_log");
      return;
    }
    std::string out, err;
    if (fs::exists(socket_) && run_command({kLpstat, "-r"}, &out, &err) == 0) {
      ready_ = true;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  reason_ = "the CUPS scheduler did not answer: " + read_file(dir_ + "/log/error_log");
}

CupsServer::~CupsServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (had_server_)
    setenv("CUPS_SERVER", saved_server_.c_str(), 1);
  else
    unsetenv("CUPS_SERVER");
  if (!dir_.empty() && !std::getenv("E2E_KEEP_TMP")) {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
}

bool CupsServer::run(const std::string& what, const std::vector<std::string>& argv, std::string* out) {
  std::string o, e;
  if (run_command(argv, &o, &e) != 0) {
    reason_ = what + " failed: " + e;
    return false;
  }
  if (out) *out = o;
  return true;
}

bool CupsServer::add_printer(const std::string& name) {
  return run("lpadmin " + name, {kLpadmin, "-p", name, "-E", "-v", "file:/dev/null", "-m", "raw"});
}

std::string CupsServer::jobs() {
  std::string out;
  run("lpstat -o", {kLpstat, "-W", "all", "-o"}, &out);
  return out;
}

}  // namespace lunadesk::testing
