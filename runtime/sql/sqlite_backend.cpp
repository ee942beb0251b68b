// The embedded back end: an SQLite file, shared by several programs at once
// (write-ahead log, a busy timeout, a clear error when the file stays
// locked).
//
// How the dialect's data lives here:
//   CHAR      TEXT without trailing blanks, of at most n characters; the
//             column compares with RTRIM, and triggers trim the blanks
//             that another tool writes
//   DECIMAL   INTEGER when whole, REAL when 15 significant digits carry
//             it, else the exact text in a BLOB; arithmetic, comparisons
//             and sums are exact (the translator and sqlite_functions.h),
//             values are rounded to the column's scale as they are stored
//   DATE      ISO text yyyy-mm-dd, which sorts and compares as dates do
//   SERIAL    INTEGER PRIMARY KEY AUTOINCREMENT: never reused
//
// Scroll cursors step lazily and keep the rows read, so the first row shows
// at once and a row deleted after it was read is still delivered. When no
// transaction is open and the statement reads no temporary table, a scroll
// cursor reads through a second connection to the same file, whose read
// snapshot starts at the open: rows deleted after the open are delivered
// even when the cursor had not read them yet, as on PostgreSQL.
//
// The file itself (its checks when opened, its write-ahead log, the online
// backup) is sqlite_file.cpp's.
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "core/ascii.h"
#include "core/runtime.h"
#include "sql/backend.h"
#include "sql/convert.h"
#include "sql/sqlite_errors.h"
#include "sql/sqlite_file.h"
#include "sql/sqlite_functions.h"
#include "sql/sqlite_values.h"

namespace rt::sql::detail {
namespace {

class SqliteConn;

// A compiled statement has one owner, which finalises it when it goes.
struct Finalize {
  void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};
using StmtHandle = std::unique_ptr<sqlite3_stmt, Finalize>;

// `sql` compiled as it stands on `db`: for the back end's own catalogue
// queries; null when it does not compile.
StmtHandle compile_plain(sqlite3* db, const char* sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    return nullptr;
  }
  return StmtHandle(st);
}

Outcome error_of(sqlite3* db, int rc, StmtKind kind, const std::string& context = {}) {
  const int ext = db ? sqlite3_extended_errcode(db) : rc;
  std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  const int code = sqlite_error_number(ext, msg, kind);
  if (code == err::kLocked) msg += " (the database stayed locked by another program)";
  if (!context.empty()) msg = context + ": " + msg;
  return {code, msg};
}

class SqliteCursor : public BackendCursor {
 public:
  SqliteCursor(sqlite3* db, StmtHandle st, const Translation& tr, bool scroll)
      : db_(db), st_(std::move(st)), kind_(tr.kind), scroll_(scroll), cols_(column_info(st_.get(), tr)) {}

  // The first row is read at the open, so that the read snapshot starts
  // there and an error in the query shows at the open.
  Outcome start() { return scroll_ ? fill(1) : Outcome{}; }

  Outcome row_at(long k, const Into& into) override {
    Outcome o = fill(k);
    if (!o.ok()) return o;
    if (k > static_cast<long>(rows_.size())) return {err::kNotFound, {}};
    return store_kept(rows_[k - 1], cols_, into);
  }

  Outcome next(const Into& into) override {
    if (done_) return {err::kNotFound, {}};
    const int rc = sqlite3_step(st_.get());
    if (rc == SQLITE_ROW) return store_row(st_.get(), cols_, into);
    done_ = true;
    sqlite3_reset(st_.get());
    if (rc == SQLITE_DONE) return {err::kNotFound, {}};
    return error_of(db_, rc, kind_);
  }

  Outcome count(long* n) override {
    Outcome o = fill(-1);
    *n = static_cast<long>(rows_.size());
    return o;
  }

 private:
  // Steps until `k` rows are kept (all of them for k < 0) or the end.
  Outcome fill(long k) {
    while (!done_ && (k < 0 || static_cast<long>(rows_.size()) < k)) {
      const int rc = sqlite3_step(st_.get());
      if (rc != SQLITE_ROW) {
        done_ = true;
        // Ends the read transaction: the kept rows are the snapshot.
        sqlite3_reset(st_.get());
        if (rc != SQLITE_DONE) return error_of(db_, rc, kind_);
        break;
      }
      rows_.push_back(keep_row(st_.get(), cols_));
    }
    return {};
  }

