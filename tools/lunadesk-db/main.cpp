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
#include <optional>
#include <string>

#include "core/host.h"
#include "core/runtime.h"
#include "core/settings.h"
#include "db_exec.h"
#include "backup.h"
#include "demo.h"
#include "listing.h"
#include "schema.h"
#include "sql/backend_choice.h"
#include "sql/sql.h"
#include "values/date.h"
#include "values/text.h"

namespace {

using namespace lunadesk::db;

const char kUsage[] =
    "usage: lunadesk-db [--force] init | demo | list | upgrade | check\n"
    "       lunadesk-db backup FILE | restore FILE\n"
    "       lunadesk-db --help | --version\n"
    "  init     create every table and index of the schema that is missing\n"
    "  demo     create the schema if needed, then add the demo rows to an empty database\n"
    "  list     list the salesmen, the tax use groups and the open items per cycle\n"
    "           (only reads: never creates or changes a file)\n"
    "  upgrade  bring the schema of an earlier release up to this one's (SQLite: after\n"
    "           a backup beside the file)\n"
    "  check    read the whole database and report every row that breaks the rules\n"
    "           the programs rely on; exit status 0 only when there is none\n"
    "  backup FILE   copy the database, as committed, into the new file FILE\n"
    "  restore FILE  replace the database with the backup FILE (no program may have it open)\n"
    "  --force  add the schema even to a database that holds other tables\n"
    "The database: A4GL_SQLTYPE=pg (or postgres, any case) selects the database\n"
    "'lunadesk' on PostgreSQL (PGHOST, PGPORT, PGUSER, ...); unset, the SQLite file\n"
    "LUNADESK_DB (default lunadesk.db in the working directory).\n"
    "See lunadesk-db(1) and lunadesk(7).\n";

// The tool's settings, read once at the top of main.
rt::Settings mv_settings;

bool is_pg() { return rt::sql::backend_named(mv_settings.sqltype) == rt::sql::Backend::Postgres; }

std::string sqlite_path() { return rt::sql::sqlite_file(mv_settings); }

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

// Control characters of stored values shown as '?', blanks kept as they are.
std::string printable(std::string s) {
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return s;
}

int fail(const std::string& msg) {
  std::fprintf(stderr, "lunadesk-db: %s\n", rt::text::one_line(msg).c_str());
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
  if (!rt::sql::backend_named(mv_settings.sqltype)) {
    *error = rt::sql::unknown_backend_text(mv_settings.sqltype);
    return false;
  }
  if (const std::optional<std::string> bad = rt::unusable_setting(rt::host())) {
    *error = *bad;
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
  const bool reads_only = command == "list" || command == "check" || command == "backup" || command == "upgrade";
  if (reads_only && (::stat(path.c_str(), &st) != 0 || (S_ISREG(st.st_mode) && st.st_size == 0))) {
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
       "); nothing was changed. Use another database, or add the schema anyway with 'lunadesk-db --force " + "init'");
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

// The schema version decides what a command may do: an older schema is
// only upgraded, checked or backed up; a newer one only backed up.
bool version_allows(const std::string& command, int* version) {
  std::string why;
  *version = rt::sql::schema_version(&why);
  if (*version < 0) {
    fail(target() + ": the schema version cannot be read: " + why);
    return false;
  }
  if (command == "backup" || *version == rt::sql::kSchemaVersion) return true;
  if (*version == 0 && !holds_schema()) {
    if (command == "init" || command == "demo") return true;
    fail(target() +
         " holds no lunadesk tables; make them with 'lunadesk-db init', or 'lunadesk-db demo' for demo data");
    return false;
  }
  if (*version < rt::sql::kSchemaVersion && (command == "upgrade" || command == "check")) return true;
  fail(version_refusal(*version, target()) + (command == "upgrade" ? std::string() : "; nothing was changed"));
  return false;
}

int run_upgrade(int version) {
  if (version == rt::sql::kSchemaVersion) {
    std::printf("Schema of %s is at version %d already; nothing changed.\n", target().c_str(), version);
    return 0;
  }
  std::string kept;
  if (!is_pg()) {
    kept = free_name_beside(sqlite_path(), "before-upgrade");
    std::string error;
    if (!sqlite_backup(kept, &error)) return fail(target() + ": the backup before the upgrade failed: " + error);
  }
  UpgradeReport r;
  std::string error;
  if (!upgrade_schema(&r, &error)) {
    return fail(target() + ": " + error + "; nothing was changed" +
                (kept.empty() ? "" : " (a backup is in '" + kept + "')"));
  }
  std::printf("Upgraded %s from %s to schema version %d.\n", target().c_str(),
              r.from_version == 0 ? "an earlier release without a version"
                                  : ("version " + std::to_string(r.from_version)).c_str(),
              rt::sql::kSchemaVersion);
  if (!kept.empty()) std::printf("  backup before the upgrade: %s\n", kept.c_str());
  if (!r.tables_rebuilt.empty())
    std::printf("  tables made anew with the current column rules: %zu (%ld rows kept)\n", r.tables_rebuilt.size(),
                r.rows_copied);
  if (!r.tables_created.empty()) std::printf("  new tables: %s\n", join(r.tables_created).c_str());
  if (!r.columns_added.empty()) std::printf("  new columns: %s\n", join(r.columns_added).c_str());
  if (!r.constraints_added.empty()) std::printf("  new constraints: %s\n", join(r.constraints_added).c_str());
  if (!r.indexes_created.empty()) std::printf("  new indexes: %s\n", join(r.indexes_created).c_str());
  if (is_pg() && !r.indexes_remade.empty())
    std::printf("  indexes made anew in today's form: %s\n", join(r.indexes_remade).c_str());
  long trimmed = 0;
  for (const auto& [column, n] : r.trimmed) trimmed += n;
  std::printf("  CHAR values whose trailing blanks were dropped: %ld\n", trimmed);
  for (const auto& [column, n] : r.trimmed) std::printf("    %-30s %ld\n", column.c_str(), n);
  return 0;
}

int run_check(int version) {
  std::vector<Finding> findings;
  std::string error;
  if (!check_database(&findings, &error)) return fail(target() + ": " + error);
  if (version != rt::sql::kSchemaVersion) findings.push_back({"", "", version_refusal(version, "the database")});
  for (const Finding& f : findings) {
    std::string where = f.table.empty() ? std::string("database") : "table " + f.table;
    if (!f.key.empty()) where += " (" + f.key + ")";
    std::printf("%s: %s\n", printable(where).c_str(), printable(f.what).c_str());
  }
  if (findings.empty()) {
    std::printf("%s: no faults found.\n", target().c_str());
    return 0;
  }
  std::printf("%s: %zu fault%s found.\n", target().c_str(), findings.size(), findings.size() == 1 ? "" : "s");
  return 1;
}

int run_backup(const std::string& file) {
  std::string error;
  if (!(is_pg() ? pg_backup(file, &error) : sqlite_backup(file, &error))) return fail(target() + ": backup: " + error);
  std::printf("Backed up %s to '%s'.\n", target().c_str(), file.c_str());
  return 0;
}

int run_restore(const std::string& file) {
  RestoreReport r;
  std::string error;
  if (!(is_pg() ? pg_restore(file, &r, &error) : sqlite_restore(sqlite_path(), file, &r, &error)))
    return fail(target() + ": restore: " + error);
  std::printf("Restored %s from '%s' (schema version %d).\n", target().c_str(), file.c_str(), r.version);
  if (!r.kept.empty()) std::printf("  the database as it was: %s\n", r.kept.c_str());
  if (r.version < rt::sql::kSchemaVersion)
    std::printf("  it holds the schema of an earlier release: run 'lunadesk-db upgrade' before the programs.\n");
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
  mv_settings = rt::read_settings(rt::host());
  if (const std::optional<rt::DateFormat> f = rt::DateFormat::parse_dbdate(mv_settings.dbdate))
    rt::DateFormat::set_current(*f);
  bool force = false;
  std::string command, file;
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
    } else if (command.empty() && (a == "init" || a == "demo" || a == "list" || a == "upgrade" || a == "check")) {
      command = a;
    } else if (command.empty() && (a == "backup" || a == "restore") && i + 1 < argc) {
      command = a;
      file = argv[++i];
    } else {
      std::fprintf(stderr, "lunadesk-db: unknown %s '%s'\n%s", a[0] == '-' ? "option" : "command", a.c_str(), kUsage);
      return 2;
    }
  }
  if (command.empty() || (force && command != "init" && command != "demo") ||
      ((command == "backup" || command == "restore") && file.empty())) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  std::string error;
  if (command == "restore" && !is_pg()) return run_restore(file);
  if (!precheck(command, &error)) return fail(error);
  // The SQL layer's reason names the file or the server already. Commands
  // that only read open the file to read only.
  const bool reads = command == "list" || command == "check" || command == "backup";
  const rt::sql::ConnectOptions options{mv_settings, /*create_if_missing=*/command == "init" || command == "demo",
                                        /*read_only=*/reads};
  if (!rt::sql::try_connect("lunadesk", &error, options)) {
    return fail(error.empty() ? "cannot connect to " + target() : error);
  }

  int rc = 1;
  int version = 0;
  if (command == "restore") {
    rc = run_restore(file);
  } else if (!version_allows(command, &version)) {
    rc = 1;
  } else if (command == "list") {
    rc = run_list();
  } else if (command == "check") {
    rc = run_check(version);
  } else if (command == "backup") {
    rc = run_backup(file);
  } else if (command == "upgrade") {
    rc = run_upgrade(version);
  } else if (guard_foreign(force)) {
    rc = command == "init" ? run_init() : run_demo();
  }
  rt::sql::disconnect();
  return rc;
}
