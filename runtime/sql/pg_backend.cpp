// The PostgreSQL back end, through libpq: database "lunadesk" on the server
// that the standard PG* environment names.
//
// Parameters always travel separately from the statement text
// (PQexecPrepared/PQexecParams, text format); no value is ever put into
// SQL text.
//
// Cursors are server cursors WITH HOLD, so they outlive the transaction
// that declared them, and the server keeps the rows as they were at the
// open: a row deleted afterwards is still delivered. The layer never relies
// on the server's own cursor position: a scroll cursor fetches row k with
// FETCH ABSOLUTE, a forward cursor fetches batches. Declared outside a
// transaction, such a cursor is computed whole before its first row, so
// a scroll cursor opened outside a transaction over tables that other
// sessions can see is read lazily on a second session instead
// (pg_cursor.h); one opened inside a transaction, or over a temporary
// table, stays here.
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
// At connect: DateStyle ISO (dates travel as yyyy-mm-dd), notices are kept
// off the terminal, and the session's memory for temporary tables
// (temp_buffers) and for each sort or hash (work_mem) is raised, so that a
// temporary table of a million gathered rows and its grouping stay in
// memory instead of going through temporary files. A temporary table gets
// fresh statistics (ANALYZE) once an index is made on it, since autovacuum
// never looks at temporary tables; the first index made on it also orders
// the table (CLUSTER), so that the rows of one index key lie on a few pages
// instead of all over the table: a lookup through the index, repeated for
// each row of a join, then reads a few pages instead of dozens. Rows of a
// table read without ORDER BY come in no defined order, here as anywhere.
// A temporary table made from a query (INTO TEMP) leaves half of each page
// free (fillfactor 50): programs gather rows into such a table and then
// update them in place (signs, flags), and an update that finds room on
// its page and changes no indexed column adds no index entries and keeps
// the order the table was given.
//
// Row changes that a program sends without waiting (BackendStatement::send)
// go out in libpq's pipeline mode: each is flushed to the server at once,
// the server works through them back to back, and their answers are read
// together at the next sync point (settle). Anything else the connection
// is asked to do settles first, so the pipeline never holds more than the
// queued row changes; a failure found by such a settle is kept for the
// layer's next settle. Only used inside a transaction: a sync point then
// commits nothing.
//
// Every statement is a round trip to the server, and waking up a process
// blocked on its socket can take longer than the statement itself on a
// multi-core machine. So after sending, the layer first polls the socket
// without sleeping, for at most LUNADESK_PG_SPIN_US microseconds (default
// 200; 0 turns this off), and only then blocks: the short statements of a
// batch loop are answered within that time. On a single processor it
// always blocks. Inside a ContinueOnLock scope it waits in steps instead,
// telling the layer, which may give the wait up (a cancel request).
#include <libpq-fe.h>
#include <poll.h>
#include <sched.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <charconv>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "sql/backend.h"
#include "sql/convert.h"
#include "sql/pg_errors.h"
#include "sql/pattern.h"
#include "sql/pg_cursor.h"
#include "sql/pg_wire.h"
#include "values/text.h"

