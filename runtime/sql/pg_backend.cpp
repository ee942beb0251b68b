// The PostgreSQL back end, through libpq: database "lunadesk" on the server
// that the standard PG* environment names. This file holds the connection,
// its statements and the statement savepoints; the wire (awaiting answers,
// round trips, queued row changes) is pg_wire.h, the temporary-table policy
// pg_temp_tables.h, the cursors pg_cursor.h.
//
// Parameters always travel separately from the statement text
// (PQexecPrepared/PQexecParams, text format); no value is ever put into
// SQL text.
//
// A scroll cursor opened outside a transaction over tables that other
// sessions can see is read lazily on a second session (CursorReader); the
// others are server cursors on this session (ServerCursor).
//
// Inside a transaction PostgreSQL would abandon the whole transaction after
// one failing statement; programs of this family expect only that
// statement to fail. So while the program handles errors itself (the
// layer turns the statement guard on), each statement inside a transaction
// runs after a savepoint of the layer's own ("lunadesk_stmt") and a failing
// one is rolled back to it: the save goes on, as on the embedded back end.
// Under the default rule a failing statement stops the program and the
// transaction is rolled back whole, so no savepoint is taken: it would cost
// a round of work on the server for every statement of a long batch. The
// layer's own statements whose failure is no error (ordering and statistics
// of temporary tables, closing cursors, letting go of prepared statements)
// are always guarded.
//
// Handles let go of in a destructor (a statement, a cursor the program did
// not close) say nothing to the server, which may be gone: the release is
// run before the session's next statement, or goes with the session.
//
// At connect: DateStyle ISO (dates travel as yyyy-mm-dd), notices are kept
// off the terminal, and the session's memory for temporary tables
// (temp_buffers) and for each sort or hash (work_mem) is raised, so that a
// temporary table of a million gathered rows and its grouping stay in
// memory instead of going through temporary files.
//
// Row changes that a program sends without waiting (BackendStatement::send)
// are queued on the wire (RowChanges). Anything else the connection is
// asked to do drains the queue first; a failure found by such a drain is
// kept for the layer's next settle. Only used inside a transaction: a sync
// point then commits nothing.
#include <libpq-fe.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <vector>

#include "core/errors.h"
#include "sql/backend.h"
#include "sql/pg_cursor.h"
#include "sql/pg_temp_tables.h"
#include "sql/pg_wire.h"

namespace rt::sql::detail {
namespace pg {
namespace {

class PgConn;

class PgStmt : public BackendStatement {
 public:
  PgStmt(PgConn* conn, std::string name, Translation tr) : conn_(conn), name_(std::move(name)), tr_(std::move(tr)) {}
  ~PgStmt() override;
  PgStmt(const PgStmt&) = delete;
  PgStmt& operator=(const PgStmt&) = delete;
  const Translation& translation() const override { return tr_; }
  Outcome execute(const Params& params, ExecResult* result) override;
  Outcome select_into(const Params& params, const Into& into) override;
  Outcome open(const Params& params, bool scroll, std::unique_ptr<BackendCursor>* cursor) override;
  bool can_send() const override {
    return !name_.empty() && !tr_.returns_serial &&
           (tr_.kind == StmtKind::Insert || tr_.kind == StmtKind::Update || tr_.kind == StmtKind::Delete);
  }
  Outcome send(const Params& params) override;

 private:
  Outcome run(const Params& params, Result* res);
  PgConn* conn_;
  std::string name_;  // the server's prepared statement, "" when run unprepared
  Translation tr_;
  Bound bound_;
};

class PgConn : public Connection, public SchemaLookup, public CursorSession {
 public:
  PgConn(Session c, std::string dbname)
      : session_(std::move(c)), c_(session_.get()), cancel_(PQgetCancel(c_)), dbname_(std::move(dbname)) {}
  ~PgConn() override {
    reader_signal_.store(nullptr);
    reader_.reset();
    // session_ and cancel_ let go of their handles without a word to the
    // server; ending the session drops what the releases still pending
    // would have.
  }
  PgConn(const PgConn&) = delete;
  PgConn& operator=(const PgConn&) = delete;

  // PQcancel is safe in a signal handler; the server ignores a request
  // that finds no statement running.
  void cancel_from_signal() override {
    cancel(cancel_.get());
    if (CursorReader* r = reader_signal_.load()) r->cancel_from_signal();
  }

