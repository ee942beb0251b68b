// Scroll cursors read lazily on a second session: see pg_cursor.h.
#include "sql/pg_cursor.h"

#include <pthread.h>
#include <signal.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "core/runtime.h"
#include "core/errors.h"

namespace rt::sql::detail::pg {
namespace {

// Rows a forward cursor fetches at a time.
constexpr int kForwardBatch = 256;

std::chrono::milliseconds idle_bound() { return std::chrono::milliseconds(connection_settings().cursor_idle_ms); }

}  // namespace

class CursorReader::Cursor : public BackendCursor {
 public:
  Cursor(CursorReader* reader, std::string name, long txn, StmtKind kind, Result first)
      : reader_(reader), name_(std::move(name)), txn_(txn), kind_(kind), first_(std::move(first)) {}
  ~Cursor() override {
    if (!closed_) reader_->close_later(name_, txn_);
  }
  void close() override {
    if (closed_) return;
    closed_ = true;
    reader_->close(name_, txn_);
  }

  Outcome row_at(long k, const Into& into) override {
    // Row 1 came with the open; it never changes.
    if (k == 1 && first_) {
      if (PQntuples(first_.get()) == 0) return {err::kNotFound, {}};
      reader_->touch();
      return store_row(first_.get(), 0, into);
    }
    return reader_->fetch(name_, txn_, k, kind_, into);
  }
  Outcome next(const Into&) override { return {err::kNotAvailable, "a scroll cursor moves by row number"}; }
  Outcome count(long* n) override { return reader_->count(name_, txn_, kind_, n); }

