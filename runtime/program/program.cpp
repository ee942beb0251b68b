// Start and end of a program's run: see program.h.
#include "program/program.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "core/host.h"
#include "core/runtime.h"
#include "core/settings.h"
#include "core/sudden_exit.h"
#include "foreground.h"
#include "screen/lines.h"
#include "screen/screen.h"
#include "sql/backend_choice.h"
#include "sql/sql.h"
#include "values/date.h"

namespace rt::program {

namespace {

void restore_screen() { ui::stop(); }

// The run's settings, read once by start: the date format goes to the
// values layer there, the rest to the SQL layer's connect.
Settings mv_settings;

// A save waiting for another program's lock: Ctrl-C typed meanwhile is
// read at once, and a wait of a second or more is shown on the message
// line until it ends.
void show_lock_wait(sql::LockWait w) {
  if (!ui::started()) return;
  switch (w) {
    case sql::LockWait::Poll: ui::poll_keys(); break;
    case sql::LockWait::Long: ui::message("Waiting for a record locked by another user... Ctrl-C gives up"); break;
    case sql::LockWait::Over: ui::message(""); break;
  }
  // The statement is still waiting: what was drawn is sent now.
  ui::flush();
}

std::string program_name() {
  const std::string& a = arg0();
  auto slash = a.rfind('/');
  return slash == std::string::npos ? a : a.substr(slash + 1);
}

// A connection that failed because the database is not there at all, as
// the SQL layer words it: the SQLite file missing or empty, or the server
// without the database.
bool no_database(const std::string& why) {
  const bool sqlite = why.starts_with("database file '");
  return (sqlite && (why.ends_with("' does not exist") || why.ends_with("' is empty, not a database"))) ||
         why.find("database \"lunadesk\" does not exist") != std::string::npos;
}

std::string database_named() {
  return sql::backend() == sql::Backend::Postgres ? std::string("database \"lunadesk\"")
                                                  : "database file '" + sql::sqlite_file(mv_settings) + "'";
}

// The schema the database holds must be the one this release knows: an
// older one is brought up to date by the schema tool, a newer one is left
// alone. One statement when all is well.
void check_schema_version() {
  std::string why;
  const int v = sql::schema_version(&why);
  if (v == sql::kSchemaVersion) return;
  const std::string name = program_name();
  const std::string db = database_named();
  if (v < 0) {
    std::fprintf(stderr, "%s: the schema version of %s cannot be read: %s\n", name.c_str(), db.c_str(), why.c_str());
  } else if (v == 0 && !sql::has_table("iq_salesman_name")) {
    std::fprintf(stderr,
                 "%s: %s holds no lunadesk tables; make them with 'lunadesk-db init', or 'lunadesk-db demo' "
                 "for demo data\n",
                 name.c_str(), db.c_str());
  } else if (v < sql::kSchemaVersion) {
    const std::string had = v == 0 ? std::string("no version recorded") : "version " + std::to_string(v);
    std::fprintf(stderr,
                 "%s: %s has the schema of an earlier release (%s, this release needs %d); bring it "
                 "up to date with 'lunadesk-db upgrade'\n",
                 name.c_str(), db.c_str(), had.c_str(), sql::kSchemaVersion);
  } else {
    std::fprintf(stderr,
                 "%s: %s has schema version %d, of a newer release (this one knows %d); it is left "
                 "alone: use the programs of that release\n",
                 name.c_str(), db.c_str(), v, sql::kSchemaVersion);
  }
  sql::disconnect();
  exit_program(1);
}

}  // namespace

void answer_command_line(int argc, char** argv, const About& about) {
  const std::string usage = std::string("usage: ") + about.name + " [--help | --version]\n";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::printf(
          "%s%s\n\n"
          "A 24x80 character-terminal program. The database \"lunadesk\": the SQLite\n"
          "file LUNADESK_DB (default lunadesk.db in the working directory), or with\n"
          "A4GL_SQLTYPE=pg the PostgreSQL server that PGHOST, PGPORT and PGUSER name.\n"
          "Make one with 'lunadesk-db init', or 'lunadesk-db demo' for one with demo data.\n\n"
          "See %s(1) for the screen and lunadesk(7) for keys and settings.\n",
          usage.c_str(), about.purpose, about.name);
      std::exit(0);
    }
    if (a == "--version") {
      std::printf("%s (lunadesk) %s\n", about.name, LUNADESK_VERSION);
      std::exit(0);
    }
    std::fprintf(stderr, "%s: unknown argument '%s'\n%s", about.name, a.c_str(), usage.c_str());
    std::exit(2);
  }
}

