// The PostgreSQL back end's wire: what talks libpq, shared by its files
// (pg_backend.cpp, pg_cursor.cpp). Owns the libpq handles (a session, its
// cancel handle, a result), each with one owner that releases it without
// waiting for the server, which may be gone. Opens a session with the
// layer's settings, sends statements and awaits their answers, sends
// several in one round trip, queues row changes without waiting for their
// answers and drains them, turns an error into the system's number, binds
// parameters as text and stores a fetched row into variables.
//
// Knows nothing of transactions, savepoints, temporary tables or cursors.
//
// Awaiting an answer: every statement is a round trip to the server, and
// waking up a process blocked on its socket can take longer than the
// statement itself on a multi-core machine. So after sending, the wire
// first polls the socket without sleeping, for at most
// LUNADESK_PG_SPIN_US microseconds (default 200; 0 turns this off), and
// only then blocks: the short statements of a batch loop are answered
// within that time. On a single processor it always blocks, and after an
// answer that took longer than the budget it blocks until one comes within
// it again (a machine with more work than processors). A session's
// lock waits follow the policy its caller passes with each statement
// (LockWaits, backend.h): while the policy watches (a ContinueOnLock scope
// of the program's own session), the wire waits in steps instead, telling
// the policy, which may give the wait up (a cancel request). With no
// policy (null: the reader of scroll cursors, on its own thread) it just
// waits, and touches nothing but the session.
#pragma once

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sql/backend.h"

namespace rt::sql::detail::pg {

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// A session: PQfinish closes the socket after a terminate message that is
// never waited for.
struct SessionDeleter {
  void operator()(PGconn* c) const { PQfinish(c); }
};
using Session = std::unique_ptr<PGconn, SessionDeleter>;

// A session's cancel handle: freeing it is local.
struct CancelDeleter {
  void operator()(PGcancel* c) const { PQfreeCancel(c); }
};
using Canceller = std::unique_ptr<PGcancel, CancelDeleter>;

// The settings that decide how the server reads a text constant.
inline constexpr std::string_view kLiteralSettings =
    "SET standard_conforming_strings TO on; SET backslash_quote TO off; ";

// A session on database `dbname` of the server that the PG* environment
// names, with the layer's settings; null with a message naming database
// and server when it cannot be had. The server's warnings on the session
// (a commit kept although its wait for a standby was cancelled, say) go to
// the error log when `log_warnings` is set, and are dropped otherwise: only
// the program's own thread may write the log. `extra_setup` (statements
// ending in "; ") runs in the same round trip as the layer's settings.
// Without `with_case_functions` the session's upshift and downshift
// (below) are left for the caller to make when a statement needs them.
Session open_session(const std::string& dbname, std::string* error, bool log_warnings = false,
                     std::string_view extra_setup = {}, bool with_case_functions = true);
// The statements that make the session's own upper() and lower(), which the
// translator writes as pg_temp.upshift and pg_temp.downshift: they fold
// as the runtime does, whatever the server's locale. Temporary functions:
// they cost the server catalog changes at the session's start and end.
std::string case_functions();

// Async-signal-safe: asks the server to cut short what the session runs.
void cancel(PGcancel* c);

// Each call below that awaits an answer takes the session's lock-wait
// policy `waits` (null for none).
//
// The last result of what was sent (`sent` is what the PQsend... call
// returned), awaited as every answer is; null when nothing was sent.
Result collect(PGconn* c, LockWaits* waits, int sent);
// The results of one query sent, as PQexec would return them: the last.
Result last_result(PGconn* c, LockWaits* waits);
// PQexec, PQexecParams, PQexecPrepared and PQprepare, awaited as above.
Result pq_exec(PGconn* c, LockWaits* waits, const char* sql);
Result pq_exec_params(PGconn* c, LockWaits* waits, const char* sql, int n, const char* const* values);
Result pq_exec_prepared(PGconn* c, LockWaits* waits, const char* name, int n, const char* const* values);
Result pq_prepare(PGconn* c, LockWaits* waits, const char* name, const char* sql, int n);

bool command_ok(const Result& r);
// Whether a result is an answer, not an error.
bool answered(const Result& r);
// The row count a command reports (0 when none).
long rows_of(const PGresult* r);

// One statement of a round trip: a text, or a prepared statement by name,
// with its parameters.
struct Query {
  const char* sql = nullptr;
  const char* prepared = nullptr;
  int n = 0;
  const char* const* values = nullptr;
};
// Sends the statements in one round trip (libpq's pipeline mode) and reads
// each one's result: those after a failure come back aborted, and one that
// could not be sent is null. False, with nothing sent, when the session
// cannot enter pipeline mode.
bool in_one_trip(PGconn* c, LockWaits* waits, const std::vector<Query>& queries, std::vector<Result>* results);
// Reads up to the sync point (when one was sent) and leaves pipeline mode:
// the session is idle again.
void end_pipeline(PGconn* c, bool synced);

Outcome error_of(PGconn* conn, const PGresult* res, StmtKind kind);
// Row `row` of `res` into the variables, converted to their types.
Outcome store_row(const PGresult* res, int row, const Into& into);

// Parameters as text, converted as the translation says.
class Bound {
 public:
  Outcome bind(const Translation& tr, const Params& params);
  int count() const { return static_cast<int>(ptrs_.size()); }
  const char* const* values() const { return ptrs_.data(); }

 private:
  std::vector<std::string> text_;
  std::vector<const char*> ptrs_;
};

// Row changes sent without waiting for their answers (libpq's pipeline
// mode): the first at once and the rest in bunches (send()), the server
// works through them back to back, and their answers are read together at the next sync
// point (drain). The caller drains before it sends anything else, so the
// pipeline never holds more than the queued row changes; the first failure
// a drain finds is kept until settle() hands it over. After a failure the
// server skips the rest of the queue.
class RowChanges {
 public:
  bool empty() const { return queued_.empty(); }
  Outcome send(PGconn* c, const char* name, int n, const char* const* values, StmtKind kind);
  void drain(PGconn* c);
  // Drains, then hands over what the drains since the last settle found.
  Outcome settle(PGconn* c, Settled* settled);

 private:
  std::vector<StmtKind> queued_;  // sent, answers not read
  Settled settled_;               // what drain() read since settle()
  Outcome held_;                  // the first failure drain() found
};

}  // namespace rt::sql::detail::pg