  // The reader of scroll cursors, made at first need. Its second session
  // comes and goes (pg_cursor.h); while it cannot be had, the cursors stay
  // on this one.
  CursorReader* reader() {
    if (!reader_) {
      reader_ = std::make_unique<CursorReader>(dbname_);
      reader_signal_.store(reader_.get());
    }
    return reader_.get();
  }

  // Whether a scroll cursor over `tr` may be read on the second session:
  // no transaction of the program's is open (its changes would not be
  // seen there) and it reads no temporary table of this session.
  bool lazy_cursor_for(const Translation& tr) { return !in_transaction() && !temp_.named_in(tr); }

  // The second session's open read transaction holds a share lock on what
  // its cursors read, which a change of the schema here would wait for:
  // before one, its cursors are made held cursors and the lock is let go.
  void before_schema_change(const Translation& tr) {
    if (!reader_ || tr.temp || temp_.holds(tr.table)) return;
    reader_->hold_cursors();
  }
  Backend kind() const override { return Backend::Postgres; }
  PGconn* conn() const override { return c_; }
  LockWaits* waits() const { return waits_; }

  Outcome prepare(std::string_view text, const std::vector<bool>& numbers,
                  std::unique_ptr<BackendStatement>* out) override {
    if (!literals_read_standard())
      return {err::kConnect, "the session no longer reads text constants the standard way"};
    TranslateOptions opt;
    opt.date_format = DateFormat::current();
    opt.temp_table_storage = TempTables::kStorage;
    opt.number_params = numbers;
    Translation tr = translate(text, Backend::Postgres, this, opt);
    if (!tr.ok) return {tr.error_code ? tr.error_code : err::kSyntax, tr.error};
    std::string name;
    // Statements that plan (queries and row changes) are prepared on the
    // server; the rest run as they come.
    const bool plans = tr.kind == StmtKind::Select || tr.kind == StmtKind::Insert || tr.kind == StmtKind::Update ||
                       tr.kind == StmtKind::Delete;
    if (plans) {
      name = "lunadesk_s" + std::to_string(++serial_);
      Result res = guarded(
          [&] { return pq_prepare(c_, waits_, name.c_str(), tr.text.c_str(), static_cast<int>(tr.params.size())); });
      if (!command_ok(res)) return error_of(c_, res.get(), tr.kind);
    }
    *out = std::make_unique<PgStmt>(this, std::move(name), std::move(tr));
    if (numbers.empty()) by_bound_kinds(this, text, out);
    return {};
  }

  void guard_statements(bool on) override { guard_ = on; }

  // A statement of the session itself may have changed how text constants
  // are read (the server reports the setting with every change, so this
  // costs no round trip): it is put back before the next statement runs.
  bool literals_read_standard() {
    const char* scs = PQparameterStatus(c_, "standard_conforming_strings");
    if (scs && std::string_view(scs) == "on") return true;
    if (PQpipelineStatus(c_) != PQ_PIPELINE_OFF) return false;
    Result res = pq_exec(c_, waits_, std::string(kLiteralSettings).c_str());
    scs = PQparameterStatus(c_, "standard_conforming_strings");
    return command_ok(res) && scs && std::string_view(scs) == "on";
  }

  Outcome send(const char* name, int n, const char* const* values, StmtKind kind) {
    return changes_.send(c_, name, n, values, kind);
  }

  Outcome settle(Settled* settled) override { return changes_.settle(c_, settled); }

  void release_later(std::string sql) override { releases_.push_back(std::move(sql)); }

  Result run_guarded(const std::string& sql, bool always) override {
    return guarded([&] { return pq_exec(c_, waits_, sql.c_str()); }, always);
  }

  // Runs `call` under the statement savepoint when a transaction is open
  // and the statement guard is on, or `always`.
  template <class F>
  Result guarded(F call, bool always = false) {
    if (!ready()) return Result(nullptr);
    return under_savepoint(call, always);
  }

