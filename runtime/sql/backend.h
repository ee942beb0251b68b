// What one database back end provides to the SQL layer (sql.cpp): a
// connection that prepares statements of the dialect, runs them, opens
// cursors over them and keeps transactions. sqlite_backend.cpp and
// pg_backend.cpp are the two implementations.
//
// A back end answers with an Outcome: 0, 100 (no row) or a negative error
// number with the back end's own message. It never stops the program and
// never sets rt::status: the default rule and the status code belong to
// sql.cpp. The position of a scroll cursor belongs to sql.cpp as well: a
// back end only delivers row k of a result, or the next row.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.h"
#include "core/settings.h"
#include "sql/types.h"
#include "sql/translate.h"

namespace rt::sql::detail {

struct Outcome {
  int code = 0;
  std::string message;  // the back end's text when code < 0
  bool ok() const { return code == 0; }
};

struct ExecResult {
  long rows = 0;    // rows inserted, updated or deleted
  long serial = 0;  // the serial stored by an INSERT, 0 when none
};

// What settling the row changes sent without waiting found.
struct Settled {
  long sent = 0;        // statements that were waiting for their answers
  long failed = -1;     // position (from 0) of the first that failed, or -1
  long last_rows = 0;   // rows of the last one that ran
  long total_rows = 0;  // rows of all that ran
};

class BackendCursor {
 public:
  virtual ~BackendCursor() = default;
  // Scroll cursors: row k (k >= 1) of the result into `into`; 100 when the
  // result has fewer rows. Rows once delivered stay deliverable.
  virtual Outcome row_at(long k, const Into& into) = 0;
  // Forward cursors: the next row; 100 at the end.
  virtual Outcome next(const Into& into) = 0;
  // Scroll cursors: the number of rows of the result (reads to its end).
  virtual Outcome count(long* n) = 0;
  // Forward cursors: whether next() can answer without the server (the row
  // is already here, or the end is known).
  virtual bool next_is_local() const { return false; }
  // The program closes the cursor: the back end lets go of it now. One
  // destroyed without close() lets go of it without a word to the server,
  // which may be gone.
  virtual void close() {}
};

class BackendStatement {
 public:
  virtual ~BackendStatement() = default;
  virtual const Translation& translation() const = 0;
  // Runs the statement. A SELECT answers 0 when it finds a row and 100
  // when not, and hands no rows back.
  virtual Outcome execute(const Params& params, ExecResult* result) = 0;
  // A SELECT of at most one row: 100 for none, -284 for more than one
  // (the variables are then left unchanged).
  virtual Outcome select_into(const Params& params, const Into& into) = 0;
  virtual Outcome open(const Params& params, bool scroll, std::unique_ptr<BackendCursor>* cursor) = 0;
  // Whether `send` may queue this statement (a row change with no serial
  // to hand back) rather than run it at once.
  virtual bool can_send() const { return false; }
  // Queues the statement without waiting for its answer; the answer is read
  // by Connection::settle. Only called in an open transaction, under the
  // default rule, when can_send() holds.
  virtual Outcome send(const Params& params) {
    (void)params;
    return {err::kNotAvailable, "this back end runs every statement at once"};
  }
};

class Connection {
 public:
  virtual ~Connection() = default;
  virtual Backend kind() const = 0;
  // Translates and prepares a statement of the dialect. One whose
  // placeholders meet text values comes back as a statement that is
  // translated again for the numbers bound there (by_bound_kinds).
  Outcome prepare(std::string_view text, std::unique_ptr<BackendStatement>* stmt) { return prepare(text, {}, stmt); }
  // The same, read with the placeholders `numbers` marks bound to numbers
  // (TranslateOptions::number_params).
  virtual Outcome prepare(std::string_view text, const std::vector<bool>& numbers,
                          std::unique_ptr<BackendStatement>* stmt) = 0;
  virtual bool in_transaction() = 0;
  virtual Outcome begin() = 0;
  virtual Outcome commit() = 0;
  virtual Outcome rollback() = 0;
  // `name` is a checked identifier.
  virtual Outcome savepoint(const std::string& name) = 0;
  virtual Outcome release(const std::string& name) = 0;
  virtual Outcome rollback_to(const std::string& name) = 0;
  // On while the program goes on after a failing statement (and so needs
  // the transaction still usable); off under the default rule, where a
  // failure stops the program and rolls the transaction back whole.
  virtual void guard_statements(bool on) { (void)on; }
  // Reads the answers of every statement queued by BackendStatement::send,
  // in order, and reports the first failure (the server skips the rest of
  // the queue after it). A back end that queues must settle by itself
  // before it sends anything else; a failure it finds then is kept and
  // reported here.
  virtual Outcome settle(Settled* settled) {
    *settled = {};
    return {};
  }
  // Runs one statement of the back end's own SQL, untranslated, and hands
  // back its rows as text. The back end forgets what it knew of tables
  // afterwards (the statement may have changed them).
  virtual Outcome native(std::string_view text, std::vector<NativeRow>* rows) = 0;
  // Whether the connection can only read: the file is not writable by
  // this user, or it was opened to read only.
  virtual bool read_only() const { return false; }
  // Copies the committed state of the database into the new file `path`
  // (the embedded back end only).
  virtual Outcome backup(const std::string& path) {
    (void)path;
    return {err::kNotAvailable, "this back end keeps no database file of its own"};
  }
  // Called from a signal handler (async-signal-safe): makes a statement
  // that is running, or waiting for a lock, end soon with an error.
  virtual void cancel_from_signal() {}
};

// A statement just prepared without numbers (`*stmt`) whose placeholders
// meet text values (ParamTarget::meets_text) is put inside one that, for
// each run, picks the statement read for the placeholders bound to numbers
// there: prepared at the first run that binds them so, then kept. When
// none is (text bound to a CHAR key: the programs' own case) it is the
// statement as prepared, with its SQL and its use of indexes.
void by_bound_kinds(Connection* conn, std::string_view text, std::unique_ptr<BackendStatement>* stmt);

// The settings the connection was made with (lock timeout, cursor idle
// time, spin time); put in place by connect before a back end opens.
const Settings& connection_settings();
void use_connection_settings(const Settings& s);
// How long a statement waits for a lock another program holds before it
// fails with -154 (LUNADESK_LOCK_TIMEOUT_MS).
int lock_timeout_ms();
// Interruptible scopes open (the SQL layer counts them).
int& interruptible_scopes();
// The interrupt key has stopped the work of an Interruptible scope.
bool interrupted();
// The run is ending (a hang-up or termination) or the interrupt key has
// stopped interruptible work: a wait for a lock gives up at once.
bool cut_short();

// The wait of a statement of the program's own session for a lock another
// program holds: ContinueOnLock scopes open, the program's hook, and what
// the wait came to (waiting, told Long, given up), which the SQL layer
// reads and resets after each call into the back end.
//
// A policy of one session: the program's own session watches its waits
// through the one value lock_waits() returns, which only the program's own
// thread reads or writes (the hook draws on the screen and reads keys). A
// session the layer runs beside it on another thread (the reader of scroll
// cursors, pg_cursor.h) is given no policy and simply waits: it never
// touches this value.
struct LockWaits {
  int scopes = 0;
  LockWaitHook hook = nullptr;
  bool waiting = false;
  bool long_wait = false;
  bool given_up = false;

