// lunadesk-db: creates the schema of "lunadesk", loads the demo set and
// lists the main tables, on the back end the environment chooses by the
// programs' rule (rt::sql::backend_named: PostgreSQL through the PG*
// variables, or the SQLite file LUNADESK_DB, by default lunadesk.db in the
// working directory). Every report names the database it worked on.
//
// Every failure is one line on standard error naming the database file or
// server, with exit status 1; a wrong command line gives the usage and 2.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/host.h"
#include "core/runtime.h"
#include "db_exec.h"
#include "demo.h"
#include "listing.h"
#include "schema.h"
#include "sql/backend_choice.h"
#include "sql/sql.h"

namespace {

using namespace lunadesk::db;

const char kUsage[] =
    "usage: lunadesk-db [--force] init | demo | list\n"
    "       lunadesk-db --help | --version\n"
    "  init   create every table and index of the schema that is missing\n"
    "  demo   create the schema if needed, then add the demo rows to an empty database\n"
    "  list   list the salesmen, the tax use groups and the open items per cycle\n"
    "         (only reads: never creates or changes a file)\n"
    "  --force  add the schema even to a database that holds other tables\n"
    "The database: A4GL_SQLTYPE=pg (or postgres, any case) selects the database\n"
    "'lunadesk' on PostgreSQL (PGHOST, PGPORT, PGUSER, ...); unset, the SQLite file\n"
    "LUNADESK_DB (default lunadesk.db in the working directory).\n"
    "See lunadesk-db(1) and lunadesk(7).\n";

bool is_pg() { return rt::sql::chosen_backend() == rt::sql::Backend::Postgres; }

std::string sqlite_path() {
  std::string p = rt::getenv_str("LUNADESK_DB");
  return p.empty() ? "lunadesk.db" : p;
}

// The database as the messages name it.
std::string target() {
  if (!is_pg()) return "SQLite file '" + sqlite_path() + "'";
  // libpq's defaults: the local socket, port 5432, the role named as the login.
  const std::string host = rt::getenv_str("PGHOST"), port = rt::getenv_str("PGPORT");
  std::string role = rt::getenv_str("PGUSER");
  if (role.empty()) {
    const passwd* pw = ::getpwuid(::geteuid());
    role = pw ? pw->pw_name : "";
  }
  return "database 'lunadesk' on the PostgreSQL server at " + (host.empty() ? std::string("the local socket") : host) +
         " port " + (port.empty() ? std::string("5432") : port) + " as role '" + role + "'";
}

// Line breaks and tabs of a back end's message become single blanks.
std::string one_line(const std::string& s) {
  std::string out;
  for (char c : s) {
    bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
    if (!blank) {
      out += c;
    } else if (!out.empty() && out.back() != ' ') {
      out += ' ';
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

int fail(const std::string& msg) {
  std::fprintf(stderr, "lunadesk-db: %s\n", one_line(msg).c_str());
  return 1;
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Checks that need no connection: the SQLite file's directory must exist
// (SQLite's own message does not say which part is wrong), and `list` must
// not create an empty file where none was.
bool precheck(const std::string& command, std::string* error) {
  if (!rt::sql::chosen_backend()) {
    *error = rt::sql::unknown_backend_text();
    return false;
  }
  if (is_pg()) return true;
  std::string path = sqlite_path();
  auto slash = path.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  if (!exists(dir)) {
    *error = "cannot open " + target() + ": directory '" + dir + "' does not exist";
    return false;
  }
  struct stat st;
  if (command == "list" && (::stat(path.c_str(), &st) != 0 || (S_ISREG(st.st_mode) && st.st_size == 0))) {
    *error = target() + (exists(path) ? " is empty" : " does not exist") +
             "; create it with 'lunadesk-db init' or 'lunadesk-db demo'";
    return false;
  }
  return true;
}

// The schema goes only into a database of its own: one that holds tables
// of something else is left alone unless the operator insists.
bool guard_foreign(bool force) {
  std::vector<std::string> other;
  std::string error;
  if (!foreign_tables(&other, &error)) {
    fail(target() + ": " + error);
    return false;
  }
  if (other.empty() || force) return true;
  std::string names;
  for (size_t i = 0; i < other.size() && i < 5; ++i) names += (i ? ", " : "") + other[i];
  if (other.size() > 5) names += " and " + std::to_string(other.size() - 5) + " more";
  fail(target() + " holds tables that are not lunadesk's (" + names +
       "); nothing was changed. Use another database, or add the schema anyway with 'lunadesk-db --force " +
       "init'");
  return false;
}

std::string join(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

void print_schema(const SchemaReport& r) {
  if (!r.changed()) {
    std::printf("Schema complete in %s (%d tables, %d indexes); nothing changed.\n", target().c_str(), r.tables_present,
                r.indexes_present);
    return;
  }
  std::printf("Created %zu tables and %zu indexes in %s.\n", r.tables_created.size(), r.indexes_created.size(),
              target().c_str());
  if (r.tables_present || r.indexes_present) {
    if (!r.tables_created.empty()) std::printf("  new tables: %s\n", join(r.tables_created).c_str());
    if (!r.indexes_created.empty()) std::printf("  new indexes: %s\n", join(r.indexes_created).c_str());
    std::printf("  already there: %d tables, %d indexes\n", r.tables_present, r.indexes_present);
  }
}

int run_init() {
  SchemaReport r;
  std::string error;
  if (!create_schema(&r, &error)) return fail(target() + ": " + error);
  print_schema(r);
  return 0;
}

int run_demo() {
  DemoReport r;
  std::string error;
  if (!load_demo(&r, &error)) return fail(target() + ": " + error);
  if (r.schema.changed()) print_schema(r.schema);
  if (!r.loaded) {
    std::string held;
    for (size_t i = 0; i < r.occupied.size() && i < 3; ++i) {
      held += (i ? ", " : "") + r.occupied[i].first + " " + std::to_string(r.occupied[i].second) + " rows";
    }
    if (r.occupied.size() > 3) held += " and " + std::to_string(r.occupied.size() - 3) + " more tables";
    std::printf("Demo data not added: %s already holds rows (%s); the demo set goes only into empty tables.\n",
                target().c_str(), held.c_str());
    return 0;
  }
  std::printf("Demo data added to %s:\n", target().c_str());
  for (const auto& [table, n] : r.rows_added) std::printf("  %-18s %5ld rows\n", table.c_str(), n);
  return 0;
}

int run_list() {
  try {
    const std::string text = listing();
    std::printf("Database: %s\n", target().c_str());
    std::fputs(text.c_str(), stdout);
  } catch (const std::exception& e) {
    return fail(target() + ": " + e.what());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  rt::set_args(argc, argv);
  bool force = false;
  std::string command;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-h" || a == "--help" || a == "help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--version") {
      std::printf("lunadesk-db (lunadesk) %s\n", LUNADESK_VERSION);
      return 0;
    }
    if (a == "--force") {
      force = true;
    } else if (command.empty() && (a == "init" || a == "demo" || a == "list")) {
      command = a;
    } else {
      std::fprintf(stderr, "lunadesk-db: unknown %s '%s'\n%s", a[0] == '-' ? "option" : "command", a.c_str(), kUsage);
      return 2;
    }
  }
  if (command.empty() || (force && command == "list")) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  std::string error;
  if (!precheck(command, &error)) return fail(error);
  // The SQL layer's reason names the file or the server already.
  const bool list = command == "list";
  if (!rt::sql::try_connect("lunadesk", &error, /*create_if_missing=*/!list, /*read_only=*/list)) {
    return fail(error.empty() ? "cannot connect to " + target() : error);
  }

  int rc = 1;
  if (list)
    rc = run_list();
  else if (guard_foreign(force))
    rc = command == "init" ? run_init() : run_demo();
  rt::sql::disconnect();
  return rc;
}
