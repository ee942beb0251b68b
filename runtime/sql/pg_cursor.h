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
// died after its snapshot. So once no cursor of the reader has been used for
// LUNADESK_CURSOR_IDLE_MS milliseconds (default 60000), a watcher thread
// ends the transaction: the server then computes the rest of each of its
// cursors into a held copy (the time a WITH HOLD cursor would have cost at
// the open, now spent while nobody waits), and the cursors go on from the
// same position with the same rows. The transaction also ends as soon as
// its last cursor is closed, and before the program changes the schema of
// a table on its first session (which would otherwise wait for the share
// lock the reader holds). A later open starts a new transaction.
//
// An error while the transaction is open (a row that cannot be computed)
// ends it: the cursors declared in it are lost, and their next fetch fails.
//
// Owns the second session and the watcher thread. Never runs anything but
// the cursors' statements, and never takes part in the program's
// transactions.
#pragma once

#include <libpq-fe.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "sql/backend.h"
#include "sql/pg_wire.h"

namespace rt::sql::detail::pg {

class CursorReader {
 public:
  // The reader on database `dbname`; null with the reason when the second
  // session cannot be had.
  static std::unique_ptr<CursorReader> open(const std::string& dbname, std::string* error);
  ~CursorReader();
  CursorReader(const CursorReader&) = delete;
  CursorReader& operator=(const CursorReader&) = delete;

  // Declares a scroll cursor for `tr` with the parameters given and reads
  // its first row. On failure nothing of it remains and the cursors
  // already open are kept.
  Outcome open(const Translation& tr, int n, const char* const* values, std::unique_ptr<BackendCursor>* cursor);
  // Ends the read transaction now: its cursors become held cursors.
  void hold_cursors();
  // Async-signal-safe: cuts a statement of the reader short.
  void cancel_from_signal();

 private:
  class Cursor;
  explicit CursorReader(PGconn* c);
  using Clock = std::chrono::steady_clock;

  // Each call below takes mu_. `txn` is the transaction that declared
  // the cursor.
  void touch();
  Outcome fetch(const std::string& name, long txn, long k, StmtKind kind, const Into& into);
  Outcome count(const std::string& name, long txn, StmtKind kind, long* n);
  void close(const std::string& name, long txn);

  // With mu_ held.
  Outcome lost_cursor() const;
  void end_transaction();
  void after_failure();
  void watch();

  PGconn* c_;
  PGcancel* cancel_;
  std::chrono::milliseconds idle_;
  std::mutex mu_;
  std::condition_variable wake_;
  std::thread watcher_;
  bool stop_ = false;
  bool in_txn_ = false;  // the read transaction is open
  long txn_ = 0;         // number of the current (or next) transaction
  int declared_ = 0;     // cursors declared in it and not closed
  long serial_ = 0;      // names of cursors
  std::set<long> lost_;  // transactions that an error ended, with their cursors
  Clock::time_point last_use_;
};

}  // namespace rt::sql::detail::pg
