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

constexpr long kDefaultIdleMs = 60000;

std::chrono::milliseconds idle_bound() {
  const std::string v = rt::getenv_str("LUNADESK_CURSOR_IDLE_MS");
  const long ms = v.empty() ? 0 : std::strtol(v.c_str(), nullptr, 10);
  return std::chrono::milliseconds(ms > 0 ? ms : kDefaultIdleMs);
}

bool command_ok(const Result& r) { return r && PQresultStatus(r.get()) == PGRES_COMMAND_OK; }

// Runs the statements in one round trip (libpq's pipeline mode): `with`
// names the one that carries the parameters. Each gets its result; those
// after a failure come back aborted, and so does everything when the
// connection fails.
std::vector<Result> in_one_trip(PGconn* c, const std::vector<std::string>& sql, std::size_t with, int n,
                                const char* const* values) {
  std::vector<Result> out(sql.size());
  if (PQenterPipelineMode(c) != 1) return out;
  std::size_t sent = 0;
  for (; sent < sql.size(); ++sent) {
    const bool params = sent == with;
    if (PQsendQueryParams(c, sql[sent].c_str(), params ? n : 0, nullptr, params ? values : nullptr, nullptr, nullptr,
                          0) != 1)
      break;
  }
  const bool synced = PQpipelineSync(c) == 1;
  for (std::size_t q = 0; q < sent; ++q) out[q] = last_result(c);
  while (PGresult* r = synced ? PQgetResult(c) : nullptr) {
    const bool sync = PQresultStatus(r) == PGRES_PIPELINE_SYNC;
    PQclear(r);
    if (sync) break;
  }
  PQexitPipelineMode(c);
  return out;
}

}  // namespace

class CursorReader::Cursor : public BackendCursor {
 public:
  Cursor(CursorReader* reader, std::string name, long txn, StmtKind kind, Result first)
      : reader_(reader), name_(std::move(name)), txn_(txn), kind_(kind), first_(std::move(first)) {}
  ~Cursor() override { reader_->close(name_, txn_); }

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
};

std::unique_ptr<CursorReader> CursorReader::open(const std::string& dbname, std::string* error) {
  PGconn* c = open_session(dbname, error);
  if (!c) return nullptr;
  // A browse reads a few rows of its result: the planner is told so, and
  // picks a plan that delivers the first rows at once (an index in the
  // order asked for) over one that is cheapest for reading all of them (a
  // sort of the whole table before the first row).
  if (!command_ok(pq_exec(c, "SET cursor_tuple_fraction TO 0.0001"))) {
    *error = PQerrorMessage(c);
    PQfinish(c);
    return nullptr;
  }
  return std::unique_ptr<CursorReader>(new CursorReader(c));
}

CursorReader::CursorReader(PGconn* c) : c_(c), cancel_(PQgetCancel(c)), idle_(idle_bound()) {
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
  if (cancel_) PQfreeCancel(cancel_);
  // Ending the session rolls back its transaction and drops its cursors.
  PQfinish(c_);
}

void CursorReader::cancel_from_signal() {
  char why[256];
  if (cancel_) PQcancel(cancel_, why, sizeof why);
}

Outcome CursorReader::open(const Translation& tr, int n, const char* const* values,
                           std::unique_ptr<BackendCursor>* cursor) {
  std::lock_guard<std::mutex> lk(mu_);
  const std::string name = "lunadesk_r" + std::to_string(++serial_);
  // Inside a transaction that holds other cursors, a savepoint keeps them
  // should this one fail.
  const bool begin = !in_txn_;
  std::vector<std::string> sql{begin ? "BEGIN READ ONLY" : "SAVEPOINT lunadesk_open",
                               "DECLARE " + name + " SCROLL CURSOR WITH HOLD FOR " + tr.text,
                               "FETCH ABSOLUTE 1 FROM " + name};
  if (!begin) sql.push_back("RELEASE SAVEPOINT lunadesk_open");
  std::vector<Result> got = in_one_trip(c_, sql, 1, n, values);
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
      if (begin || !command_ok(pq_exec(c_, "ROLLBACK TO SAVEPOINT lunadesk_open; RELEASE SAVEPOINT lunadesk_open")))
        after_failure();
    }
    return o;
  }
  if (begin) in_txn_ = true;
  ++declared_;
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
  if (lost_.count(txn)) return lost_cursor();
  last_use_ = Clock::now();
  Result res = pq_exec(c_, ("FETCH ABSOLUTE " + std::to_string(k) + " FROM " + name).c_str());
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
  *n = 0;
  if (lost_.count(txn)) return lost_cursor();
  last_use_ = Clock::now();
  Result res = pq_exec(c_, ("MOVE ABSOLUTE 0 IN " + name + "; MOVE FORWARD ALL IN " + name).c_str());
  if (!command_ok(res)) {
    Outcome o = error_of(c_, res.get(), kind);
    if (PQtransactionStatus(c_) == PQTRANS_INERROR) after_failure();
    return o;
  }
  const char* tuples = PQcmdTuples(res.get());
  *n = tuples && *tuples ? std::atol(tuples) : 0;
  return {};
}

void CursorReader::close(const std::string& name, long txn) {
  std::lock_guard<std::mutex> lk(mu_);
  if (lost_.count(txn) || PQstatus(c_) != CONNECTION_OK) return;
  const bool last = in_txn_ && txn == txn_ && --declared_ == 0;
  // The last cursor of the transaction goes with it, in the same trip.
  if (!last) {
    Result(pq_exec(c_, ("CLOSE " + name).c_str()));
    return;
  }
  Result res = pq_exec(c_, ("CLOSE " + name + "; COMMIT").c_str());
  if (PQtransactionStatus(c_) != PQTRANS_IDLE) Result(pq_exec(c_, "ROLLBACK"));
  in_txn_ = false;
  ++txn_;
}

void CursorReader::hold_cursors() {
  std::lock_guard<std::mutex> lk(mu_);
  end_transaction();
}

void CursorReader::end_transaction() {
  if (!in_txn_) return;
  Result res = pq_exec(c_, "COMMIT");
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
  if (PQtransactionStatus(c_) != PQTRANS_IDLE) Result(pq_exec(c_, "ROLLBACK"));
  lost_.insert(txn_);
  in_txn_ = false;
  declared_ = 0;
  ++txn_;
}

void CursorReader::watch() {
  std::unique_lock<std::mutex> lk(mu_);
  while (!stop_) {
    if (!in_txn_) {
      wake_.wait(lk);
      continue;
    }
    const Clock::time_point due = last_use_ + idle_;
    if (Clock::now() < due) {
      wake_.wait_until(lk, due);
      continue;
    }
    end_transaction();
  }
}

}  // namespace rt::sql::detail::pg
