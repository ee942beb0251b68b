// Scroll cursors on PostgreSQL read lazily, so that the first row and each
// move cost the same over ten rows and over ten million.
//
// A cursor declared WITH HOLD outside a transaction is computed whole
// before its first row is delivered. So a scroll cursor that the program
// opens outside a transaction goes to a second session of the program's
// (the reader), inside a read-only transaction there, declared WITH HOLD:
// while that transaction lasts the server delivers the rows as the cursor
// is moved, and keeps none of them for the program. The cursor's snapshot
// is taken at its open, so a row changed or deleted afterwards, by this
// program or another, is still delivered as it was; and since the program's
// own transactions run on its first session, the cursor outlives every save.
//
// The reader's open transaction keeps the server from cleaning up rows that
// died after its snapshot, and its session takes one of the server's
// connections, of which a server has few (a hundred by default). So once
// no cursor of the reader has been used for LUNADESK_CURSOR_IDLE_MS
// milliseconds (default 60000), a watcher thread lets go of both: it reads
// the rows of each cursor of the transaction into the program (a result of
// at most kCopyRows rows; the cursor then goes on from the same position
// with the same rows, and asks the server nothing more), and closes the
// session once no cursor needs it. A larger result stays on the server:
// the transaction ends, the server computes the rest of it into a held
// copy (the time a WITH HOLD cursor would have cost at the open, now spent
// while nobody waits), and the session stays until that cursor is closed
// and the reader has been idle again. So a program that is not browsing
// holds its one connection only. The next open opens a new session (a
// connection and one round trip of settings); when the server has none to
// spare, open() fails, the back end reads the cursor on the program's own
// session, and no second session is tried again for the idle time.
//
// The transaction also ends as soon as its last cursor is closed, and
// before the program changes the schema of a table on its first session
// (which would otherwise wait for the share lock the reader holds). A
// later open starts a new transaction.
//
// An error while the transaction is open (a row that cannot be computed)
// ends it: the cursors declared in it are lost, and their next fetch fails.
//
// Threads: the program's own thread calls every public function; the
// watcher runs watch(). Both touch the session and every member below
// mu_ only with mu_ held, and the watcher touches nothing else: it runs
// the session's statements with no lock-wait policy (the program's, which
// draws on the screen, belongs to the program's thread), and its session
// writes no error log. The signal handler reaches the server only through
// signal_cancel_.
//
// Owns the second session and the watcher thread. Never runs anything but
// the cursors' statements, and never takes part in the program's
// transactions.
//
// The other cursors (forward cursors, and scroll cursors opened inside a
// transaction or over a temporary table) are server cursors WITH HOLD on
// the program's own session (ServerCursor): they outlive the transaction
// that declared them, and the server keeps the rows as they were at the
// open. The layer never relies on the server's own cursor position: a
// scroll cursor fetches row k with FETCH ABSOLUTE, a forward cursor
// fetches batches.
//
// A cursor closed by the program is closed on the server at once; one
// that is only destroyed (the connection going, the program ending) says
// nothing to the server, which may be gone: the session lets go of it with
// its next statement, or with the session itself.
#pragma once

#include <libpq-fe.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sql/backend.h"
#include "sql/pg_wire.h"

namespace rt::sql::detail::pg {

// What a cursor on the program's own session needs of that session.
class CursorSession {
 public:
  virtual PGconn* conn() const = 0;
  // Runs one of the layer's statements under the session's statement
  // guard (pg_backend.cpp), `always` or only while the guard is on.
  virtual Result run_guarded(const std::string& sql, bool always) = 0;
  // Runs `sql` before the session's next statement, not now.
  virtual void release_later(std::string sql) = 0;

 protected:
  ~CursorSession() = default;
};

// A server cursor WITH HOLD on the program's own session, declared by the
// back end.
class ServerCursor : public BackendCursor {
 public:
  ServerCursor(CursorSession* session, std::string name, StmtKind kind)
      : session_(session), name_(std::move(name)), kind_(kind) {}
  ~ServerCursor() override;
  ServerCursor(const ServerCursor&) = delete;
  ServerCursor& operator=(const ServerCursor&) = delete;
  Outcome row_at(long k, const Into& into) override;
  Outcome next(const Into& into) override;
  Outcome count(long* n) override;
  bool next_is_local() const override { return done_ || (batch_ && batch_row_ < PQntuples(batch_.get())); }
  void close() override;

 private:
  CursorSession* session_;
  std::string name_;
  StmtKind kind_;
  Result batch_;
  int batch_row_ = 0;
  bool done_ = false;
  bool closed_ = false;
};

class CursorReader {
 public:
  // Rows of a result that the watcher reads into the program when idle.
  static constexpr int kCopyRows = 2000;

  // The reader of database `dbname`: no session until the first open().
  explicit CursorReader(std::string dbname);
  ~CursorReader();
  CursorReader(const CursorReader&) = delete;
  CursorReader& operator=(const CursorReader&) = delete;

  // Declares a scroll cursor for `tr` with the parameters given and reads
  // its first row, opening the session first when it is closed. On failure
  // nothing of it remains and the cursors already open are kept.
  Outcome open(const Translation& tr, int n, const char* const* values, std::unique_ptr<BackendCursor>* cursor);
  // Ends the read transaction now: its cursors become held cursors.
  void hold_cursors();
  // Async-signal-safe: cuts a statement of the reader short.
  void cancel_from_signal();

 private:
  class Cursor;
  using Clock = std::chrono::steady_clock;

  // Each call below takes mu_. `txn` is the transaction that declared
  // the cursor.
  void touch();
  Outcome fetch(const std::string& name, long txn, long k, StmtKind kind, const Into& into);
  Outcome count(const std::string& name, long txn, StmtKind kind, long* n);
  void close(const std::string& name, long txn);
  // A cursor destroyed without close(): closed at the reader's next call.
  void close_later(const std::string& name, long txn);

  // With mu_ held.
  Outcome connect();
  void close_session();
  void close_locked(const std::string& name, long txn);
  void close_pending();
  Outcome lost_cursor() const;
  void end_transaction(const std::string& before = {});
  void after_failure();
  void release_idle();
  void watch();

  const std::string dbname_;
  std::chrono::milliseconds idle_;
  // The program's thread only: the cancel handle of the session last
  // opened (kept after the watcher closes it: a late cancel finds no
  // statement), and what the signal handler reads.
  Canceller cancel_;
  std::atomic<PGcancel*> signal_cancel_{nullptr};

  std::thread watcher_;
  std::condition_variable wake_;  // the watcher waits on it, with mu_
  std::mutex mu_;                 // guards everything below, the session first
  Session session_;
  PGconn* c_ = nullptr;  // session_'s, null while closed
  bool stop_ = false;
  bool in_txn_ = false;                                // the read transaction is open
  long txn_ = 0;                                       // number of the current (or next) transaction
  int declared_ = 0;                                   // cursors declared in it and not closed
  long serial_ = 0;                                    // names of cursors
  bool case_functions_ = false;                        // the session has its upshift and downshift
  std::set<long> lost_;                                // transactions that an error ended, with their cursors
  std::map<std::string, long> on_server_;              // cursors the session holds, with their transaction
  std::map<std::string, Result> copies_;               // cursors read whole into the program
  std::vector<std::pair<std::string, long>> pending_;  // cursors to close
  Clock::time_point last_use_;
  Clock::time_point retry_at_;  // no session is tried before this
};

}  // namespace rt::sql::detail::pg