 private:
  CursorReader* reader_;
  std::string name_;
  long txn_;
  StmtKind kind_;
  Result first_;
  bool closed_ = false;
};

CursorReader::CursorReader(std::string dbname) : dbname_(std::move(dbname)), idle_(idle_bound()) {
  // The watcher takes no signal: they go to the program's own thread,
  // whose blocking reads they are meant to interrupt.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  watcher_ = std::thread([this] { watch(); });
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

CursorReader::~CursorReader() {
  {
    std::lock_guard<std::mutex> lk(mu_);
    stop_ = true;
  }
  wake_.notify_all();
  watcher_.join();
  signal_cancel_.store(nullptr);
  // Ending the session (session_) rolls back its transaction and drops
  // its cursors.
}

void CursorReader::cancel_from_signal() { cancel(signal_cancel_.load()); }

Outcome CursorReader::connect() {
  if (c_ && PQstatus(c_) != CONNECTION_OK) close_session();
  if (c_) return {};
  if (Clock::now() < retry_at_) return {err::kConnect, "no second session: the last attempt failed a moment ago"};
  // A browse reads a few rows of its result: the planner is told so, and
  // picks a plan that delivers the first rows at once (an index in the
  // order asked for) over one that is cheapest for reading all of them (a
  // sort of the whole table before the first row). The session's
  // upshift and downshift are made when a cursor first needs them: most
  // never do, and a session that comes and goes should not change the
  // server's catalog each time; it only reads, so making them need not
  // wait for the disk.
  std::string why;
  Session session =
      open_session(dbname_, &why, false, "SET cursor_tuple_fraction TO 0.0001; SET synchronous_commit TO off; ", false);
  if (!session) {
    retry_at_ = Clock::now() + idle_;
    return {err::kConnect, why};
  }
  Canceller k(PQgetCancel(session.get()));
  signal_cancel_.store(k.get());
  cancel_ = std::move(k);
  session_ = std::move(session);
  c_ = session_.get();
  case_functions_ = false;
  return {};
}

// The cursors still on the server go with the session.
void CursorReader::close_session() {
  for (const auto& [name, txn] : on_server_) lost_.insert(txn);
  on_server_.clear();
  session_.reset();
  c_ = nullptr;
  if (in_txn_) ++txn_;
  in_txn_ = false;
  declared_ = 0;
}

Outcome CursorReader::open(const Translation& tr, int n, const char* const* values,
                           std::unique_ptr<BackendCursor>* cursor) {
  std::lock_guard<std::mutex> lk(mu_);
  close_pending();
  if (Outcome o = connect(); !o.ok()) return o;
  if (!case_functions_ && tr.text.find("pg_temp.") != std::string::npos) {
    // Not inside the read-only transaction: the back end then reads this
    // cursor on its own session.
    if (in_txn_) return {err::kNotAvailable, "the reader cannot make its functions inside its transaction"};
    Result made = pq_exec(c_, nullptr, case_functions().c_str());
    if (!command_ok(made)) return error_of(c_, made.get(), tr.kind);
    case_functions_ = true;
  }
  const std::string name = "lunadesk_r" + std::to_string(++serial_);
  // Inside a transaction that holds other cursors, a savepoint keeps them
  // should this one fail.
  const bool begin = !in_txn_;
  const std::string declare = "DECLARE " + name + " SCROLL CURSOR WITH HOLD FOR " + tr.text;
  const std::string first = "FETCH ABSOLUTE 1 FROM " + name;
  std::vector<Query> sql{
      {begin ? "BEGIN READ ONLY" : "SAVEPOINT lunadesk_open"}, {declare.c_str(), nullptr, n, values}, {first.c_str()}};
  if (!begin) sql.push_back({"RELEASE SAVEPOINT lunadesk_open"});
  std::vector<Result> got;
  in_one_trip(c_, nullptr, sql, &got);
  bool ok = command_ok(got[0]) && command_ok(got[1]) && got[2] && PQresultStatus(got[2].get()) == PGRES_TUPLES_OK &&
            (begin || command_ok(got[3]));
  if (!ok) {
    Outcome o;
    for (const Result& r : got) {
      if (!r || (PQresultStatus(r.get()) != PGRES_COMMAND_OK && PQresultStatus(r.get()) != PGRES_TUPLES_OK &&
                 PQresultStatus(r.get()) != PGRES_PIPELINE_ABORTED)) {
        o = error_of(c_, r.get(), tr.kind);
        break;
      }
    }
    if (o.ok()) o = error_of(c_, nullptr, tr.kind);
    if (PQtransactionStatus(c_) != PQTRANS_IDLE) {
      if (begin ||
          !command_ok(pq_exec(c_, nullptr, "ROLLBACK TO SAVEPOINT lunadesk_open; RELEASE SAVEPOINT lunadesk_open")))
        after_failure();
    }
    return o;
  }
  if (begin) in_txn_ = true;
  ++declared_;
  on_server_[name] = txn_;
  last_use_ = Clock::now();
  *cursor = std::make_unique<Cursor>(this, name, txn_, tr.kind, std::move(got[2]));
  wake_.notify_all();
  return {};
}

void CursorReader::touch() {
  std::lock_guard<std::mutex> lk(mu_);
  last_use_ = Clock::now();
}

Outcome CursorReader::lost_cursor() const {
  return {err::kNoCursor, "the cursor was lost: an error ended the read transaction that held it"};
}

Outcome CursorReader::fetch(const std::string& name, long txn, long k, StmtKind kind, const Into& into) {
  std::lock_guard<std::mutex> lk(mu_);
  close_pending();
  last_use_ = Clock::now();
  if (auto copy = copies_.find(name); copy != copies_.end()) {
    if (k > PQntuples(copy->second.get())) return {err::kNotFound, {}};
    return store_row(copy->second.get(), static_cast<int>(k - 1), into);
  }
  if (lost_.count(txn) || !c_) return lost_cursor();
  Result res = pq_exec(c_, nullptr, ("FETCH ABSOLUTE " + std::to_string(k) + " FROM " + name).c_str());
  if (!res || PQresultStatus(res.get()) != PGRES_TUPLES_OK) {
    Outcome o = error_of(c_, res.get(), kind);
    if (PQtransactionStatus(c_) == PQTRANS_INERROR) after_failure();
    return o;
  }
  if (PQntuples(res.get()) == 0) return {err::kNotFound, {}};
  return store_row(res.get(), 0, into);
}

Outcome CursorReader::count(const std::string& name, long txn, StmtKind kind, long* n) {
  std::lock_guard<std::mutex> lk(mu_);
  close_pending();
  *n = 0;
  last_use_ = Clock::now();
  if (auto copy = copies_.find(name); copy != copies_.end()) {
    *n = PQntuples(copy->second.get());
    return {};
  }
  if (lost_.count(txn) || !c_) return lost_cursor();
  Result res = pq_exec(c_, nullptr, ("MOVE ABSOLUTE 0 IN " + name + "; MOVE FORWARD ALL IN " + name).c_str());
  if (!command_ok(res)) {
    Outcome o = error_of(c_, res.get(), kind);
    if (PQtransactionStatus(c_) == PQTRANS_INERROR) after_failure();
    return o;
  }
  *n = rows_of(res.get());
  return {};
}

void CursorReader::close(const std::string& name, long txn) {
  std::lock_guard<std::mutex> lk(mu_);
  close_pending();
  close_locked(name, txn);
  wake_.notify_all();
}

void CursorReader::close_later(const std::string& name, long txn) {
  std::lock_guard<std::mutex> lk(mu_);
  pending_.emplace_back(name, txn);
  wake_.notify_all();
}

void CursorReader::close_pending() {
  std::vector<std::pair<std::string, long>> todo;
  todo.swap(pending_);
  for (const auto& [name, txn] : todo) close_locked(name, txn);
}

void CursorReader::close_locked(const std::string& name, long txn) {
  if (copies_.erase(name) > 0) return;
  if (!on_server_.erase(name) || lost_.count(txn) || !c_ || PQstatus(c_) != CONNECTION_OK) return;
  const bool last = in_txn_ && txn == txn_ && --declared_ == 0;
  // The last cursor of the transaction goes with it, in the same trip.
  if (!last) {
    Result(pq_exec(c_, nullptr, ("CLOSE " + name).c_str()));
    return;
  }
  Result res = pq_exec(c_, nullptr, ("CLOSE " + name + "; COMMIT").c_str());
  if (PQtransactionStatus(c_) != PQTRANS_IDLE) Result(pq_exec(c_, nullptr, "ROLLBACK"));
  in_txn_ = false;
  ++txn_;
}

void CursorReader::hold_cursors() {
  std::lock_guard<std::mutex> lk(mu_);
  close_pending();
  end_transaction();
}

// `before`: statements ending in "; " sent in the same trip.
void CursorReader::end_transaction(const std::string& before) {
  if (!in_txn_) return;
  Result res = pq_exec(c_, nullptr, (before + "COMMIT").c_str());
  // A transaction that an error had ended answers COMMIT with ROLLBACK.
  if (!command_ok(res) || std::string_view(PQcmdStatus(res.get())) != "COMMIT") {
    after_failure();
    return;
  }
  in_txn_ = false;
  declared_ = 0;
  ++txn_;
}

void CursorReader::after_failure() {
  if (PQtransactionStatus(c_) != PQTRANS_IDLE) Result(pq_exec(c_, nullptr, "ROLLBACK"));
  for (auto it = on_server_.begin(); it != on_server_.end();) {
    it = it->second == txn_ ? on_server_.erase(it) : std::next(it);
  }
  lost_.insert(txn_);
  in_txn_ = false;
  declared_ = 0;
  ++txn_;
}

// The reader has been idle: each cursor of the read transaction that is
// small enough is read whole into the program and closed on the server,
// the transaction ends (what is left becomes held), and the session goes
// once it holds no cursor.
void CursorReader::release_idle() {
  close_pending();
  if (in_txn_) {
    std::string closes;
    const std::string rows = std::to_string(kCopyRows + 1);
    for (auto it = on_server_.begin(); it != on_server_.end();) {
      const std::string& name = it->first;
      if (it->second != txn_) {
        ++it;
        continue;
      }
      Result all =
          pq_exec(c_, nullptr, ("MOVE ABSOLUTE 0 IN " + name + "; FETCH FORWARD " + rows + " FROM " + name).c_str());
      if (PQresultStatus(all.get()) != PGRES_TUPLES_OK) {
        if (PQtransactionStatus(c_) == PQTRANS_INERROR) {
          after_failure();
          break;
        }
        ++it;
        continue;
      }
      if (PQntuples(all.get()) > kCopyRows) {
        ++it;
        continue;
      }
      closes += "CLOSE " + name + "; ";
      copies_[name] = std::move(all);
      it = on_server_.erase(it);
    }
    // With nothing left on the server, closing the session ends the
    // transaction too.
    if (in_txn_ && !on_server_.empty()) end_transaction(closes);
  }
  if (on_server_.empty() && c_) close_session();
}

void CursorReader::watch() {
  std::unique_lock<std::mutex> lk(mu_);
  while (!stop_) {
    // Idle work: a read transaction to end, or a session without cursors
    // to close.
    if (!c_ || (!in_txn_ && !on_server_.empty() && pending_.empty())) {
      wake_.wait(lk);
      continue;
    }
    const Clock::time_point due = last_use_ + idle_;
    if (Clock::now() < due) {
      wake_.wait_until(lk, due);
      continue;
    }
    release_idle();
    // Nothing more to do until the program uses the reader again.
    if (c_ && !in_txn_) last_use_ = Clock::now();
  }
}

ServerCursor::~ServerCursor() {
  if (!closed_) session_->release_later("CLOSE " + name_);
}

void ServerCursor::close() {
  if (closed_) return;
  closed_ = true;
  // Guarded: a cursor that a rollback already closed must not abandon an
  // open transaction.
  PGconn* c = session_->conn();
  if (PQstatus(c) == CONNECTION_OK && PQtransactionStatus(c) != PQTRANS_INERROR) {
    session_->run_guarded("CLOSE " + name_, true);
  }
}

Outcome ServerCursor::row_at(long k, const Into& into) {
  Result res = session_->run_guarded("FETCH ABSOLUTE " + std::to_string(k) + " FROM " + name_, false);
  if (PQresultStatus(res.get()) != PGRES_TUPLES_OK) return error_of(session_->conn(), res.get(), kind_);
  if (PQntuples(res.get()) == 0) return {err::kNotFound, {}};
  return store_row(res.get(), 0, into);
}

Outcome ServerCursor::next(const Into& into) {
  if (!batch_ || batch_row_ >= PQntuples(batch_.get())) {
    if (done_) return {err::kNotFound, {}};
    batch_ = session_->run_guarded("FETCH FORWARD " + std::to_string(kForwardBatch) + " FROM " + name_, false);
    batch_row_ = 0;
    if (PQresultStatus(batch_.get()) != PGRES_TUPLES_OK) {
      done_ = true;
      Outcome o = error_of(session_->conn(), batch_.get(), kind_);
      batch_.reset();
      return o;
    }
    if (PQntuples(batch_.get()) < kForwardBatch) done_ = true;
    if (PQntuples(batch_.get()) == 0) return {err::kNotFound, {}};
  }
  return store_row(batch_.get(), batch_row_++, into);
}

Outcome ServerCursor::count(long* n) {
  *n = 0;
  Result res = session_->run_guarded("MOVE ABSOLUTE 0 IN " + name_ + "; MOVE FORWARD ALL IN " + name_, false);
  if (PQresultStatus(res.get()) != PGRES_COMMAND_OK) return error_of(session_->conn(), res.get(), kind_);
  *n = rows_of(res.get());
  return {};
}

}  // namespace rt::sql::detail::pg
