// The state of the public SQL services for the program's run, shared by
// the files that implement sql.h: sql.cpp (connection, statements, rules,
// transactions), sql_cursor.cpp (cursors and their position) and
// sql_catalog.cpp (questions about the database as a whole). Owns the one
// connection and every handle on it; never included outside this library.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/runtime.h"
#include "sql/backend.h"
#include "sql/sql.h"

namespace rt::sql {

struct Statement::Impl {
  std::string text;  // as the program wrote it
  std::unique_ptr<detail::BackendStatement> bs;
  const Translation& tr() const { return bs->translation(); }
};

struct Cursor::Impl {
  std::shared_ptr<Statement::Impl> stmt;
  bool scroll = false;
  std::unique_ptr<detail::BackendCursor> bc;  // null while closed
  long pos = 0;
};

namespace services {

inline constexpr size_t kCacheLimit = 256;
// Row changes sent without waiting before their answers are read.
inline constexpr size_t kSendLimit = 256;

// Looks statement texts up without copying them first.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

struct State {
  std::unique_ptr<detail::Connection> conn;
  bool continue_on_error = false;
  int keep_bad_values = 0;  // open KeepBadValues scopes
  bool cleanup_registered = false;
  long last_serial = 0;
  long rows = 0;
  std::string last_error;
  std::unordered_map<std::string, std::shared_ptr<Statement::Impl>, TextHash, std::equal_to<>> cache;
  // Everything that holds back-end handles, so that a disconnect can let go
  // of them before the connection goes.
  std::vector<std::weak_ptr<Statement::Impl>> statements;
  std::vector<std::weak_ptr<Cursor::Impl>> cursors;
  std::vector<std::string> savepoints;
  // Row changes sent without waiting for their answers (PipelinedChanges),
  // each with where the program ran it, for the report of a failure.
  struct Sent {
    std::shared_ptr<Statement::Impl> stmt;
    Loc loc;
  };
  std::vector<Sent> sent;
  int pipelined = 0;  // PipelinedChanges scopes open
  long changed = 0;   // rows changed by row changes in those scopes
  // Calls into the back end in progress: a clean-up that runs from a
  // signal meanwhile must not re-enter it (the server and SQLite roll an
  // unfinished transaction back by themselves when the process ends).
  int busy = 0;
  void (*before_call)() = nullptr;  // set_before_call_hook()

  // At exit without a disconnect, the cursors and statements that module
  // variables still hold let go of their back-end handles while the
  // connection is there.
  ~State() {
    for (auto& w : cursors) {
      if (auto c = w.lock()) c->bc.reset();
    }
    for (auto& w : statements) {
      if (auto st = w.lock()) st->bs.reset();
    }
  }
};

State& g();

inline constexpr std::string_view kInterruptedText = "The statement was interrupted.";

// A hang-up or termination seen between calls ends the run here, before
// the next statement starts and before a statement it cut short reports
// an error.
void stop_if_quit();
// The one way every call ends: sets the status and applies the default
// rule to an error.
void finish(const detail::Outcome& o, const Loc& loc, std::string_view text);
void fail(int code, std::string message, const Loc& loc, std::string_view text = {});
// Reads the answers of the row changes sent without waiting, and applies
// the default rule to the first that failed, at the place the program ran
// it.
void settle();
// After a back-end call: the end of a wait for a lock that the program
// was told of, and a wait given up.
detail::Outcome after_wait(detail::Outcome o);
// The statement of `text` from the cache, prepared on first use; null with
// the status set on error.
std::shared_ptr<Statement::Impl> cached(std::string_view text, const Loc& loc);
// Whether `stmt` is prepared; sets the status when it is not.
bool usable(const Statement& stmt, const Loc& loc);

// Marks a call into the back end for rollback_on_exit().
struct Busy {
  Busy() { ++g().busy; }
  ~Busy() { --g().busy; }
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;
};

// The program's hook, before a call reaches the database.
inline void before_call() {
  if (g().before_call) g().before_call();
}

// Runs a back-end call marked busy, without settling first (the call
// leaves the row changes sent where they are). Once the interrupt key has
// stopped an Interruptible scope's work, nothing more reaches the back end
// but a rollback.
template <class F>
detail::Outcome unsettled(F call, bool refused_when_interrupted = true) {
  stop_if_quit();
  if (refused_when_interrupted && detail::interrupted()) return {err::kInterrupted, std::string(kInterruptedText)};
  before_call();
  Busy busy;
  return after_wait(call());
}

// Runs a back-end call marked busy, after the answers of the row changes
// sent; the outcome is handled after it, so that a fatal report's
// clean-ups find the back end free.
template <class F>
detail::Outcome guarded(F call, bool refused_when_interrupted = true) {
  settle();
  return unsettled(call, refused_when_interrupted);
}

template <class T>
void prune(std::vector<std::weak_ptr<T>>* v) {
  if (v->size() < 64) return;
  v->erase(std::remove_if(v->begin(), v->end(), [](const std::weak_ptr<T>& w) { return w.expired(); }), v->end());
}

}  // namespace services
}  // namespace rt::sql