namespace rt::sql::detail {
namespace pg {
namespace {

constexpr int kForwardBatch = 256;

// The settings that decide how the server reads a text constant.
constexpr std::string_view kLiteralSettings =
    "SET standard_conforming_strings TO on; SET backslash_quote TO off; ";

// Type OIDs of the built-in types the layer reads specially.
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700, kFloat8 = 701,
              kNumeric = 1700, kDate = 1082;

// How long to poll for an answer before blocking. Never on a single
// processor: there the polling would only keep a server on the same
// machine from running.
std::chrono::microseconds spin_budget() {
  static const std::chrono::microseconds budget = [] {
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    if (sched_getaffinity(0, sizeof cpus, &cpus) != 0 || CPU_COUNT(&cpus) < 2) return std::chrono::microseconds(0);
    const char* v = std::getenv("LUNADESK_PG_SPIN_US");
    const long us = v && *v ? std::strtol(v, nullptr, 10) : 200;
    return std::chrono::microseconds(us > 0 ? us : 0);
  }();
  return budget;
}

// Asks the server to end the statement running on `c`; the statement then
// answers with its error.
void cancel_statement(PGconn* c) {
  PGcancel* k = PQgetCancel(c);
  if (!k) return;
  char why[256];
  PQcancel(k, why, sizeof why);
  PQfreeCancel(k);
}

// While a statement that may be waiting for a lock has not answered, the
// layer is told every kWaitStepMs, and a wait it gives up is cancelled.
constexpr int kWaitStepMs = 50;

void watch_wait(PGconn* c) {
  const auto started = std::chrono::steady_clock::now();
  bool cancelled = false;
  while (PQisBusy(c)) {
    pollfd p{PQsocket(c), POLLIN, 0};
    const int r = ::poll(&p, 1, kWaitStepMs);
    if (r < 0 && errno != EINTR) return;
    if (r > 0 && PQconsumeInput(c) != 1) return;  // the read that follows reports it
    if (cancelled || !PQisBusy(c)) continue;
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    if (lock_wait(static_cast<long>(waited.count()))) {
      cancel_statement(c);
      cancelled = true;
    }
  }
}

// Reads what the server sends until a whole result is in or the budget is
// spent (or the connection fails: the blocking read then reports it).
// Where waits for locks are watched, an answer still outstanding is then
// awaited in steps (watch_wait).
void await_result(PGconn* c) {
  const auto budget = spin_budget();
  if (budget.count() > 0) {
    const auto until = std::chrono::steady_clock::now() + budget;
    while (PQisBusy(c) && PQconsumeInput(c) == 1) {
      if (std::chrono::steady_clock::now() >= until) break;
    }
  }
  if (lock_waits_watched() && PQisBusy(c)) watch_wait(c);
}

}  // namespace

// The results of one query sent, as PQexec would return them: the last.
Result last_result(PGconn* c) {
  Result last;
  for (;;) {
    await_result(c);
    PGresult* r = PQgetResult(c);
    if (!r) break;
    last.reset(r);
  }
  return last;
}

Result collect(PGconn* c, int sent) { return sent == 1 ? last_result(c) : Result(nullptr); }

// PQexec, PQexecParams, PQexecPrepared and PQprepare, waiting as above.
Result pq_exec(PGconn* c, const char* sql) { return collect(c, PQsendQuery(c, sql)); }
Result pq_exec_params(PGconn* c, const char* sql, int n, const char* const* values) {
  return collect(c, PQsendQueryParams(c, sql, n, nullptr, values, nullptr, nullptr, 0));
}

namespace {
Result pq_exec_prepared(PGconn* c, const char* name, int n, const char* const* values) {
  return collect(c, PQsendQueryPrepared(c, name, n, values, nullptr, nullptr, 0));
}
Result pq_prepare(PGconn* c, const char* name, const char* sql, int n) {
  return collect(c, PQsendPrepare(c, name, sql, n, nullptr));
}
}  // namespace

Outcome error_of(PGconn* conn, const PGresult* res, StmtKind kind) {
  const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
  const char* primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  std::string msg = primary ? primary : PQerrorMessage(conn);
  while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
  return {pg_error_number(state ? state : "", msg, kind), msg};
}

namespace {
int store_field(const PGresult* res, int row, int col, Value* into) {
  if (PQgetisnull(res, row, col)) return store(into, Fetched::Null, 0, {});
  std::string_view text(PQgetvalue(res, row, col), PQgetlength(res, row, col));
  switch (PQftype(res, col)) {
    case kBool: return store(into, Fetched::Int, text == "t" ? 1 : 0, {});
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid: {
      std::int64_t v = 0;
      std::from_chars(text.data(), text.data() + text.size(), v);
      return store(into, Fetched::Int, v, {});
    }
    case kFloat4:
    case kFloat8:
    case kNumeric: return store(into, Fetched::Number, 0, text);
    case kDate: return store(into, Fetched::Date, 0, text);
    default: return store(into, Fetched::Text, 0, text);
  }
}
}  // namespace

Outcome store_row(const PGresult* res, int row, const Into& into) {
  Outcome o;
  const int n = PQnfields(res);
  for (int c = 0; c < n && c < static_cast<int>(into.size()); ++c) {
    if (!into[c]) continue;
    const int e = store_field(res, row, c, into[c]);
    if (e != 0 && o.ok()) o = {e, "column " + std::to_string(c + 1) + " does not fit its variable"};
  }
  return o;
}

namespace {

// Parameters as text, converted as the translation says.
class Bound {
 public:
  Outcome bind(const Translation& tr, const Params& params) {
    if (params.size() != tr.params.size()) {
      return {err::kHostVariables, "the statement has " + std::to_string(tr.params.size()) + " parameters, " +
                                       std::to_string(params.size()) + " were given"};
    }
    text_.resize(params.size());
    ptrs_.resize(params.size());
    for (size_t k = 0; k < params.size(); ++k) {
      Value v;
      std::string why;
      const int e = convert_param(params[k], tr.targets[k], &v, &why);
      if (e != 0) return {e, "parameter " + std::to_string(k + 1) + ": " + why};
      if (v.is_null()) {
        ptrs_[k] = nullptr;
        continue;
      }
      switch (v.type().kind) {
        case Kind::Date: text_[k] = v.as_date().iso(); break;
        case Kind::Decimal: text_[k] = v.as_decimal().to_string(); break;
        case Kind::Char:
          text_[k] = v.str();
          // The server refuses such text with a message about encodings;
          // say which value it was.
          if (!text::valid(text_[k])) {
            return {err::kBadCharacter, "the text of parameter " + std::to_string(k + 1) +
                                              " holds bytes that are not UTF-8: \"" + text::scrub(text_[k]) + "\""};
          }
          break;
        default: text_[k] = std::to_string(v.as_int()); break;
      }
      switch (tr.params[k]) {
        case ParamUse::Plain: break;
        case ParamUse::MatchesPattern: text_[k] = matches_to_regex(text_[k]); break;
        case ParamUse::MatchesUpshifted: text_[k] = matches_to_regex(text_[k], Fold::Upper); break;
        case ParamUse::MatchesDownshifted: text_[k] = matches_to_regex(text_[k], Fold::Lower); break;
      }
      ptrs_[k] = text_[k].c_str();
    }
    return {};
  }
  int count() const { return static_cast<int>(ptrs_.size()); }
  const char* const* values() const { return ptrs_.data(); }

