// The throwaway PostgreSQL server and the per-test databases. See
// pg_server.h.
#include "pg_server.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace lunadesk::testing {
namespace {

// The unprivileged user the server runs as when the tests run as root.
constexpr const char* kServerUser = "nobody";

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string read_fd(int fd) {
  std::string s;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
  return s;
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

void remove_tree(const std::string& dir) {
  if (!dir.empty()) ::nftw(dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string make_temp_dir(const char* prefix) {
  std::string templ = std::string("/tmp/") + prefix + "XXXXXX";
  if (!::mkdtemp(templ.data())) return {};
  return templ;
}

// The newest server installation: /usr/lib/postgresql/<n>/bin, unless
// LUNADESK_PG_BIN names the directory.
std::string find_server_bin() {
  const std::string given = env("LUNADESK_PG_BIN");
  if (!given.empty()) return ::access((given + "/initdb").c_str(), X_OK) == 0 ? given : std::string();
  const std::string root = "/usr/lib/postgresql";
  DIR* d = ::opendir(root.c_str());
  if (!d) return {};
  int best = -1;
  while (dirent* e = ::readdir(d)) {
    const int v = std::atoi(e->d_name);
    if (v > best && ::access((root + "/" + e->d_name + "/bin/initdb").c_str(), X_OK) == 0) best = v;
  }
  ::closedir(d);
  return best < 0 ? std::string() : root + "/" + std::to_string(best) + "/bin";
}

std::atomic<int> schema_counter{0};
ServerSettings chosen_settings = ServerSettings::Tuned;

void set_or_unset(const char* name, bool had, const std::string& value) {
  if (had)
    ::setenv(name, value.c_str(), 1);
  else
    ::unsetenv(name);
}

}  // namespace

bool in_ci() { return env("CI") == "true"; }

int run_command(const std::vector<std::string>& argv, std::string* out, std::string* err) {
  // Close-on-exec, so that no child (the server above all, which outlives
  // pg_ctl) keeps a pipe open and the reads below end.
  int out_pipe[2], err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return -1;
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
    ::close(out_pipe[0]);
    ::close(out_pipe[1]);
    return -1;
  }
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    const int devnull = ::open("/dev/null", O_RDONLY);
    if (devnull >= 0) ::dup2(devnull, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  // The outputs are small here; reading one after the other is enough.
  std::string o = read_fd(out_pipe[0]);
  std::string e = read_fd(err_pipe[0]);
  ::close(out_pipe[0]);
  ::close(err_pipe[0]);
  int status = 0;
  if (::waitpid(pid, &status, 0) < 0) return -1;
  if (out) *out = std::move(o);
  if (err) *err = std::move(e);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void PgServer::start_with(ServerSettings settings) { chosen_settings = settings; }

PgServer& PgServer::instance() {
  static PgServer* server = new PgServer();  // lives to the end: stopped at exit
  return *server;
}

PgServer::PgServer() { start(); }

void PgServer::start() {
  bin_ = find_server_bin();
  if (bin_.empty()) {
    error_ = "no PostgreSQL server binaries under /usr/lib/postgresql/*/bin (install postgresql)";
    return;
  }
  dir_ = make_temp_dir("lunadesk-pg.");
  if (dir_.empty()) {
    error_ = "cannot make a temporary directory for the PostgreSQL server";
    return;
  }
  owner_pid_ = static_cast<int>(::getpid());
  std::atexit(stop_at_exit);
  start_watchdog();
  // As root the server runs as an unprivileged user, who must own the
  // directory.
  std::vector<std::string> as_user;
  if (::geteuid() == 0) {
    const passwd* pw = ::getpwnam(kServerUser);
    if (!pw) {
      error_ = std::string("running as root, and there is no user '") + kServerUser + "' to run PostgreSQL as";
      return;
    }
    if (::chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
      error_ = "cannot give " + dir_ + " to " + kServerUser;
      return;
    }
    as_user = {"/usr/bin/setpriv", "--reuid=" + std::to_string(pw->pw_uid), "--regid=" + std::to_string(pw->pw_gid),
               "--clear-groups", "--"};
    if (::access(as_user[0].c_str(), X_OK) != 0) {
      error_ = "setpriv is needed to run PostgreSQL as an unprivileged user";
      return;
    }
  }
  ::chmod(dir_.c_str(), 0700);
  port_ = 40000 + static_cast<int>(::getpid() % 20000);
  const std::string data = dir_ + "/data";
  auto cmd = [&](std::vector<std::string> args) {
    std::vector<std::string> full = as_user;
    full.insert(full.end(), args.begin(), args.end());
    return full;
  };
  std::string out, err;
  int rc = run_command(
      cmd({bin_ + "/initdb", "-D", data, "-U", "postgres", "--auth=trust", "-E", "UTF8", "--locale=C", "--no-sync"}),
      &out, &err);
  if (rc != 0) {
    error_ = "initdb failed (exit " + std::to_string(rc) + "): " + err;
    return;
  }
  const std::string opts =
      "-c listen_addresses='' -c unix_socket_directories='" + dir_ + "' -p " + std::to_string(port_) +
      (chosen_settings == ServerSettings::Tuned
           ? " -c fsync=off -c full_page_writes=off -c synchronous_commit=off -c max_connections=200"
           : " -c max_connections=100");
  rc = run_command(
      cmd({bin_ + "/pg_ctl", "-D", data, "-o", opts, "-l", dir_ + "/server.log", "-w", "-t", "60", "start"}), &out,
      &err);
  if (rc != 0) {
    std::ifstream log(dir_ + "/server.log");
    std::stringstream ss;
    ss << log.rdbuf();
    error_ = "the PostgreSQL server did not start: " + err + ss.str();
    return;
  }
  running_ = true;
  ::setenv("PGHOST", dir_.c_str(), 1);
  ::setenv("PGPORT", std::to_string(port_).c_str(), 1);
  ::setenv("PGUSER", "postgres", 1);
  ::unsetenv("PGPASSWORD");
  ::unsetenv("PGDATABASE");
  ::unsetenv("PGSERVICE");
  // Create the database through the maintenance database.
  const std::string conninfo = "host=" + dir_ + " port=" + std::to_string(port_) + " user=postgres dbname=postgres";
  PGconn* c = PQconnectdb(conninfo.c_str());
  if (PQstatus(c) != CONNECTION_OK) {
    error_ = std::string("cannot connect to the test server: ") + PQerrorMessage(c);
    running_ = false;
  } else {
    PGresult* r = PQexec(c, "CREATE DATABASE lunadesk");
    if (PQresultStatus(r) != PGRES_COMMAND_OK) {
      error_ = std::string("CREATE DATABASE lunadesk failed: ") + PQerrorMessage(c);
      running_ = false;
    }
    PQclear(r);
  }
  PQfinish(c);
}

// A test binary that crashes or is killed never runs its exit handlers: a
// watchdog process, in a session of its own, waits for the end of the pipe
// that only the test process (and its forks) hold, then stops the server
// and removes its directory.
void PgServer::start_watchdog() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return;
  }
  if (pid == 0) {
    ::close(fds[1]);
    ::setsid();
    char b;
    while (::read(fds[0], &b, 1) > 0) {}
    stop_server(bin_, dir_);
    ::_exit(0);
  }
  ::close(fds[0]);
  watchdog_fd_ = fds[1];  // open until this process ends
}

void PgServer::stop_at_exit() {
  PgServer& s = instance();
  // A forked child (a death test) exits through here too: not its server.
  if (s.owner_pid_ != static_cast<int>(::getpid()) || s.dir_.empty()) return;
  stop_server(s.bin_, s.dir_);
  s.dir_.clear();
}

void PgServer::stop_server(const std::string& bin, const std::string& dir) {
  if (::access((dir + "/data/postmaster.pid").c_str(), F_OK) != 0) {
    remove_tree(dir);
    return;
  }
  std::vector<std::string> argv;
  if (::geteuid() == 0) {
    const passwd* pw = ::getpwnam(kServerUser);
    if (pw) {
      argv = {"/usr/bin/setpriv", "--reuid=" + std::to_string(pw->pw_uid), "--regid=" + std::to_string(pw->pw_gid),
              "--clear-groups", "--"};
    }
  }
  argv.insert(argv.end(), {bin + "/pg_ctl", "-D", dir + "/data", "-m", "immediate", "-w", "stop"});
  std::string out, err;
  run_command(argv, &out, &err);
  remove_tree(dir);
}

namespace {

// Runs `sql` on a new connection `c` and closes it.
bool run_and_close(PGconn* c, const std::string& sql, std::string* error) {
  bool ok = PQstatus(c) == CONNECTION_OK;
  if (ok) {
    PQsetNoticeProcessor(
        c, [](void*, const char*) {}, nullptr);
    PGresult* r = PQexec(c, sql.c_str());
    ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    PQclear(r);
  }
  if (!ok && error) *error = PQerrorMessage(c);
  PQfinish(c);
  return ok;
}

}  // namespace

bool PgServer::exec(const std::string& sql, std::string* error) {
  if (!running_) {
    if (error) *error = error_;
    return false;
  }
  const std::string conninfo = "host=" + dir_ + " port=" + std::to_string(port_) + " user=postgres dbname=lunadesk";
  return run_and_close(PQconnectdb(conninfo.c_str()), sql, error);
}

OutsideSession::OutsideSession(const ScopedDatabase& db) {
  if (db.which() == Db::Postgres) {
    const std::string opts = "-c search_path=" + db.where();
    const char* keys[] = {"dbname", "options", nullptr};
    const char* vals[] = {"lunadesk", opts.c_str(), nullptr};
    pg_ = PQconnectdbParams(keys, vals, 0);
    PQsetNoticeProcessor(
        pg_, [](void*, const char*) {}, nullptr);
  } else if (sqlite3_open(db.where().c_str(), &lite_) != SQLITE_OK) {
    sqlite3_close(lite_);
    lite_ = nullptr;
  }
}

OutsideSession::~OutsideSession() {
  if (pg_) PQfinish(pg_);
  if (lite_) sqlite3_close(lite_);
}

bool OutsideSession::run(const std::string& sql, std::string* error) {
  if (pg_) {
    PGresult* r = PQexec(pg_, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    PQclear(r);
    if (!ok && error) *error = PQerrorMessage(pg_);
    return ok;
  }
  char* err = nullptr;
  const bool ok = lite_ && sqlite3_exec(lite_, sql.c_str(), nullptr, nullptr, &err) == SQLITE_OK;
  if (!ok && error) *error = err ? err : lite_ ? sqlite3_errmsg(lite_) : "cannot open the database";
  sqlite3_free(err);
  return ok;
}

bool ScopedDatabase::run_outside(const std::string& sql, std::string* error) const {
  return OutsideSession(*this).run(sql, error);
}

ScopedDatabase::ScopedDatabase(Db which) : which_(which) {
  if (const char* v = std::getenv("A4GL_SQLTYPE")) {
    had_sqltype_ = true;
    saved_sqltype_ = v;
  }
  if (const char* v = std::getenv("LUNADESK_DB")) {
    had_db_ = true;
    saved_db_ = v;
  }
  if (const char* v = std::getenv("PGOPTIONS")) {
    had_options_ = true;
    saved_options_ = v;
  }
  dir_ = make_temp_dir("lunadesk-test.");
  if (dir_.empty()) {
    reason_ = "cannot make a temporary directory";
    return;
  }
  if (which == Db::Sqlite) {
    ::unsetenv("A4GL_SQLTYPE");
    where_ = dir_ + "/lunadesk.db";
    // A database without tables, as "lunadesk-db init" starts one (the
    // programs take an empty file for no database at all).
    sqlite3* db = nullptr;
    const bool made =
        sqlite3_open_v2(where_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close_v2(db);
    if (!made) {
      reason_ = "cannot create " + where_;
      return;
    }
    ::setenv("LUNADESK_DB", where_.c_str(), 1);
    ready_ = true;
    return;
  }
  PgServer& server = PgServer::instance();
  if (!server.running()) {
    reason_ = "PostgreSQL test server unavailable: " + server.error();
    return;
  }
  where_ = "t" + std::to_string(::getpid()) + "_" + std::to_string(++schema_counter);
  std::string e;
  if (!server.exec("CREATE SCHEMA " + where_, &e)) {
    reason_ = "cannot create schema " + where_ + ": " + e;
    return;
  }
  ::setenv("A4GL_SQLTYPE", "pg", 1);
  ::setenv("PGOPTIONS", ("-c search_path=" + where_).c_str(), 1);
  ready_ = true;
}

rt::Settings ScopedDatabase::settings() const {
  rt::Settings s;
  if (which_ == Db::Postgres)
    s.sqltype = "pg";
  else
    s.database = where_;
  return s;
}

ScopedDatabase::~ScopedDatabase() {
  if (which_ == Db::Postgres && ready_) PgServer::instance().exec("DROP SCHEMA " + where_ + " CASCADE");
  remove_tree(dir_);
  set_or_unset("A4GL_SQLTYPE", had_sqltype_, saved_sqltype_);
  set_or_unset("LUNADESK_DB", had_db_, saved_db_);
  set_or_unset("PGOPTIONS", had_options_, saved_options_);
}

std::string backend_name(const ::testing::TestParamInfo<Db>& info) {
  return info.param == Db::Sqlite ? "sqlite" : "postgres";
}

}  // namespace lunadesk::testing
