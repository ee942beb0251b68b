// The programs' SQL services: one connection per program to the database
// "lunadesk", on the embedded SQLite back end or on PostgreSQL.
//
// Every statement text is in the programs' dialect and is translated for the
// back end (translate.h). Every call sets rt::status (0 ok, 100 no row,
// negative error number) and the serial of the last insert.
//
// The default rule: an error at a statement stops the program with the
// runtime's error report (rt::fatal_sql), naming the caller's source file
// and line. Inside a ContinueOnError scope the error only sets rt::status,
// for the program to test itself.
//
// Both back ends behave alike where the programs can tell:
//   - Inside a transaction a failing statement fails alone; the transaction
//     goes on (on PostgreSQL the layer keeps a savepoint of its own around
//     each statement for that, inside a ContinueOnError scope: under the
//     default rule the failure ends the program and its transaction).
//   - A lock held by another program is waited for LUNADESK_LOCK_TIMEOUT_MS
//     (default 5000), then the statement fails with -154. Inside a
//     ContinueOnLock scope the program is told while it waits, and Ctrl-C
//     gives the wait up.
//   - DECIMAL values are exact, in the database as in the program: sums,
//     arithmetic and comparisons inside SQL included. A value stored into a
//     DECIMAL(p,s) column is rounded to s places (half away from zero); one
//     that needs more than p digits is refused (-1226).
//   - A text constant or a CHAR parameter that meets a DATE is read in the
//     DBDATE form; compared with a CHAR it stays text. One that is no date
//     is refused (-1218). Other text stored into or compared with a DATE
//     is read so on each row; a DATE shown as text (fetched into a CHAR,
//     joined with ||) is in the DBDATE form.
//   - A MATCHES pattern means the same on both; one that no value can
//     match (a reversed range) finds nothing.
//   - On PostgreSQL the session reads text constants the standard way
//     (standard_conforming_strings on), whatever the server's settings;
//     a session that cannot be made to is refused at connect.
//   - A CHAR value longer than its column is refused (-1279).
//   - An open transaction is rolled back by the clean-up that every way out
//     of the program runs (rt::add_cleanup).
//
// Owns the connection and the back-end handles. Never touches the screen.
#pragma once

#include <initializer_list>
#include <memory>
#include <source_location>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings.h"
#include "sql/backend_kind.h"
#include "sql/types.h"
#include "values/value.h"

namespace rt::sql {

using Loc = std::source_location;

// How to connect: the run's settings (core/settings.h) give the back end
// (A4GL_SQLTYPE by the rule of sql/backend_choice.h), the SQLite file, the
// lock timeout, the scroll cursors' idle time and the spin time; the date
// format is the values layer's. With `create_if_missing` a SQLite file
// that does not exist yet (or is empty) is made (the schema tool); programs
// never create one. With `read_only` a SQLite file is opened for reading
// only and left exactly as it was (for a caller that only reads).
struct ConnectOptions {
  Settings settings;
  bool create_if_missing = false;
  bool read_only = false;
};

// Connects as `options` say. A failure stops the program with a report
// that names the database or file.
void connect(std::string_view dbname, const ConnectOptions& options, const Loc& loc = Loc::current());
// Same, but returns false with the reason instead of stopping (tools).
bool try_connect(std::string_view dbname, std::string* error, const ConnectOptions& options);
void disconnect();
bool connected();
Backend backend();

// Errors inside this scope set rt::status and do not stop the program.
class ContinueOnError {
 public:
  ContinueOnError();
  ~ContinueOnError();
  ContinueOnError(const ContinueOnError&) = delete;
  ContinueOnError& operator=(const ContinueOnError&) = delete;