 private:
  std::vector<std::string> text_;
  std::vector<const char*> ptrs_;
};

class PgConn;

class PgCursor : public BackendCursor {
 public:
  PgCursor(PgConn* conn, std::string name, StmtKind kind) : conn_(conn), name_(std::move(name)), kind_(kind) {}
  ~PgCursor() override;
  Outcome row_at(long k, const Into& into) override;
  Outcome next(const Into& into) override;
  Outcome count(long* n) override;
  bool next_is_local() const override { return done_ || (batch_ && batch_row_ < PQntuples(batch_.get())); }

 private:
  PgConn* conn_;
  std::string name_;
  StmtKind kind_;
  Result batch_;
  int batch_row_ = 0;
  bool done_ = false;
};

class PgStmt : public BackendStatement {
 public:
  PgStmt(PgConn* conn, std::string name, Translation tr) : conn_(conn), name_(std::move(name)), tr_(std::move(tr)) {}
  ~PgStmt() override;
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

class PgConn : public Connection, public SchemaLookup {
 public:
  PgConn(PGconn* c, std::string dbname) : c_(c), cancel_(PQgetCancel(c)), dbname_(std::move(dbname)) {}
  ~PgConn() override {
    reader_signal_.store(nullptr);
    reader_.reset();
    if (cancel_) PQfreeCancel(cancel_);
    PQfinish(c_);
  }
  // PQcancel is safe in a signal handler; the server ignores a request
  // that finds no statement running.
  void cancel_from_signal() override {
    char why[256];
    if (cancel_) PQcancel(cancel_, why, sizeof why);
    if (CursorReader* r = reader_signal_.load()) r->cancel_from_signal();
  }

  // The second session that reads scroll cursors, opened at first need;
  // null when it cannot be had (the cursors then stay on this one).
  CursorReader* reader() {
    if (!reader_ && !reader_failed_) {
      std::string why;
      reader_ = CursorReader::open(dbname_, &why);
      reader_failed_ = !reader_;
      reader_signal_.store(reader_.get());
    }
    return reader_.get();
  }

  // Whether a scroll cursor over `tr` may be read on the second session:
  // no transaction of the program's is open (its changes would not be
  // seen there) and it reads no temporary table of this session.
  bool lazy_cursor_for(const Translation& tr) {
    if (in_transaction()) return false;
    for (const std::string& w : tr.words) {
      if (temp_tables_.count(w)) return false;
    }
    return true;
  }