  sqlite3* db_;
  StmtHandle st_;
  StmtKind kind_;
  bool scroll_;
  std::vector<ColInfo> cols_;
  bool done_ = false;
  std::vector<std::vector<Kept>> rows_;
};

class SqliteStmt : public BackendStatement {
 public:
  SqliteStmt(SqliteConn* conn, StmtHandle st, Translation tr) : conn_(conn), st_(std::move(st)), tr_(std::move(tr)) {}
  const Translation& translation() const override { return tr_; }
  Outcome execute(const Params& params, ExecResult* result) override;
  Outcome select_into(const Params& params, const Into& into) override;
  Outcome open(const Params& params, bool scroll, std::unique_ptr<BackendCursor>* cursor) override;

 private:
  SqliteConn* conn_;
  StmtHandle st_;
  Translation tr_;
  std::vector<ColInfo> cols_;
  bool cols_known_ = false;
};

class SqliteConn : public Connection, public SchemaLookup {
 public:
  SqliteConn(sqlite3* db, std::string path, bool read_only, bool writable)
      : db_(db), path_(std::move(path)), read_only_(read_only), writable_(writable) {}
  ~SqliteConn() override {
    if (reader_) sqlite3_close_v2(reader_);
    sqlite3_close_v2(db_);
  }
  Backend kind() const override { return Backend::Sqlite; }
  bool read_only() const override { return read_only_; }
  sqlite3* db() const { return db_; }

