// The public SQL services (sql.h) over one back-end connection: the
// connection itself, the status code, the default rule, the statement
// cache, row changes sent without waiting, transactions and savepoints.
// Cursors are in sql_cursor.cpp and questions about the database as a whole
// in sql_catalog.cpp, over the state in sql_state.h.
//
// Everything here runs on the program's own thread, which alone reads and
// writes this layer's state and the lock-wait state after each back-end
// call (backend.h).
#include "sql/sql.h"

#include "sql_state.h"

#include "sql/backend_choice.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <unordered_map>

#include "core/host.h"
#include "core/runtime.h"
#include "sql/backend.h"
#include "core/errors.h"
#include "values/text.h"

namespace rt::sql {

using namespace services;

namespace {

// The connection the SIGHUP/SIGTERM handler may cut a statement short on.
// Set and cleared by the program's own thread, the only one that takes
// signals (the PostgreSQL cursor reader's watcher blocks them all, and
// never touches this layer's state): the handler runs between two steps
// of that thread, never while it changes the pointer.
std::atomic<detail::Connection*> g_signal_conn{nullptr};

void cancel_on_quit() {
  if (detail::Connection* c = g_signal_conn.load(std::memory_order_relaxed)) c->cancel_from_signal();
}

}  // namespace

namespace services {

State& g() {
  static State s;
  return s;
}

void stop_if_quit() {
  if (rt::quit_flag) rt::stop_on_signal();
}

void finish(const detail::Outcome& o, const Loc& loc, std::string_view text) {
  stop_if_quit();
  if (o.code < 0 && detail::interrupted()) {
    rt::status = err::kInterrupted;
    g().last_error = kInterruptedText;
    return;
  }
  rt::status = o.code;
  if (o.code >= 0) {
    g().last_error.clear();
    return;
  }
  g().last_error = o.message;
  if (g().continue_on_error) return;
  if (g().keep_bad_values > 0 && bad_value(o.code)) return;
  if (detail::lock_waits().scopes > 0 &&
      (o.code == err::kLocked || o.code == err::kInterrupted || o.code == err::kReadOnly || err::surroundings(o.code)))
    return;
  std::string msg = o.message;
  if (!text.empty()) msg += "\nStatement: " + rt::text::one_line(text);
  rt::fatal_sql(loc, o.code, msg);
}

void fail(int code, std::string message, const Loc& loc, std::string_view text) {
  finish({code, std::move(message)}, loc, text);
}

void settle() {
  State& s = g();
  if (s.sent.empty()) return;
  before_call();
  detail::Settled r;
  detail::Outcome o;
  {
    Busy busy;
    o = s.conn->settle(&r);
  }
  s.changed += r.total_rows;
  if (r.sent > 0) s.rows = r.last_rows;
  if (o.ok()) {
    s.sent.clear();
    return;
  }
  const size_t at = r.failed >= 0 && static_cast<size_t>(r.failed) < s.sent.size() ? static_cast<size_t>(r.failed)
                                                                                   : s.sent.size() - 1;
  const State::Sent failed = s.sent[at];
  s.sent.clear();
  finish(o, failed.loc, failed.stmt->text);
}

// After a back-end call: the end of a wait for a lock that the program
// was told of, and a wait given up, which the back end ended with an error
// of its own (or which an interrupt cut short before the back end asked).
detail::Outcome after_wait(detail::Outcome o) {
  detail::LockWaits& s = detail::lock_waits();
  if (s.long_wait && s.hook) s.hook(LockWait::Over);
  if ((s.given_up && o.code < 0) || (s.waiting && o.code == err::kInterrupted)) {
    o = {err::kLocked, "the wait for a lock held by another program was given up (" + o.message + ")"};
  }
  s.waiting = false;
  s.long_wait = false;
  s.given_up = false;
  return o;
}

}  // namespace services

namespace {

void rollback_on_exit() {
  State& s = g();
  if (s.busy == 0 && s.conn && s.conn->in_transaction()) s.conn->rollback();
  s.savepoints.clear();
  s.sent.clear();
}

std::string sqlite_path(const Settings& settings, std::string_view dbname) {
  if (!settings.database.empty()) return settings.database;
  return std::string(dbname) + ".db";
}

// Prepares `text` into a new Impl; null with the status set on error.
std::shared_ptr<Statement::Impl> make_statement(std::string_view text, const Loc& loc) {
  State& s = g();
  if (!s.conn) {
    fail(err::kConnect, "no database is connected", loc, text);
    return nullptr;
  }
  auto impl = std::make_shared<Statement::Impl>();
  impl->text = std::string(text);
  detail::Outcome o = guarded([&] { return s.conn->prepare(text, &impl->bs); });
  if (!o.ok()) {
    finish(o, loc, text);
    return nullptr;
  }
  prune(&s.statements);
  s.statements.push_back(impl);
  return impl;
}

}  // namespace

std::shared_ptr<Statement::Impl> services::cached(std::string_view text, const Loc& loc) {
  State& s = g();
  auto it = s.cache.find(text);
  if (it != s.cache.end() && it->second->bs) return it->second;
  auto impl = make_statement(text, loc);
  if (!impl) return nullptr;
  if (s.cache.size() >= kCacheLimit) s.cache.clear();
  s.cache[impl->text] = impl;
  return impl;
}

bool services::usable(const Statement& stmt, const Loc& loc) {
  if (!stmt.impl_ || !stmt.impl_->bs) {
    fail(err::kNotAvailable, "the statement is not prepared", loc);
    return false;
  }
  return true;
}

namespace {

// Transaction statements written as text take the same road as the calls.
bool transaction_statement(const Statement::Impl& impl, const Loc& loc) {
  switch (impl.tr().kind) {
    case StmtKind::Begin: begin_work(loc); return true;
    case StmtKind::Commit: commit_work(loc); return true;
    case StmtKind::Rollback: rollback_work(loc); return true;
    default: return false;
  }
}

// Whether a row change may be sent without waiting for its answer.
bool sendable(const Statement::Impl& impl) {
  const State& s = g();
  return s.pipelined > 0 && !s.continue_on_error && impl.bs->can_send() && s.conn->in_transaction();
}

void run(const std::shared_ptr<Statement::Impl>& impl, const Params& params, const Loc& loc) {
  if (transaction_statement(*impl, loc)) return;
  State& s = g();
  if (sendable(*impl)) {
    if (s.sent.size() >= kSendLimit) settle();
    const detail::Outcome o = unsettled([&] { return impl->bs->send(params); });
    if (o.ok()) s.sent.push_back({impl, loc});
    finish(o, loc, impl->text);
    return;
  }
  detail::ExecResult r;
  detail::Outcome o = guarded([&] { return impl->bs->execute(params, &r); });
  if (o.code >= 0) {
    s.rows = r.rows;
    if (s.pipelined > 0) s.changed += r.rows;
    if (impl->tr().kind == StmtKind::Insert) s.last_serial = r.serial;
  }
  finish(o, loc, impl->text);
}

bool valid_savepoint_name(std::string_view n) {
  if (n.empty() || n.size() > 63 || !(std::isalpha(static_cast<unsigned char>(n[0])) || n[0] == '_')) return false;
  if (n.substr(0, 9) == "lunadesk_") return false;  // the layer's own
  return std::all_of(n.begin(), n.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

}  // namespace

ContinueOnLock::ContinueOnLock() { ++detail::lock_waits().scopes; }
ContinueOnLock::~ContinueOnLock() { --detail::lock_waits().scopes; }

void set_lock_wait_hook(LockWaitHook hook) { detail::lock_waits().hook = hook; }
void set_before_call_hook(void (*hook)()) { g().before_call = hook; }

bool try_connect(std::string_view dbname, std::string* error, const ConnectOptions& options) {
  State& s = g();
  disconnect();
  std::string why;
  const std::optional<Backend> chosen = backend_named(options.settings.sqltype);
  if (!chosen) {
    if (error) *error = unknown_backend_text(options.settings.sqltype);
    return false;
  }
  detail::use_connection_settings(options.settings);
  if (*chosen == Backend::Postgres) {
    s.conn = detail::open_pg(std::string(dbname), &why);
  } else {
    s.conn =
        detail::open_sqlite(sqlite_path(options.settings, dbname), options.create_if_missing, &why, options.read_only);
  }
  if (!s.conn) {
    if (error) *error = why;
    return false;
  }
  s.conn->guard_statements(s.continue_on_error);
  g_signal_conn.store(s.conn.get(), std::memory_order_relaxed);
  if (!s.cleanup_registered) {
    rt::set_quit_hook(&cancel_on_quit);
    rt::add_cleanup(&rollback_on_exit);
    s.cleanup_registered = true;
  }
  return true;
}

void connect(std::string_view dbname, const ConnectOptions& options, const Loc& loc) {
  std::string why;
  if (!try_connect(dbname, &why, options)) {
    rt::status = backend_named(options.settings.sqltype) == Backend::Postgres ? err::kConnect : err::kNoDatabase;
    rt::fatal_sql(loc, rt::status, why);
  }
  rt::status = 0;
}

void disconnect() {
  State& s = g();
  if (!s.conn) return;
  g_signal_conn.store(nullptr, std::memory_order_relaxed);
  // Row changes still unanswered go with the transaction they are in.
  s.sent.clear();
  if (s.conn->in_transaction()) s.conn->rollback();
  for (auto& w : s.cursors) {
    if (auto c = w.lock()) c->bc.reset();
  }
  s.cache.clear();
  for (auto& w : s.statements) {
    if (auto st = w.lock()) st->bs.reset();
  }
  s.cursors.clear();
  s.statements.clear();
  s.savepoints.clear();
  s.conn.reset();
}

bool connected() { return g().conn != nullptr; }

std::string sqlite_file(const Settings& settings, std::string_view dbname) { return sqlite_path(settings, dbname); }

Backend backend() {
  if (g().conn) return g().conn->kind();
  return backend_named(detail::connection_settings().sqltype).value_or(Backend::Sqlite);
}

namespace {
void set_continue_on_error(bool on) {
  // The row changes sent so far answer under the rule they were run under.
  settle();
  g().continue_on_error = on;
  if (g().conn) g().conn->guard_statements(on);
}
}  // namespace

KeepBadValues::KeepBadValues() { ++g().keep_bad_values; }
KeepBadValues::~KeepBadValues() { --g().keep_bad_values; }

bool bad_value(int status) {
  return status == err::kCharToNumber || status == err::kIntegerRange || status == err::kDateConversion ||
         status == err::kDecimalRange;
}

ContinueOnError::ContinueOnError() : saved_(g().continue_on_error) { set_continue_on_error(true); }
ContinueOnError::~ContinueOnError() { set_continue_on_error(saved_); }

Interruptible::Interruptible() {
  if (detail::interruptible_scopes()++ == 0) rt::set_interrupt_hook(&cancel_on_quit);
}
Interruptible::~Interruptible() {
  if (--detail::interruptible_scopes() == 0) rt::set_interrupt_hook(nullptr);
}

PipelinedChanges::PipelinedChanges() : changed_at_start_(g().changed) { ++g().pipelined; }
PipelinedChanges::~PipelinedChanges() {
  settle();
  --g().pipelined;
}
long PipelinedChanges::rows() const {
  settle();
  return g().changed - changed_at_start_;
}

void prepare(Statement& stmt, std::string_view text, const Loc& loc) {
  stmt.impl_ = make_statement(text, loc);
  if (stmt.impl_) rt::status = 0;
}

void free_statement(Statement& stmt) {
  settle();
  stmt.impl_.reset();
}

void execute(Statement& stmt, const Params& params, const Loc& loc) {
  if (!usable(stmt, loc)) return;
  run(stmt.impl_, params, loc);
}

void execute(std::string_view text, const Params& params, const Loc& loc) {
  auto impl = cached(text, loc);
  if (impl) run(impl, params, loc);
}

void select_into(std::string_view text, const Params& params, const Into& into, const Loc& loc) {
  auto impl = cached(text, loc);
  if (!impl) return;
  detail::Outcome o = guarded([&] { return impl->bs->select_into(params, into); });
  finish(o, loc, impl->text);
}

void execute_logged(std::string_view text, const Params& params, const Loc& loc) {
  {
    ContinueOnError scope;
    execute(text, params, loc);
  }
  if (rt::status < 0 && rt::errlog_started()) {
    rt::errlog("Program error at '" + std::string(rt::source_name(loc)) + "', line number " +
               std::to_string(loc.line()) + ". SQL statement error number " + std::to_string(rt::status) + ". " +
               g().last_error + " Statement: " + rt::text::one_line(text));
  }
}

void begin_work(const Loc& loc) {
  if (!g().conn) return fail(err::kConnect, "no database is connected", loc);
  if (g().conn->in_transaction()) return fail(err::kInTransaction, "a transaction is already open", loc);
  g().savepoints.clear();
  finish(guarded([] { return g().conn->begin(); }), loc, "BEGIN WORK");
}

void commit_work(const Loc& loc) {
  if (!g().conn || !g().conn->in_transaction()) return fail(err::kNotInTransaction, "no transaction is open", loc);
  g().savepoints.clear();
  finish(guarded([] { return g().conn->commit(); }), loc, "COMMIT WORK");
}

void rollback_work(const Loc& loc) {
  if (!g().conn || !g().conn->in_transaction()) return fail(err::kNotInTransaction, "no transaction is open", loc);
  g().savepoints.clear();
  finish(guarded([] { return g().conn->rollback(); }, false), loc, "ROLLBACK WORK");
}

bool in_transaction() { return g().conn && g().conn->in_transaction(); }

void savepoint(std::string_view name, const Loc& loc) {
  if (!in_transaction()) return fail(err::kNotInTransaction, "a savepoint needs an open transaction", loc);
  if (!valid_savepoint_name(name)) return fail(err::kSyntax, "'" + std::string(name) + "' is no savepoint name", loc);
  const std::string n(name);
  detail::Outcome o = guarded([&] { return g().conn->savepoint(n); });
  if (o.ok()) g().savepoints.push_back(n);
  finish(o, loc, "SAVEPOINT " + n);
}

namespace {
// Position of savepoint `name` (the latest of that name), or -1.
long find_savepoint(std::string_view name) {
  const auto& v = g().savepoints;
  for (long i = static_cast<long>(v.size()) - 1; i >= 0; --i) {
    if (v[i] == name) return i;
  }
  return -1;
}
}  // namespace

void release_savepoint(std::string_view name, const Loc& loc) {
  const long at = find_savepoint(name);
  if (!in_transaction() || at < 0) return fail(err::kNotAvailable, "no savepoint " + std::string(name), loc);
  const std::string n(name);
  detail::Outcome o = guarded([&] { return g().conn->release(n); });
  if (o.ok()) g().savepoints.resize(at);
  finish(o, loc, "RELEASE SAVEPOINT " + n);
}

void rollback_to_savepoint(std::string_view name, const Loc& loc) {
  const long at = find_savepoint(name);
  if (!in_transaction() || at < 0) return fail(err::kNotAvailable, "no savepoint " + std::string(name), loc);
  const std::string n(name);
  detail::Outcome o = guarded([&] { return g().conn->rollback_to(n); }, false);
  if (o.ok()) g().savepoints.resize(at + 1);
  finish(o, loc, "ROLLBACK TO SAVEPOINT " + n);
}

long last_serial() { return g().last_serial; }
long rows_processed() {
  settle();
  return g().rows;
}
const std::string& last_error_message() { return g().last_error; }

}  // namespace rt::sql