  // The second session's open read transaction holds a share lock on what
  // its cursors read, which a change of the schema here would wait for:
  // before one, its cursors are made held cursors and the lock is let go.
  void before_schema_change(const Translation& tr) {
    if (!reader_ || tr.temp || temp_tables_.count(tr.table)) return;
    reader_->hold_cursors();
  }
  Backend kind() const override { return Backend::Postgres; }
  PGconn* conn() const { return c_; }
  bool alive() const { return PQstatus(c_) == CONNECTION_OK; }

  Outcome prepare(std::string_view text, std::unique_ptr<BackendStatement>* out) override {
    if (!literals_read_standard()) return {err::kConnect, "the session no longer reads text constants the standard way"};
    TranslateOptions opt;
    opt.date_format = DateFormat::current();
    Translation tr = translate(text, Backend::Postgres, this, opt);
    if (!tr.ok) return {tr.error_code ? tr.error_code : err::kSyntax, tr.error};
    std::string name;
    // Statements that plan (queries and row changes) are prepared on the
    // server; the rest run as they come.
    const bool plans = tr.kind == StmtKind::Select || tr.kind == StmtKind::Insert ||
                       tr.kind == StmtKind::Update || tr.kind == StmtKind::Delete;
    if (plans) {
      name = "lunadesk_s" + std::to_string(++serial_);
      Result res = guarded([&] {
        return pq_prepare(c_, name.c_str(), tr.text.c_str(), static_cast<int>(tr.params.size()));
      });
      if (PQresultStatus(res.get()) != PGRES_COMMAND_OK) return error_of(c_, res.get(), tr.kind);
    }
    *out = std::make_unique<PgStmt>(this, std::move(name), std::move(tr));
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
    Result res = pq_exec(c_, std::string(kLiteralSettings).c_str());
    scs = PQparameterStatus(c_, "standard_conforming_strings");
    return PQresultStatus(res.get()) == PGRES_COMMAND_OK && scs && std::string_view(scs) == "on";
  }

  // Queues a prepared row change in the pipeline (see the top of the file).
  Outcome send(const char* name, int n, const char* const* values, StmtKind kind) {
    if (queued_.empty() && PQpipelineStatus(c_) == PQ_PIPELINE_OFF && PQenterPipelineMode(c_) != 1) {
      return error_of(c_, nullptr, kind);
    }
    if (PQsendQueryPrepared(c_, name, n, values, nullptr, nullptr, 0) != 1 || PQflush(c_) != 0) {
      Outcome o = error_of(c_, nullptr, kind);
      drain();
      return o;
    }
    queued_.push_back(kind);
    return {};
  }

  Outcome settle(Settled* settled) override {
    drain();
    *settled = settled_;
    Outcome o = held_;
    settled_ = {};
    held_ = {};
    return o;
  }

  // Runs `call` under the statement savepoint when a transaction is open
  // and the statement guard is on, or `always`.
  template <class F>
  Result guarded(F call, bool always = false) {
    drain();
    if (!literals_read_standard()) return Result(nullptr);
    const bool txn = PQtransactionStatus(c_) == PQTRANS_INTRANS && (guard_ || always);
    if (txn) {
      Result sp = pq_exec(c_, stmt_sp_ ? "RELEASE SAVEPOINT lunadesk_stmt; SAVEPOINT lunadesk_stmt"
                                   : "SAVEPOINT lunadesk_stmt");
      stmt_sp_ = PQresultStatus(sp.get()) == PGRES_COMMAND_OK;
    }
    Result res(call());
    const ExecStatusType st = PQresultStatus(res.get());
    const bool failed = st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK;
    if (failed && txn && stmt_sp_) Result(pq_exec(c_, "ROLLBACK TO SAVEPOINT lunadesk_stmt"));
    return res;
  }