void start(int argc, char** argv) {
  set_args(argc, argv);
  // Before anything can end the run; the terminal is given back last,
  // after the screen is restored.
  take_foreground();
  add_cleanup(give_back_foreground);
  set_sudden_exit_hook(give_back_foreground);
  std::setlocale(LC_ALL, "");
  // A date format the runtime cannot read back would make every date
  // impossible to enter: refused before anything is shown.
  mv_settings = read_settings(host());
  const std::string& dbdate = mv_settings.dbdate;
  const std::optional<DateFormat> format = DateFormat::parse_dbdate(dbdate);
  if (!format) {
    const std::string& name = arg0();
    std::fprintf(stderr,
                 "%s: DBDATE \"%s\" is not a date format this program can use. Give the order of M, D and Y4 "
                 "(or Y2), then the separator /, - or . (0 for none), for instance MDY4/, DMY4/, MDY2/ or Y4MD-.\n",
                 name.substr(name.rfind('/') + 1).c_str(), dbdate.c_str());
    exit_program(1);
  }
  if (const std::optional<std::string> bad = unusable_setting(host())) {
    const std::string& name = arg0();
    std::fprintf(stderr, "%s: %s\n", name.substr(name.rfind('/') + 1).c_str(), bad->c_str());
    exit_program(1);
  }
  DateFormat::set_current(*format);
  add_cleanup(restore_screen);
}

void connect(const std::source_location& loc) {
  if (!sql::backend_named(mv_settings.sqltype)) {
    std::fprintf(stderr, "%s: %s\n", program_name().c_str(), sql::unknown_backend_text(mv_settings.sqltype).c_str());
    exit_program(1);
  }
  std::string why;
  const sql::ConnectOptions options{mv_settings};
  if (sql::try_connect("lunadesk", &why, options)) {
    rt::status = 0;
  } else {
    if (no_database(why)) {
      std::fprintf(stderr, "%s: %s; make it with 'lunadesk-db init', or 'lunadesk-db demo' for one with demo data\n",
                   program_name().c_str(), why.c_str());
      exit_program(1);
    }
    // A server that cannot take one more program (all its connections in
    // use) or cannot be reached: one line, and nothing was done.
    if (sql::backend() == sql::Backend::Postgres) {
      std::fprintf(stderr, "%s: %s\n", program_name().c_str(), why.c_str());
      exit_program(1);
    }
    sql::connect("lunadesk", options, loc);
  }
  check_schema_version();
  sql::set_lock_wait_hook(&show_lock_wait);
  sql::set_before_call_hook(&ui::flush);
}

void defer_interrupt() { defer_interrupts(); }

void begin(int argc, char** argv, const About& about, const ScreenOptions& screen, const std::source_location& loc) {
  answer_command_line(argc, argv, about);
  start(argc, argv);
  connect(loc);
  defer_interrupt();
  ui::set_menu_line(screen.menu_line);
  ui::set_comment_line(screen.comment_line);
  ui::set_input_wrap(screen.input_wrap);
  ui::set_help_file(screen.help_file);
}

void end(int status) {
  ui::stop();
  sql::disconnect();
  exit_program(status);
}

}  // namespace rt::program