  // The hot path: a prepared statement (or, without `name`, a text with
  // parameters). When guarded inside a transaction, the statement savepoint
  // travels in the same round trip, pipelined before the statement.
  Result run_statement(const char* name, const char* text, int n, const char* const* values) {
    if (!ready()) return Result(nullptr);
    auto statement = [&] {
      return name ? pq_exec_prepared(c_, waits_, name, n, values) : pq_exec_params(c_, waits_, text, n, values);
    };
    if (!guard_ || PQtransactionStatus(c_) != PQTRANS_INTRANS) return guarded(statement);
    std::vector<Query> trip;
    if (stmt_sp_) trip.push_back({"RELEASE SAVEPOINT lunadesk_stmt"});
    trip.push_back({"SAVEPOINT lunadesk_stmt"});
    trip.push_back({text, name, n, values});
    std::vector<Result> results;
    if (!in_one_trip(c_, waits_, trip, &results)) return guarded(statement);
    const std::size_t last = trip.size() - 1;
    stmt_sp_ = command_ok(results[last - 1]);
    Result res = std::move(results[last]);
    if (!answered(res) && stmt_sp_) Result(pq_exec(c_, waits_, "ROLLBACK TO SAVEPOINT lunadesk_stmt"));
    return res;
  }

  std::string next_cursor_name() { return "lunadesk_c" + std::to_string(++serial_); }

  void after(const Translation& tr) {
    if (is_ddl(tr.kind)) schema_.clear();
    for (const std::string& sql : temp_.after(tr)) run_guarded(sql, true);
    // SERIAL(n): the sequence stands at n - 1 as if handed out, so that
    // its next value is n and a serial stored below n does not move it.
    if (tr.kind == StmtKind::CreateTable && tr.serial_start > 1) {
      run_guarded("SELECT setval(pg_get_serial_sequence(" + quote_literal(tr.table, Backend::Postgres) + ", " +
                      quote_literal(tr.serial_column, Backend::Postgres) + "), " + std::to_string(tr.serial_start - 1) +
                      ")",
                  true);
    }
  }

  // The next serial continues from the largest value in the table, as on
  // the embedded back end: before an insert that may take one, the
  // sequence is moved on to that value when it is behind it (serials
  // stored explicitly, by the programs or by another tool). The key's
  // index answers the largest value at once. A failure only leaves the
  // sequence where it was.
  void serial_from_largest(const std::string& table_name) {
    const TableInfo* info = table(table_name);
    if (!info || info->serial < 0) return;
    // Both names are lower-case words of the dialect: identifiers.
    const std::string col = info->columns[info->serial];
    const std::string q =
        "SELECT setval(s, m) FROM (SELECT pg_get_serial_sequence($1, $2)::regclass AS s, (SELECT max(\"" + col +
        "\") FROM \"" + table_name + "\") AS m) q WHERE m > COALESCE(pg_sequence_last_value(s), 0)";
    const char* v[2] = {table_name.c_str(), col.c_str()};
    guarded([&] { return pq_exec_params(c_, waits_, q.c_str(), 2, v); }, true);
  }

  const TableInfo* table(std::string_view name) override {
    auto it = schema_.find(name);
    if (it != schema_.end()) return &it->second;
    static const char* q =
        "SELECT a.attname, pg_get_serial_sequence(a.attrelid::regclass::text, a.attname) IS NOT NULL, "
        "format_type(a.atttypid, a.atttypmod) "
        "FROM pg_attribute a WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped "
        "ORDER BY a.attnum";
    const std::string n(name);
    const char* v[1] = {n.c_str()};
    Result res = guarded([&] { return pq_exec_params(c_, waits_, q, 1, v); }, true);
    if (PQresultStatus(res.get()) != PGRES_TUPLES_OK || PQntuples(res.get()) == 0) return nullptr;
    TableInfo info;
    for (int r = 0; r < PQntuples(res.get()); ++r) {
      info.columns.emplace_back(PQgetvalue(res.get(), r, 0));
      info.types.push_back(column_type(PQgetvalue(res.get(), r, 2)));
      if (info.serial < 0 && std::string_view(PQgetvalue(res.get(), r, 1)) == "t") info.serial = r;
    }
    return &schema_.emplace(n, std::move(info)).first->second;
  }