 private:
  bool saved_;
};

// Inside this scope a fetched value that does not convert into its
// variable (text that is no number or no date, a number out of the
// variable's range: -1213, -1215, -1218, -1226), which another tool may
// have written into the embedded database, sets rt::status and returns
// with the row's other columns stored; the variable that could not take
// its value is left as it was. Every other error follows the rule in force
// outside the scope.
class KeepBadValues {
 public:
  KeepBadValues();
  ~KeepBadValues();
  KeepBadValues(const KeepBadValues&) = delete;
  KeepBadValues& operator=(const KeepBadValues&) = delete;
};
// The status codes a KeepBadValues scope lets through.
bool bad_value(int status);

// Inside this scope a statement that cannot have a lock another program
// holds sets rt::status to -154 and returns, for the program to roll its
// unit of work back and tell the operator: the wait ran out, or the
// interrupt flag was set while it waited (Ctrl-C gives the wait up). A
// statement that Ctrl-C cut short otherwise sets -213 the same way, and so
// does a statement the database could not take for reasons outside it (the
// server went away, a full disk, a damaged file: rt::err::surroundings), or
// one refused because this user may only read the database (-389): a save
// that cannot be had, like a lock. Every other error follows the rule in
// force outside the scope.
//
// While a statement of the scope waits for such a lock, the hook given to
// set_lock_wait_hook() is told: LockWait::Poll every few tens of
// milliseconds from the start of the wait (a Ctrl-C may be waiting to be
// read), LockWait::Long once the wait has lasted about a second (time to
// tell the operator), and LockWait::Over when a wait that was Long ends. On
// the embedded back end a wait for a lock is known as such; on PostgreSQL
// a statement of the scope that has not answered after a second is taken
// for one (the scope holds the short statements of a save, which wait for
// nothing else).
class ContinueOnLock {
 public:
  ContinueOnLock();
  ~ContinueOnLock();
  ContinueOnLock(const ContinueOnLock&) = delete;
  ContinueOnLock& operator=(const ContinueOnLock&) = delete;
};

// The program's hook (the SQL layer never touches the screen itself); null
// for none.
void set_lock_wait_hook(LockWaitHook hook);

// The program's hook run before each call that goes to the database (a
// statement, a cursor's open or fetch, a transaction's start or end): the
// program sends there what it drew and has not yet sent to the terminal,
// so that a message drawn before a long statement shows while it runs.
// Null for none.
void set_before_call_hook(void (*hook)());

// Inside this scope, on PostgreSQL, the INSERT, UPDATE and DELETE
// statements that run in an open transaction under the default rule go to
// the server without waiting for each answer: the server works through
// them while the program goes on, and their answers are read together,
// every 256 statements, before any other call reaches the database, and
// when the scope ends. A failing one still stops the program with the
// runtime's report, naming that statement and the line that ran it, only a
// little later; the stop rolls the transaction back, so none of the
// changes remain. rows_processed() reads the answers first and stays
// exact. The embedded back end runs every statement at once, as outside.
class PipelinedChanges {
 public:
  PipelinedChanges();
  ~PipelinedChanges();
  PipelinedChanges(const PipelinedChanges&) = delete;
  PipelinedChanges& operator=(const PipelinedChanges&) = delete;
  // Rows inserted, updated or deleted by the statements run in the scope
  // so far (reads the answers first).
  long rows() const;