  // Whether a statement that is slow to answer is to be watched as a
  // wait for a lock (inside a ContinueOnLock scope).
  bool watched() const { return scopes > 0; }
  // Called by a back end every few tens of milliseconds while a statement
  // waits for a lock another program holds (or, when watched(), has not
  // answered yet), with the milliseconds waited so far. Tells the
  // program's hook; true when the wait is to be given up (the interrupt
  // flag is set): the back end then ends the statement with an error,
  // which the layer reports as -154. Outside a ContinueOnLock scope it
  // returns false and tells nobody.
  bool tell(long waited_ms);
};
// The program's own session's policy (see above).
LockWaits& lock_waits();

// Opens the SQLite file at `path`. Unless `create` is set, a file that does
// not exist, or is empty, is an error (a database is never made by
// accident). With `read_only` the connection only reads and leaves the
// file exactly as it was, its journal mode included; a file this user may
// not write is opened so too. Every connection that may write keeps the
// write-ahead log and its index beside the file when it closes, so that a
// user who may only read finds them there (reading a file in WAL mode
// needs them, and that user cannot create them). On failure returns
// null with a message that names the file.
std::unique_ptr<Connection> open_sqlite(const std::string& path, bool create, std::string* error,
                                        bool read_only = false);
// Connects to database `dbname` on the server that the PG* environment
// names. On failure returns null with a message naming database and server.
std::unique_ptr<Connection> open_pg(const std::string& dbname, std::string* error);

}  // namespace rt::sql::detail