  Outcome native(std::string_view text, std::vector<NativeRow>* rows) override {
    if (!ready()) return error_of(c_, nullptr, StmtKind::Other);
    const std::string sql(text);
    Result res = under_savepoint([&] { return pq_exec(c_, waits_, sql.c_str()); }, false);
    schema_.clear();
    if (!answered(res)) return error_of(c_, res.get(), StmtKind::Other);
    for (int r = 0; rows && r < PQntuples(res.get()); ++r) {
      NativeRow row;
      for (int c = 0; c < PQnfields(res.get()); ++c) {
        if (PQgetisnull(res.get(), r, c)) {
          row.emplace_back(std::nullopt);
        } else {
          row.emplace_back(std::string(PQgetvalue(res.get(), r, c), static_cast<size_t>(PQgetlength(res.get(), r, c))));
        }
      }
      rows->push_back(std::move(row));
    }
    return {};
  }

  bool in_transaction() override { return PQtransactionStatus(c_) != PQTRANS_IDLE; }
  Outcome begin() override { return control("BEGIN", StmtKind::Begin); }
  Outcome commit() override { return end_txn("COMMIT", StmtKind::Commit); }
  Outcome rollback() override { return end_txn("ROLLBACK", StmtKind::Rollback); }
  Outcome savepoint(const std::string& n) override { return user_savepoint("SAVEPOINT " + n); }
  Outcome release(const std::string& n) override { return user_savepoint("RELEASE SAVEPOINT " + n); }
  Outcome rollback_to(const std::string& n) override { return user_savepoint("ROLLBACK TO SAVEPOINT " + n); }

 private:
  // Before any statement: the queued row changes answered, text constants
  // read the standard way, and the releases that destructors left run.
  bool ready() {
    changes_.drain(c_);
    if (!literals_read_standard()) return false;
    run_releases();
    return true;
  }

  // Each release on its own: one that finds its cursor already gone (a
  // rollback closed it) must not keep the others from running. Kept while
  // the transaction is abandoned, where nothing would run.
  void run_releases() {
    if (releases_.empty() || PQtransactionStatus(c_) == PQTRANS_INERROR) return;
    std::vector<std::string> todo;
    todo.swap(releases_);
    for (const std::string& sql : todo) under_savepoint([&] { return pq_exec(c_, waits_, sql.c_str()); }, true);
  }

  template <class F>
  Result under_savepoint(F call, bool always) {
    const bool txn = PQtransactionStatus(c_) == PQTRANS_INTRANS && (guard_ || always);
    if (txn)
      stmt_sp_ = command_ok(
          pq_exec(c_, waits_,
                  stmt_sp_ ? "RELEASE SAVEPOINT lunadesk_stmt; SAVEPOINT lunadesk_stmt" : "SAVEPOINT lunadesk_stmt"));
    Result res(call());
    if (!answered(res) && txn && stmt_sp_) Result(pq_exec(c_, waits_, "ROLLBACK TO SAVEPOINT lunadesk_stmt"));
    return res;
  }

  Result exec(const std::string& sql) {
    if (!ready()) return Result(nullptr);
    return pq_exec(c_, waits_, sql.c_str());
  }
  Outcome control(const std::string& sql, StmtKind kind) {
    Result res = exec(sql);
    if (!command_ok(res)) return error_of(c_, res.get(), kind);
    return {};
  }
  Outcome end_txn(const std::string& sql, StmtKind kind) {
    // Releases left for this transaction run inside it, not after it.
    Result res = exec(sql);
    stmt_sp_ = false;
    if (!command_ok(res)) return error_of(c_, res.get(), kind);
    // PostgreSQL answers COMMIT of a transaction that an error abandoned
    // with ROLLBACK: that is no success.
    if (kind == StmtKind::Commit && std::string_view(PQcmdStatus(res.get())) == "ROLLBACK") {
      return {err::kNotInTransaction, "the transaction was rolled back, not committed: a statement in it failed"};
    }
    return {};
  }

  // The layer's statement savepoint must not sit below a program's own
  // savepoint, or releasing it would release the program's too.
  Outcome user_savepoint(const std::string& sql) {
    if (!ready()) return error_of(c_, nullptr, StmtKind::Other);
    std::string text = sql;
    if (stmt_sp_) text = "RELEASE SAVEPOINT lunadesk_stmt; " + sql;
    stmt_sp_ = false;
    Result res = pq_exec(c_, waits_, text.c_str());
    if (!command_ok(res)) return error_of(c_, res.get(), StmtKind::Other);
    return {};
  }