 private:
  long changed_at_start_;
};

// Inside this scope the interrupt key stops the work: Ctrl-C cuts short the
// statement that runs (rt::int_flag is set as always), and while the flag
// is 1 every statement ends with status -213 (interrupted) instead of
// stopping the program: the one cut short, any that failed meanwhile,
// and every later one, which does not reach the database (a commit
// included). Rolling back is never refused: the program tests the flag
// after each step, rolls its transaction back and tells the operator.
class Interruptible {
 public:
  Interruptible();
  ~Interruptible();
  Interruptible(const Interruptible&) = delete;
  Interruptible& operator=(const Interruptible&) = delete;
};

class Statement {
 public:
  Statement() = default;
  bool valid() const { return impl_ != nullptr; }
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

class Cursor {
 public:
  Cursor() = default;
  bool valid() const { return impl_ != nullptr; }
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

// Prepares a statement text; replaces what `stmt` held.
void prepare(Statement& stmt, std::string_view text, const Loc& loc = Loc::current());
void free_statement(Statement& stmt);

// Runs a statement (prepared once, executed many times). A SELECT run this
// way sets status 0 when it finds a row and 100 when not. An UPDATE or
// DELETE that touches no row is status 0 with rows_processed() 0.
void execute(Statement& stmt, const Params& params = {}, const Loc& loc = Loc::current());
// Runs a statement text; texts are prepared once and kept for reuse.
void execute(std::string_view text, const Params& params = {}, const Loc& loc = Loc::current());

// A single-row select into variables: status 100 when there is no row,
// -284 when there is more than one.
void select_into(std::string_view text, const Params& params, const Into& into, const Loc& loc = Loc::current());

// Runs a statement; an error is written to the error log and otherwise
// ignored (status is set).
void execute_logged(std::string_view text, const Params& params = {}, const Loc& loc = Loc::current());

// Cursors. A scroll cursor can move both ways; a forward cursor only Next.
// A cursor delivers the rows as they were when it was opened: rows deleted
// afterwards are still delivered until it is opened again. (On SQLite,
// inside an open transaction or over a temporary table, that holds for the
// rows already fetched.) A cursor stays usable across commits.
void declare(Cursor& cur, Statement& stmt, bool scroll, const Loc& loc = Loc::current());
void declare(Cursor& cur, std::string_view text, bool scroll, const Loc& loc = Loc::current());
void open(Cursor& cur, const Params& params = {}, const Loc& loc = Loc::current());

enum class Fetch { Next, Previous, First, Last, Relative, Absolute };
// A fetch past either end returns 100 and leaves the cursor on the last (or
// first) row; Relative 0 reads the current row again.
void fetch(Cursor& cur, Fetch how, long n, const Into& into, const Loc& loc = Loc::current());
inline void fetch_next(Cursor& cur, const Into& into, const Loc& loc = Loc::current()) {
  fetch(cur, Fetch::Next, 1, into, loc);
}
void close(Cursor& cur);
void free_cursor(Cursor& cur);

// Transactions: begin, commit, roll back; savepoints by name (letters,
// digits and "_"; names beginning "lunadesk_" are the layer's own).
void begin_work(const Loc& loc = Loc::current());
void commit_work(const Loc& loc = Loc::current());
void rollback_work(const Loc& loc = Loc::current());
bool in_transaction();
void savepoint(std::string_view name, const Loc& loc = Loc::current());
void release_savepoint(std::string_view name, const Loc& loc = Loc::current());
void rollback_to_savepoint(std::string_view name, const Loc& loc = Loc::current());

// After an insert into a table with a serial column: the serial assigned
// (or the explicit value stored). 0 when the last insert assigned none.
long last_serial();
// Rows touched by the last INSERT, UPDATE or DELETE.
long rows_processed();
// Back end's own text of the last error ("" after success).
const std::string& last_error_message();

// ---- The database's schema version and its upkeep ----
//
// Every database made by this release holds its schema version in the
// one-row table lunadesk_version (column version), the same on both back
// ends. A database without that table was made by a release before
// versions were kept.
inline constexpr int kSchemaVersion = 1;
inline constexpr std::string_view kVersionTable = "lunadesk_version";

// The version of the connected database, read with one statement of the
// dialect: the version, 0 when the database keeps none, -1 when it cannot
// be read (*error says why). Never stops the program.
int schema_version(std::string* error);
// Whether the connected database holds a table of that name (through the
// dialect, as schema_version reads its table). Never stops the program.
bool has_table(std::string_view table);

// For the schema tool: one statement in the back end's own SQL, run
// untranslated on the connection (in its transaction when one is open),
// its rows as text. False with the back end's message; never stops the
// program and leaves rt::status alone.
bool native(std::string_view text, std::vector<NativeRow>* rows, std::string* error);
// Whether the connection can only read (on SQLite: a file this user may not
// write).
bool read_only();
// Whether this user may delete and update rows of `table` (a name of the
// schema): on SQLite unless the connection can only read, on PostgreSQL as
// the role's privileges say. One statement on PostgreSQL.
bool may_change(std::string_view table);
// The embedded back end: copies the committed state of the database, the
// write-ahead log's included, into the new file `path` while other programs
// go on writing. A file of that name that exists is left alone: false.
bool backup_to(const std::string& path, std::string* error);
// The SQLite file `settings` name for database `dbname`.
std::string sqlite_file(const Settings& settings, std::string_view dbname = "lunadesk");

}  // namespace rt::sql