  // The hot path: a prepared statement (or, without `name`, a text with
  // parameters). When guarded inside a transaction, the statement savepoint
  // travels in the same round trip, pipelined before the statement.
  Result run_statement(const char* name, const char* text, int n, const char* const* values) {
    drain();
    if (!literals_read_standard()) return Result(nullptr);
    if (!guard_ || PQtransactionStatus(c_) != PQTRANS_INTRANS || PQenterPipelineMode(c_) != 1) {
      return guarded([&] {
        return name ? pq_exec_prepared(c_, name, n, values)
                    : pq_exec_params(c_, text, n, values);
      });
    }
    int sent = 0;
    bool ok = true;
    auto send = [&](bool accepted) {
      ok = ok && accepted;
      if (ok) ++sent;
    };
    auto plain = [&](const char* sql) { return PQsendQueryParams(c_, sql, 0, nullptr, nullptr, nullptr, nullptr, 0); };
    if (stmt_sp_) send(plain("RELEASE SAVEPOINT lunadesk_stmt") == 1);
    send(plain("SAVEPOINT lunadesk_stmt") == 1);
    send((name ? PQsendQueryPrepared(c_, name, n, values, nullptr, nullptr, 0)
               : PQsendQueryParams(c_, text, n, nullptr, values, nullptr, nullptr, 0)) == 1);
    ok = PQpipelineSync(c_) == 1 && ok;
    std::vector<Result> results(sent);
    for (int q = 0; q < sent; ++q) results[q] = last_result(c_);
    end_pipeline(true);
    if (!ok || sent == 0) return Result(nullptr);
    stmt_sp_ = sent >= 2 && PQresultStatus(results[sent - 2].get()) == PGRES_COMMAND_OK;
    Result res = std::move(results[sent - 1]);
    const ExecStatusType st = PQresultStatus(res.get());
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK && stmt_sp_) {
      Result(pq_exec(c_, "ROLLBACK TO SAVEPOINT lunadesk_stmt"));
    }
    return res;
  }

  Result exec(const std::string& sql) {
    drain();
    return pq_exec(c_, sql.c_str());
  }

  std::string next_cursor_name() { return "lunadesk_c" + std::to_string(++serial_); }

  void after(const Translation& tr) {
    if (is_ddl(tr.kind)) schema_.clear();
    if (tr.temp && !tr.table.empty()) {
      temp_tables_.insert(tr.table);
      clustered_.erase(tr.table);
    }
    if (tr.kind == StmtKind::DropTable) {
      temp_tables_.erase(tr.table);
      clustered_.erase(tr.table);
    }
    if (tr.kind == StmtKind::CreateIndex && temp_tables_.count(tr.table)) {
      // tr.table and the index name are lower-case words of the statement:
      // identifiers. A failing CLUSTER (a cursor of this session still
      // reads the table) only leaves the order as it was.
      const std::string index = index_name(tr);
      if (!index.empty() && clustered_.insert(tr.table).second) {
        guarded([&] { return pq_exec(c_, ("CLUSTER " + tr.table + " USING " + index).c_str()); }, true);
      }
      guarded([&] { return pq_exec(c_, ("ANALYZE " + tr.table).c_str()); }, true);
    }
  }

  // The name of the index a CREATE INDEX makes: the word after INDEX, ""
  // when the index has none.
  static std::string index_name(const Translation& tr) {
    for (std::size_t i = 0; i + 1 < tr.words.size(); ++i) {
      if (tr.words[i] == "index") return tr.words[i + 1] == "on" ? std::string() : tr.words[i + 1];
    }
    return {};
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
    const std::string q = "SELECT setval(s, m) FROM (SELECT pg_get_serial_sequence($1, $2)::regclass AS s, (SELECT max(\"" +
                          col + "\") FROM \"" + table_name + "\") AS m) q WHERE m > COALESCE(pg_sequence_last_value(s), 0)";
    const char* v[2] = {table_name.c_str(), col.c_str()};
    guarded([&] { return pq_exec_params(c_, q.c_str(), 2, v); }, true);
  }