  Outcome native(std::string_view text, std::vector<NativeRow>* rows) override {
    Translation tr;
    tr.text = std::string(text);
    StmtHandle handle;
    Outcome o = compile(db_, tr, &handle);
    if (!o.ok()) return o;
    sqlite3_stmt* st = handle.get();
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      NativeRow row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (sqlite3_column_type(st, c) == SQLITE_NULL) {
          row.emplace_back(std::nullopt);
          continue;
        }
        const auto* p = static_cast<const char*>(sqlite3_column_blob(st, c));
        row.emplace_back(std::string(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(st, c))));
      }
      if (rows) rows->push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) o = error_of(db_, rc, StmtKind::Other);
    schema_.clear();
    return o;
  }

  Outcome backup(const std::string& path) override { return backup_sqlite_file(db_, path); }
  void cancel_from_signal() override {
    sqlite3_interrupt(db_);
    if (reader_) sqlite3_interrupt(reader_);
  }

  Outcome prepare(std::string_view text, const std::vector<bool>& numbers,
                  std::unique_ptr<BackendStatement>* out) override {
    TranslateOptions opt;
    opt.date_format = DateFormat::current();
    opt.number_params = numbers;
    Translation tr = translate(text, Backend::Sqlite, this, opt);
    if (!tr.ok) return {tr.error_code ? tr.error_code : err::kSyntax, tr.error};
    StmtHandle st;
    Outcome o = compile(db_, tr, &st);
    if (!o.ok()) return o;
    *out = std::make_unique<SqliteStmt>(this, std::move(st), std::move(tr));
    if (numbers.empty()) by_bound_kinds(this, text, out);
    return {};
  }

  static Outcome compile(sqlite3* db, const Translation& tr, StmtHandle* out) {
    const char* tail = nullptr;
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v3(db, tr.text.c_str(), static_cast<int>(tr.text.size()), SQLITE_PREPARE_PERSISTENT,
                                      &raw, &tail);
    StmtHandle st(raw);
    if (rc != SQLITE_OK) return error_of(db, rc, tr.kind);
    if (!st) return {err::kSyntax, "the statement is empty"};
    for (; tail && *tail; ++tail) {
      if (!std::isspace(static_cast<unsigned char>(*tail)))
        return {err::kSyntax, "the text holds more than one statement"};
    }
    *out = std::move(st);
    return {};
  }

  // Where a scroll cursor over `tr` reads: the snapshot connection when it
  // can, else this one.
  sqlite3* cursor_db(const Translation& tr) {
    if (!sqlite3_get_autocommit(db_)) return db_;
    for (const std::string& w : tr.words) {
      if (temp_tables_.count(w)) return db_;
    }
    if (!reader_ && !open_reader()) return db_;
    return reader_;
  }

  void after(const Translation& tr) {
    if (tr.kind == StmtKind::CreateTable && !tr.table.empty()) trim_char_columns(tr.table);
    if (tr.kind == StmtKind::CreateTable && tr.serial_start > 1) first_serial(tr);
    if (is_ddl(tr.kind)) schema_.clear();
    if (tr.temp && !tr.table.empty()) temp_tables_.insert(tr.table);
    // A table made from a query declares its columns only by affinity
    // ("NUM" for a DECIMAL and a DATE alike): the types the translator
    // read from the query are kept for it.
    if (tr.kind == StmtKind::SelectIntoTemp) temp_types_[tr.table] = tr.result_types;
    if (tr.kind == StmtKind::DropTable) {
      temp_tables_.erase(tr.table);
      temp_types_.erase(tr.table);
    }
  }

  const TableInfo* table(std::string_view name) override {
    auto it = schema_.find(std::string(name));
    if (it != schema_.end()) return &it->second;
    const StmtHandle handle = compile_plain(db_, "SELECT name, type, pk FROM pragma_table_info(?)");
    if (!handle) return nullptr;
    sqlite3_stmt* st = handle.get();
    sqlite3_bind_text(st, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    TableInfo info;
    int pks = 0, int_pk = -1;
    while (sqlite3_step(st) == SQLITE_ROW) {
      const auto* col = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
      std::string c = col ? col : "";
      for (char& ch : c) ch = ascii_lower(ch);
      if (sqlite3_column_int(st, 2) > 0) {
        ++pks;
        if (type && sqlite3_stricmp(type, "INTEGER") == 0) int_pk = static_cast<int>(info.columns.size());
      }
      info.columns.push_back(std::move(c));
      const std::string decl = type ? type : "";
      info.types.push_back(decl == "NUM" ? ColType{} : column_type(decl));
    }
    if (info.columns.empty()) return nullptr;
    auto made = temp_types_.find(std::string(name));
    if (made != temp_types_.end() && made->second.size() == info.types.size()) {
      for (size_t c = 0; c < info.types.size(); ++c) {
        if (made->second[c].kind != ColType::Unknown) info.types[c] = made->second[c];
      }
    }
    // The serial is the table's only key column, an INTEGER: what SERIAL
    // becomes here.
    if (pks == 1) info.serial = int_pk;
    return &schema_.emplace(std::string(name), std::move(info)).first->second;
  }

  bool in_transaction() override { return !sqlite3_get_autocommit(db_); }
  Outcome begin() override { return control("BEGIN IMMEDIATE", StmtKind::Begin); }
  Outcome commit() override { return control("COMMIT", StmtKind::Commit); }
  Outcome rollback() override {
    return keeping_serials([&] { return control("ROLLBACK", StmtKind::Rollback); });
  }
  Outcome savepoint(const std::string& n) override { return control("SAVEPOINT " + n, StmtKind::Other); }
  Outcome release(const std::string& n) override { return control("RELEASE SAVEPOINT " + n, StmtKind::Other); }
  Outcome rollback_to(const std::string& n) override {
    return keeping_serials([&] { return control("ROLLBACK TO SAVEPOINT " + n, StmtKind::Other); });
  }

  static int setup(sqlite3* db) {
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_handler(db, wait_for_lock, nullptr);
    const int rc = sqlite3_exec(db, kSessionMemory, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? register_sqlite_functions(db) : rc;
  }

  // Waits for another program's lock in growing steps of at most 50 ms, up
  // to the lock timeout, telling the layer at each step; gives up when the
  // layer says so (Ctrl-C during a save), and at once on a hang-up or
  // termination (the run is ending: nothing is gained by waiting) or when
  // the interrupt key stops interruptible work. SQLite calls this with
  // tries 0 at the start of each wait.
  static int wait_for_lock(void*, int tries) {
    static constexpr int kSteps[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50};
    constexpr int kCount = sizeof kSteps / sizeof kSteps[0];
    using Clock = std::chrono::steady_clock;
    static Clock::time_point started;
    if (cut_short()) return 0;
    const Clock::time_point now = Clock::now();
    if (tries == 0) started = now;
    const long waited = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(now - started).count());
    if (lock_waits().tell(waited)) return 0;
    const long left = lock_timeout_ms() - waited;
    if (left <= 0) return 0;
    const int step = kSteps[tries < kCount ? tries : kCount - 1];
    sqlite3_sleep(static_cast<int>(left < step ? left : step));
    return 1;
  }

 private:
  Outcome control(const std::string& sql, StmtKind kind) {
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return error_of(db_, rc, kind);
    return {};
  }

  // A serial once handed out is never handed out again, also when the
  // transaction that took it is rolled back, as on PostgreSQL, whose
  // sequences a rollback does not touch: the counters of the serial
  // columns are read before the rollback and put back after it.
  template <class F>
  Outcome keeping_serials(F undo) {
    std::vector<std::pair<std::string, std::int64_t>> counters;
    if (const StmtHandle st = compile_plain(db_, "SELECT name, seq FROM main.sqlite_sequence")) {
      while (sqlite3_step(st.get()) == SQLITE_ROW) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
        counters.emplace_back(name ? name : "", sqlite3_column_int64(st.get(), 1));
      }
    }
    Outcome o = undo();
    if (!o.ok() || counters.empty()) return o;
    static const char* const kPutBack[] = {"DELETE FROM main.sqlite_sequence WHERE name = ?1 AND seq < ?2",
                                           "INSERT INTO main.sqlite_sequence (name, seq) SELECT ?1, ?2 "
                                           "WHERE NOT EXISTS (SELECT 1 FROM main.sqlite_sequence WHERE name = ?1)"};
    for (const char* sql : kPutBack) {
      const StmtHandle handle = compile_plain(db_, sql);
      if (!handle) break;
      sqlite3_stmt* st = handle.get();
      for (const auto& [name, seq] : counters) {
        sqlite3_bind_text(st, 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(st, 2, seq);
        sqlite3_step(st);  // a failure only lets the number be taken again
        sqlite3_reset(st);
      }
    }
    return o;
  }

  // SERIAL(n): the counter of the table's key starts below n, so that the
  // first serial handed out is n. A failure only leaves it starting at 1.
  void first_serial(const Translation& tr) {
    const std::string sql = std::string("INSERT INTO ") + (tr.temp ? "temp" : "main") +
                            ".sqlite_sequence (name, seq) VALUES (" + quote_literal(tr.table) + ", " +
                            std::to_string(tr.serial_start - 1) + ")";
    sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  }

  // A CHAR value is stored without its trailing blanks, whoever writes it:
  // the programs bind values so, and these triggers trim what another
  // tool writes with blanks. Comparisons (joins, IN, temporary tables made
  // from queries), length(), || and upper() then see what PostgreSQL sees
  // of a char(n) value.
  void trim_char_columns(const std::string& table) {
    const StmtHandle handle = compile_plain(db_, "SELECT name, type FROM pragma_table_info(?)");
    if (!handle) return;
    sqlite3_stmt* st = handle.get();
    sqlite3_bind_text(st, 1, table.data(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
    std::vector<std::string> cols;
    while (sqlite3_step(st) == SQLITE_ROW) {
      const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
      if (name && type && sqlite3_strnicmp(type, "CHAR(", 5) == 0) cols.emplace_back(name);
    }
    if (cols.empty()) return;
    std::string when, set, list;
    for (const std::string& c : cols) {
      const std::string q = "\"" + c + "\"";
      when += (when.empty() ? "" : " OR ") + ("substr(NEW." + q + ",-1)=' '");
      set += (set.empty() ? "" : ", ") + q + "=rtrim(" + q + ",' ')";
      list += (list.empty() ? "" : ",") + q;
    }
    const std::string t = "\"" + table + "\"";
    const std::string body = " WHEN " + when + " BEGIN UPDATE " + t + " SET " + set + " WHERE rowid=NEW.rowid; END";
    for (const std::string& sql :
         {"CREATE TRIGGER \"" + table + "_trim_insert\" AFTER INSERT ON " + t + body,
          "CREATE TRIGGER \"" + table + "_trim_update\" AFTER UPDATE OF " + list + " ON " + t + body}) {
      sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    }
  }

  bool open_reader() {
    if (path_.empty() || path_ == ":memory:") return false;
    sqlite3* r = nullptr;
    if (sqlite3_open_v2(path_.c_str(), &r, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
        setup(r) != SQLITE_OK || sqlite3_exec(r, "PRAGMA query_only=1", nullptr, nullptr, nullptr) != SQLITE_OK) {
      sqlite3_close_v2(r);
      return false;
    }
    if (writable_) keep_wal(r);
    reader_ = r;
    return true;
  }

  sqlite3* db_;
  sqlite3* reader_ = nullptr;
  std::string path_;
  bool read_only_ = false;
  bool writable_ = false;  // the file, by this user (the log is kept)
  std::map<std::string, TableInfo, std::less<>> schema_;
  std::set<std::string> temp_tables_;
  std::map<std::string, std::vector<ColType>, std::less<>> temp_types_;
};

Outcome SqliteStmt::execute(const Params& params, ExecResult* result) {
  Outcome o = bind_all(st_.get(), tr_, params);
  if (!o.ok()) return o;
  sqlite3* db = conn_->db();
  const int rc = sqlite3_step(st_.get());
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) {
    const bool rows = sqlite3_column_count(st_.get()) > 0 && tr_.kind != StmtKind::SelectIntoTemp;
    sqlite3_reset(st_.get());
    result->rows = rows ? 0 : sqlite3_changes(db);
    result->serial = tr_.returns_serial ? static_cast<long>(sqlite3_last_insert_rowid(db)) : 0;
    conn_->after(tr_);
    if (rows && rc == SQLITE_DONE) return {err::kNotFound, {}};
    return {};
  }
  o = error_of(db, rc, tr_.kind);
  sqlite3_reset(st_.get());
  return o;
}

Outcome SqliteStmt::select_into(const Params& params, const Into& into) {
  Outcome o = bind_all(st_.get(), tr_, params);
  if (!o.ok()) return o;
  if (!cols_known_) {
    cols_ = column_info(st_.get(), tr_);
    cols_known_ = true;
  }
  sqlite3* db = conn_->db();
  int rc = sqlite3_step(st_.get());
  if (rc == SQLITE_DONE) {
    sqlite3_reset(st_.get());
    return {err::kNotFound, {}};
  }
  if (rc != SQLITE_ROW) {
    o = error_of(db, rc, tr_.kind);
    sqlite3_reset(st_.get());
    return o;
  }
  // Look for a second row before touching the variables.
  std::vector<Value> first;
  first.reserve(into.size());
  for (const Value* v : into) first.emplace_back(v ? v->type() : Type{});
  Into tmp;
  tmp.reserve(first.size());
  for (Value& v : first) tmp.push_back(&v);
  o = store_row(st_.get(), cols_, tmp);
  rc = sqlite3_step(st_.get());
  sqlite3_reset(st_.get());
  if (rc == SQLITE_ROW) return {err::kNotOneRow, "the single-row select returned more than one row"};
  if (rc != SQLITE_DONE) return error_of(db, rc, tr_.kind);
  for (size_t c = 0; c < into.size(); ++c) {
    if (into[c]) *into[c] = first[c];
  }
  return o;
}

Outcome SqliteStmt::open(const Params& params, bool scroll, std::unique_ptr<BackendCursor>* cursor) {
  if (sqlite3_column_count(st_.get()) == 0) return {err::kNotAvailable, "a cursor needs a SELECT statement"};
  sqlite3* db = scroll ? conn_->cursor_db(tr_) : conn_->db();
  StmtHandle st;
  Outcome o = SqliteConn::compile(db, tr_, &st);
  if (!o.ok()) return o;
  o = bind_all(st.get(), tr_, params);
  if (!o.ok()) return o;
  auto c = std::make_unique<SqliteCursor>(db, std::move(st), tr_, scroll);
  o = c->start();
  if (!o.ok()) return o;
  *cursor = std::move(c);
  return {};
}

}  // namespace

std::unique_ptr<Connection> open_sqlite(const std::string& path, bool create, std::string* error, bool read_only) {
  bool writable = false;
  sqlite3* db = open_sqlite_file(path, create, read_only, &SqliteConn::setup, &writable, error);
  if (!db) return nullptr;
  return std::make_unique<SqliteConn>(db, path, read_only || !writable, writable);
}

}  // namespace rt::sql::detail