  Session session_;
  PGconn* c_;  // session_'s
  Canceller cancel_;
  // The program's session watches its waits for locks: only the program's
  // own thread runs it.
  LockWaits* waits_ = &lock_waits();
  long serial_ = 0;
  bool stmt_sp_ = false;  // the statement savepoint exists in this transaction
  bool guard_ = false;    // the program goes on after a failing statement
  std::map<std::string, TableInfo, std::less<>> schema_;
  TempTables temp_;
  RowChanges changes_;
  std::vector<std::string> releases_;  // left by destructors, run before the next statement
  std::string dbname_;
  std::unique_ptr<CursorReader> reader_;
  std::atomic<CursorReader*> reader_signal_{nullptr};  // for cancel_from_signal
};

PgStmt::~PgStmt() {
  if (!name_.empty()) conn_->release_later("DEALLOCATE " + name_);
}

Outcome PgStmt::run(const Params& params, Result* res) {
  Outcome o = bound_.bind(tr_, params);
  if (!o.ok()) return o;
  *res =
      conn_->run_statement(name_.empty() ? nullptr : name_.c_str(), tr_.text.c_str(), bound_.count(), bound_.values());
  if (!answered(*res)) return error_of(conn_->conn(), res->get(), tr_.kind);
  return {};
}

Outcome PgStmt::execute(const Params& params, ExecResult* result) {
  if (is_ddl(tr_.kind)) conn_->before_schema_change(tr_);
  if (tr_.returns_serial || tr_.takes_serials) conn_->serial_from_largest(tr_.table);
  Result res;
  Outcome o = run(params, &res);
  if (!o.ok()) return o;
  result->rows = rows_of(res.get());
  result->serial = 0;
  conn_->after(tr_);
  if (tr_.returns_serial && PQntuples(res.get()) > 0) {
    result->serial = std::atol(PQgetvalue(res.get(), 0, 0));
    return {};
  }
  if (tr_.kind == StmtKind::Select) {
    result->rows = 0;
    if (PQntuples(res.get()) == 0) return {err::kNotFound, {}};
  }
  return {};
}

Outcome PgStmt::send(const Params& params) {
  Outcome o = bound_.bind(tr_, params);
  if (!o.ok()) return o;
  return conn_->send(name_.c_str(), bound_.count(), bound_.values(), tr_.kind);
}

Outcome PgStmt::select_into(const Params& params, const Into& into) {
  Result res;
  Outcome o = run(params, &res);
  if (!o.ok()) return o;
  if (PQresultStatus(res.get()) != PGRES_TUPLES_OK || PQntuples(res.get()) == 0) return {err::kNotFound, {}};
  if (PQntuples(res.get()) > 1) return {err::kNotOneRow, "the single-row select returned more than one row"};
  return store_row(res.get(), 0, into);
}

Outcome PgStmt::open(const Params& params, bool scroll, std::unique_ptr<BackendCursor>* cursor) {
  if (tr_.kind != StmtKind::Select) return {err::kNotAvailable, "a cursor needs a SELECT statement"};
  Outcome o = bound_.bind(tr_, params);
  if (!o.ok()) return o;
  if (scroll && conn_->lazy_cursor_for(tr_)) {
    // A failure there (a table only this session sees, the second
    // session lost) is tried again here, where a real error is reported.
    if (CursorReader* r = conn_->reader(); r && r->open(tr_, bound_.count(), bound_.values(), cursor).ok()) return {};
  }
  const std::string name = conn_->next_cursor_name();
  const std::string sql = "DECLARE " + name + (scroll ? " SCROLL" : " NO SCROLL") + " CURSOR WITH HOLD FOR " + tr_.text;
  PGconn* c = conn_->conn();
  LockWaits* waits = conn_->waits();
  Result res = conn_->guarded([&] { return pq_exec_params(c, waits, sql.c_str(), bound_.count(), bound_.values()); });
  if (!command_ok(res)) return error_of(c, res.get(), tr_.kind);
  *cursor = std::make_unique<ServerCursor>(conn_, name, tr_.kind);
  return {};
}

}  // namespace
}  // namespace pg

std::unique_ptr<Connection> open_pg(const std::string& dbname, std::string* error) {
  pg::Session c = pg::open_session(dbname, error, true);
  if (!c) return nullptr;
  return std::make_unique<pg::PgConn>(std::move(c), dbname);
}

}  // namespace rt::sql::detail