  const TableInfo* table(std::string_view name) override {
    auto it = schema_.find(std::string(name));
    if (it != schema_.end()) return &it->second;
    static const char* q =
        "SELECT a.attname, pg_get_serial_sequence(a.attrelid::regclass::text, a.attname) IS NOT NULL, "
        "format_type(a.atttypid, a.atttypmod) "
        "FROM pg_attribute a WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped "
        "ORDER BY a.attnum";
    const std::string n(name);
    const char* v[1] = {n.c_str()};
    Result res = guarded([&] { return pq_exec_params(c_, q, 1, v); }, true);
    if (PQresultStatus(res.get()) != PGRES_TUPLES_OK || PQntuples(res.get()) == 0) return nullptr;
    TableInfo info;
    for (int r = 0; r < PQntuples(res.get()); ++r) {
      info.columns.emplace_back(PQgetvalue(res.get(), r, 0));
      info.types.push_back(column_type(PQgetvalue(res.get(), r, 2)));
      if (info.serial < 0 && std::string_view(PQgetvalue(res.get(), r, 1)) == "t") info.serial = r;
    }
    return &schema_.emplace(n, std::move(info)).first->second;
  }

  bool in_transaction() override { return PQtransactionStatus(c_) != PQTRANS_IDLE; }
  Outcome begin() override { return control("BEGIN", StmtKind::Begin); }
  Outcome commit() override { return end_txn("COMMIT", StmtKind::Commit); }
  Outcome rollback() override { return end_txn("ROLLBACK", StmtKind::Rollback); }
  Outcome savepoint(const std::string& n) override { return user_savepoint("SAVEPOINT " + n); }
  Outcome release(const std::string& n) override { return user_savepoint("RELEASE SAVEPOINT " + n); }
  Outcome rollback_to(const std::string& n) override { return user_savepoint("ROLLBACK TO SAVEPOINT " + n); }

 private:
  Outcome control(const std::string& sql, StmtKind kind) {
    Result res = exec(sql);
    if (PQresultStatus(res.get()) != PGRES_COMMAND_OK) return error_of(c_, res.get(), kind);
    return {};
  }
  Outcome end_txn(const std::string& sql, StmtKind kind) {
    stmt_sp_ = false;
    Result res = exec(sql);
    if (PQresultStatus(res.get()) != PGRES_COMMAND_OK) return error_of(c_, res.get(), kind);
    // PostgreSQL answers COMMIT of a transaction that an error abandoned
    // with ROLLBACK: that is no success.
    if (kind == StmtKind::Commit && std::string_view(PQcmdStatus(res.get())) == "ROLLBACK") {
      return {err::kNotInTransaction, "the transaction was rolled back, not committed: a statement in it failed"};
    }
    return {};
  }
  // Reads the answers of the queued row changes up to a sync point and
  // leaves pipeline mode. The first failure and the rows changed are kept
  // for settle(); after a failure the server skips the rest ("aborted").
  void drain() {
    if (queued_.empty()) return;
    const bool synced = PQpipelineSync(c_) == 1;
    for (const StmtKind kind : queued_) {
      const long at = settled_.sent++;
      // One statement's result, then the null that ends its results.
      Result res(PQgetResult(c_));
      if (res) {
        while (PGresult* more = PQgetResult(c_)) PQclear(more);
      }
      const ExecStatusType st = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
      if (st == PGRES_COMMAND_OK) {
        const char* tuples = PQcmdTuples(res.get());
        settled_.last_rows = tuples && *tuples ? std::atol(tuples) : 0;
        settled_.total_rows += settled_.last_rows;
      } else if (st != PGRES_PIPELINE_ABORTED && held_.ok()) {
        held_ = error_of(c_, res.get(), kind);
        settled_.failed = at;
      }
    }
    queued_.clear();
    end_pipeline(synced);
  }

  // Reads up to the sync point (when one was sent) and leaves pipeline
  // mode: the connection is idle again.
  void end_pipeline(bool synced) {
    while (PGresult* r = synced ? PQgetResult(c_) : nullptr) {
      const bool sync = PQresultStatus(r) == PGRES_PIPELINE_SYNC;
      PQclear(r);
      if (sync) break;
    }
    PQexitPipelineMode(c_);
  }

  // The layer's statement savepoint must not sit below a program's own
  // savepoint, or releasing it would release the program's too.
  Outcome user_savepoint(const std::string& sql) {
    std::string text = sql;
    if (stmt_sp_) text = "RELEASE SAVEPOINT lunadesk_stmt; " + sql;
    stmt_sp_ = false;
    return control(text, StmtKind::Other);
  }

  PGconn* c_;
  PGcancel* cancel_;
  long serial_ = 0;
  bool stmt_sp_ = false;  // the statement savepoint exists in this transaction
  bool guard_ = false;    // the program goes on after a failing statement
  std::map<std::string, TableInfo, std::less<>> schema_;
  std::set<std::string> temp_tables_;
  std::set<std::string> clustered_;  // temporary tables ordered by an index
  std::vector<StmtKind> queued_;     // row changes sent, answers not read
  Settled settled_;                  // what drain() read since settle()
  Outcome held_;                     // the first failure drain() found
  std::string dbname_;
  std::unique_ptr<CursorReader> reader_;
  bool reader_failed_ = false;
  std::atomic<CursorReader*> reader_signal_{nullptr};  // for cancel_from_signal
};

PgStmt::~PgStmt() {
  if (!name_.empty() && conn_->alive() && PQtransactionStatus(conn_->conn()) != PQTRANS_INERROR) {
    conn_->guarded([&] { return pq_exec(conn_->conn(), ("DEALLOCATE " + name_).c_str()); }, true);
  }
}

Outcome PgStmt::run(const Params& params, Result* res) {
  Outcome o = bound_.bind(tr_, params);
  if (!o.ok()) return o;
  PGconn* c = conn_->conn();
  *res = conn_->run_statement(name_.empty() ? nullptr : name_.c_str(), tr_.text.c_str(), bound_.count(),
                              bound_.values());
  const ExecStatusType st = PQresultStatus(res->get());
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) return error_of(c, res->get(), tr_.kind);
  return {};
}

Outcome PgStmt::execute(const Params& params, ExecResult* result) {
  if (is_ddl(tr_.kind)) conn_->before_schema_change(tr_);
  if (tr_.returns_serial) conn_->serial_from_largest(tr_.table);
  Result res;
  Outcome o = run(params, &res);
  if (!o.ok()) return o;
  const char* tuples = PQcmdTuples(res.get());
  result->rows = tuples && *tuples ? std::atol(tuples) : 0;
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
  const std::string sql =
      "DECLARE " + name + (scroll ? " SCROLL" : " NO SCROLL") + " CURSOR WITH HOLD FOR " + tr_.text;
  PGconn* c = conn_->conn();
  Result res = conn_->guarded([&] {
    return pq_exec_params(c, sql.c_str(), bound_.count(), bound_.values());
  });
  if (PQresultStatus(res.get()) != PGRES_COMMAND_OK) return error_of(c, res.get(), tr_.kind);
  *cursor = std::make_unique<PgCursor>(conn_, name, tr_.kind);
  return {};
}

PgCursor::~PgCursor() {
  // Guarded: a cursor that a rollback already closed must not abandon an
  // open transaction.
  if (conn_->alive() && PQtransactionStatus(conn_->conn()) != PQTRANS_INERROR) {
    conn_->guarded([&] { return pq_exec(conn_->conn(), ("CLOSE " + name_).c_str()); }, true);
  }
}

Outcome PgCursor::row_at(long k, const Into& into) {
  Result res = conn_->guarded([&] {
    return pq_exec(conn_->conn(), ("FETCH ABSOLUTE " + std::to_string(k) + " FROM " + name_).c_str());
  });
  if (PQresultStatus(res.get()) != PGRES_TUPLES_OK) return error_of(conn_->conn(), res.get(), kind_);
  if (PQntuples(res.get()) == 0) return {err::kNotFound, {}};
  return store_row(res.get(), 0, into);
}

Outcome PgCursor::next(const Into& into) {
  if (!batch_ || batch_row_ >= PQntuples(batch_.get())) {
    if (done_) return {err::kNotFound, {}};
    batch_ = conn_->guarded([&] {
      return pq_exec(conn_->conn(), ("FETCH FORWARD " + std::to_string(kForwardBatch) + " FROM " + name_).c_str());
    });
    batch_row_ = 0;
    if (PQresultStatus(batch_.get()) != PGRES_TUPLES_OK) {
      done_ = true;
      Outcome o = error_of(conn_->conn(), batch_.get(), kind_);
      batch_.reset();
      return o;
    }
    if (PQntuples(batch_.get()) < kForwardBatch) done_ = true;
    if (PQntuples(batch_.get()) == 0) return {err::kNotFound, {}};
  }
  return store_row(batch_.get(), batch_row_++, into);
}

Outcome PgCursor::count(long* n) {
  *n = 0;
  Result res = conn_->guarded([&] {
    return pq_exec(conn_->conn(), ("MOVE ABSOLUTE 0 IN " + name_ + "; MOVE FORWARD ALL IN " + name_).c_str());
  });
  if (PQresultStatus(res.get()) != PGRES_COMMAND_OK) return error_of(conn_->conn(), res.get(), kind_);
  const char* tuples = PQcmdTuples(res.get());
  *n = tuples && *tuples ? std::atol(tuples) : 0;
  return {};
}

void ignore_notice(void*, const char*) {}

// upper() and lower() of the session: the server's own fold what its
// locale knows (in the C locale, ASCII letters only), these fold as the
// runtime does (values/text.h), whatever the server's locale. Text of
// ASCII letters only takes the short path.
std::string case_functions() {
  std::string out;
  for (const bool up : {true, false}) {
    std::string from, to;
    for (auto [c, m] : text::case_pairs(up)) {
      text::append(from, c);
      text::append(to, m);
    }
    const std::string ascii_from = up ? "abcdefghijklmnopqrstuvwxyz" : "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::string ascii_to = up ? "ABCDEFGHIJKLMNOPQRSTUVWXYZ" : "abcdefghijklmnopqrstuvwxyz";
    out += std::string("; CREATE FUNCTION pg_temp.") + (up ? "upshift" : "downshift") +
           "(text) RETURNS text LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $f$ SELECT CASE WHEN octet_length($1) = "
           "char_length($1) THEN translate($1, '" +
           ascii_from + "', '" + ascii_to + "') ELSE translate($1, " + quote_literal(from) + ", " + quote_literal(to) +
           ") END $f$";
  }
  return out;
}

}  // namespace

PGconn* open_session(const std::string& dbname, std::string* error) {
  const char* keys[] = {"dbname", "application_name", nullptr};
  const char* values[] = {dbname.c_str(), "lunadesk", nullptr};
  PGconn* c = PQconnectdbParams(keys, values, 0);
  if (!c || PQstatus(c) != CONNECTION_OK) {
    std::string msg = c ? PQerrorMessage(c) : "out of memory";
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
    const char* host = c ? PQhost(c) : nullptr;
    const char* port = c ? PQport(c) : nullptr;
    *error = "cannot connect to database '" + dbname + "' on PostgreSQL server " + (host && *host ? host : "(default)") +
             (port && *port ? std::string(" port ") + port : std::string()) + ": " + msg;
    PQfinish(c);
    return nullptr;
  }
  PQsetNoticeProcessor(c, ignore_notice, nullptr);
  const std::string setup =
      "SET DateStyle TO ISO, MDY; SET client_min_messages TO warning; SET temp_buffers TO '256MB'; "
      "SET work_mem TO '64MB'; SET client_encoding TO 'UTF8'; " + std::string(kLiteralSettings) +
      "SET lock_timeout TO " + std::to_string(lock_timeout_ms()) + case_functions();
  Result res = pq_exec(c, setup.c_str());
  if (PQresultStatus(res.get()) != PGRES_COMMAND_OK) {
    *error = "cannot set up the session on database '" + dbname + "': " + PQerrorMessage(c);
    PQfinish(c);
    return nullptr;
  }
  // Text constants (criteria among them) must be read as the translator
  // writes them, whatever the server, the database or PGOPTIONS say: a
  // session that keeps the old reading of backslashes is not used.
  res = pq_exec(c, "SELECT current_setting('standard_conforming_strings'), current_setting('backslash_quote')");
  if (PQresultStatus(res.get()) != PGRES_TUPLES_OK || PQntuples(res.get()) != 1 ||
      std::string_view(PQgetvalue(res.get(), 0, 0)) != "on" || std::string_view(PQgetvalue(res.get(), 0, 1)) != "off") {
    *error = "the session on database '" + dbname +
             "' does not read text constants the standard way (standard_conforming_strings on, backslash_quote "
             "off) and cannot be made to; nothing was run";
    PQfinish(c);
    return nullptr;
  }
  return c;
}

}  // namespace pg

std::unique_ptr<Connection> open_pg(const std::string& dbname, std::string* error) {
  PGconn* c = pg::open_session(dbname, error);
  if (!c) return nullptr;
  return std::make_unique<pg::PgConn>(c, dbname);
}

}  // namespace rt::sql::detail
