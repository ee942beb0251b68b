// The benchmark's receivables: generator and loaders (see receivables.h).
#include "core/settings.h"
#include "receivables.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "schema.h"
#include "sql/sql.h"
#include "values/date.h"

namespace bench {
namespace {

// xorshift64*: small, fast and the same everywhere.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : s_(seed ? seed : 1) {}
  std::uint64_t next() {
    s_ ^= s_ >> 12;
    s_ ^= s_ << 25;
    s_ ^= s_ >> 27;
    return s_ * 2685821657736338717ULL;
  }
  long below(long n) { return static_cast<long>(next() % static_cast<std::uint64_t>(n)); }

 private:
  std::uint64_t s_;
};

constexpr const char* kCharges[] = {"IN", "DM", "FC", "SC"};
constexpr const char* kCredits[] = {"PY", "CM"};

std::string iso_of(int day_of_2026) {
  static const rt::Date jan1 = *rt::Date::from_mdy(1, 1, 2026);
  return rt::Date(jan1.days() + day_of_2026).iso();
}

// Splits `total` cents (>= parts) into `parts` positive amounts.
std::vector<std::int64_t> split(std::int64_t total, int parts, Rng& rng) {
  std::vector<std::int64_t> out;
  std::int64_t left = total;
  for (int i = parts; i > 1; --i) {
    const std::int64_t most = left - (i - 1);
    const std::int64_t a =
        1 + static_cast<std::int64_t>(rng.next() % static_cast<std::uint64_t>(std::max<std::int64_t>(1, most)));
    out.push_back(std::min(a, most));
    left -= out.back();
  }
  out.push_back(left);
  return out;
}

std::string amount_text(std::int64_t cents) {
  const std::int64_t a = cents < 0 ? -cents : cents;
  std::string s = std::to_string(a / 100) + "." + (a % 100 < 10 ? "0" : "") + std::to_string(a % 100);
  return cents < 0 ? "-" + s : s;
}

void check_sqlite(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

void exec_sqlite(sqlite3* db, const char* sql) {
  check_sqlite(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, sql);
}

class SqliteSink : public Sink {
 public:
  explicit SqliteSink(sqlite3* db) : db_(db) {
    prep(&type_, "INSERT INTO ar_type VALUES (?, ?, ?)");
    prep(&cycle_, "INSERT INTO ar_cycle VALUES (?, ?, NULL, NULL)");
    prep(&cust_, "INSERT INTO ar_customer (cust_customer, cust_name, cust_stmt_cycle) VALUES (?, ?, ?)");
    prep(&item_, "INSERT INTO ar_item VALUES (?, ?, ?, ?, ?, ?, NULL)");
    prep(&open_, "INSERT INTO ar_openitem VALUES (?, ?, ?)");
  }
  ~SqliteSink() override {
    for (sqlite3_stmt* s : {type_, cycle_, cust_, item_, open_}) sqlite3_finalize(s);
  }
  void type(const char* code, const char* oper) override {
    sqlite3_bind_text(type_, 1, code, -1, SQLITE_STATIC);
    sqlite3_bind_text(type_, 2, oper, -1, SQLITE_STATIC);
    sqlite3_bind_text(type_, 3, code, -1, SQLITE_STATIC);
    step(type_);
  }
  void cycle(int code) override {
    const std::string desc = "Cycle " + std::to_string(code);
    sqlite3_bind_int(cycle_, 1, code);
    sqlite3_bind_text(cycle_, 2, desc.c_str(), -1, SQLITE_TRANSIENT);
    step(cycle_);
  }
  void customer(long c, int cycle) override {
    const std::string name = "Customer " + std::to_string(c);
    sqlite3_bind_int64(cust_, 1, c);
    sqlite3_bind_text(cust_, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(cust_, 3, cycle);
    step(cust_);
  }
  void item(long c, long inv, int seq, const char* type, std::int64_t cents, const std::string& date,
            bool open) override {
    // Bound as text: the column's affinity stores it as the SQL layer
    // stores a decimal (INTEGER when whole, else REAL).
    const std::string amount = amount_text(cents);
    sqlite3_bind_int64(item_, 1, c);
    sqlite3_bind_int64(item_, 2, inv);
    sqlite3_bind_int(item_, 3, seq);
    sqlite3_bind_text(item_, 4, type, -1, SQLITE_STATIC);
    sqlite3_bind_text(item_, 5, amount.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(item_, 6, date.c_str(), -1, SQLITE_TRANSIENT);
    step(item_);
    if (!open) return;
    sqlite3_bind_int64(open_, 1, c);
    sqlite3_bind_int64(open_, 2, inv);
    sqlite3_bind_int(open_, 3, seq);
    step(open_);
  }

 private:
  void prep(sqlite3_stmt** st, const char* sql) {
    check_sqlite(sqlite3_prepare_v2(db_, sql, -1, st, nullptr), db_, sql);
  }
  void step(sqlite3_stmt* st) {
    check_sqlite(sqlite3_step(st), db_, "insert");
    sqlite3_reset(st);
  }
  sqlite3* db_;
  sqlite3_stmt *type_ = nullptr, *cycle_ = nullptr, *cust_ = nullptr, *item_ = nullptr, *open_ = nullptr;
};

// Collects COPY text per table; written by copy_all().
class PgSink : public Sink {
 public:
  void type(const char* code, const char* oper) override {
    types_ += std::string(code) + "\t" + oper + "\t" + code + "\n";
  }
  void cycle(int code) override {
    cycles_ += std::to_string(code) + "\tCycle " + std::to_string(code) + "\t\\N\t\\N\n";
  }
  void customer(long c, int cycle) override {
    customers_ += std::to_string(c) + "\tCustomer " + std::to_string(c) + "\t" + std::to_string(cycle) + "\n";
  }
  void item(long c, long inv, int seq, const char* type, std::int64_t cents, const std::string& date,
            bool open) override {
    const std::string key = std::to_string(c) + "\t" + std::to_string(inv) + "\t" + std::to_string(seq);
    items_ += key + "\t" + type + "\t" + amount_text(cents) + "\t" + date + "\t\\N\n";
    if (open) open_ += key + "\n";
  }
  void copy_all(PGconn* c) {
    copy(c, "COPY ar_type FROM STDIN", types_);
    copy(c, "COPY ar_cycle FROM STDIN", cycles_);
    copy(c, "COPY ar_customer (cust_customer, cust_name, cust_stmt_cycle) FROM STDIN", customers_);
    copy(c, "COPY ar_item FROM STDIN", items_);
    copy(c, "COPY ar_openitem FROM STDIN", open_);
  }

 private:
  static void copy(PGconn* c, const char* sql, const std::string& data) {
    PGresult* r = PQexec(c, sql);
    const bool ok = PQresultStatus(r) == PGRES_COPY_IN;
    PQclear(r);
    if (!ok || PQputCopyData(c, data.data(), static_cast<int>(data.size())) != 1 || PQputCopyEnd(c, nullptr) != 1)
      throw std::runtime_error(std::string(sql) + ": " + PQerrorMessage(c));
    r = PQgetResult(c);
    const bool done = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    while ((r = PQgetResult(c)) != nullptr) PQclear(r);
    if (!done) throw std::runtime_error(std::string(sql) + ": " + PQerrorMessage(c));
  }
  std::string types_, cycles_, customers_, items_, open_;
};

void exec_pg(PGconn* c, const char* sql) {
  PGresult* r = PQexec(c, sql);
  const ExecStatusType st = PQresultStatus(r);
  PQclear(r);
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK)
    throw std::runtime_error(std::string(sql) + ": " + PQerrorMessage(c));
}

PGconn* connect_pg() {
  PGconn* c = PQconnectdb("dbname=lunadesk");
  if (PQstatus(c) != CONNECTION_OK) {
    const std::string why = PQerrorMessage(c);
    PQfinish(c);
    throw std::runtime_error("cannot connect: " + why);
  }
  exec_pg(c, "SET client_min_messages TO warning");
  return c;
}

sqlite3* open_sqlite(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    const std::string why = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + path + ": " + why);
  }
  sqlite3_busy_timeout(db, 5000);
  return db;
}

}  // namespace

std::string Spread::name() const {
  if (one_item) return "one-item";
  return big_share > 0 ? std::to_string(big_share) + "%" : "uniform";
}

std::optional<Spread> spread_named(const std::string& name) {
  if (name == "uniform") return Spread{};
  if (name == "one-item") return Spread{0, true};
  for (int share : {10, 50, 100})
    if (name == std::to_string(share) + "%") return Spread{share, false};
  return std::nullopt;
}

GenStats generate(long n_items, Sink& sink, Spread spread, std::uint64_t seed) {
  Rng rng(seed);
  GenStats st;
  for (const char* t : kCharges) sink.type(t, "+");
  for (const char* t : kCredits) sink.type(t, "-");
  for (int k = 1; k <= 10; ++k) sink.cycle(k);
  st.customers = std::max(1L, n_items / 50);
  for (long c = 1; c <= st.customers; ++c) sink.customer(c, static_cast<int>((c - 1) % 10) + 1);

  // Days of 2026 counted from 0 (01/01): the end date 11/30 is day 333.
  constexpr int kEndDay = 333;
  long inv = 0;
  while (st.items < n_items) {
    ++inv;
    const bool big = spread.big_share > 0 && rng.below(100) < spread.big_share;
    const long cust = big ? 1 : 1 + rng.below(st.customers);
    int k = spread.one_item ? 1 : 2 + static_cast<int>(rng.below(7));
    k = static_cast<int>(std::min<long>(k, n_items - st.items));
    const long kind = rng.below(100);
    const bool history = kind >= 95;
    // Charges first, then the credits that pay them (or not quite).
    const int n_charges = k == 1 ? 1 : std::max(1, k / 2);
    const int n_credits = k - n_charges;
    std::vector<std::int64_t> charges;
    std::int64_t total = 0;
    // A one-item invoice nets to zero only as a zero line. Zero lines are
    // 8% of the invoices, so that as many invoices net to zero as in the
    // other spreads (40% of invoices five times fewer): the run sends one
    // DELETE per matched invoice, and the spread is to show what many
    // small invoices cost, not five times the DELETEs.
    const bool zero_line = spread.one_item && kind < 8;
    for (int i = 0; i < n_charges; ++i) {
      charges.push_back(zero_line ? 0 : 100 + static_cast<std::int64_t>(rng.below(250000)));
      total += charges.back();
    }
    const bool nets = (kind < 50 && n_credits > 0) || zero_line;
    const bool later = nets && kind >= 40;
    std::int64_t paid = total;
    if (!nets && n_credits > 0)
      paid = total - (1 + static_cast<std::int64_t>(rng.below(std::max<std::int64_t>(1, total / 2))));
    if (paid < n_credits) paid = n_credits;  // a credit is at least a cent
    const std::vector<std::int64_t> credits = n_credits > 0 ? split(paid, n_credits, rng) : std::vector<std::int64_t>{};

    int day = static_cast<int>(rng.below(300));
    int seq = 0;
    double fsum = 0;
    for (int i = 0; i < n_charges; ++i) {
      sink.item(cust, inv, ++seq, kCharges[i == 0 ? 0 : 1 + rng.below(3)], charges[static_cast<std::size_t>(i)],
                iso_of(day), !history);
      fsum += static_cast<double>(charges[static_cast<std::size_t>(i)]) / 100.0;
      day = std::min(kEndDay, day + static_cast<int>(rng.below(5)));
    }
    for (int i = 0; i < n_credits; ++i) {
      const bool last = i == n_credits - 1;
      const int d = later && last ? kEndDay + 1 + static_cast<int>(rng.below(31)) : day;
      sink.item(cust, inv, ++seq, kCredits[rng.below(2)], credits[static_cast<std::size_t>(i)], iso_of(d), !history);
      fsum -= static_cast<double>(credits[static_cast<std::size_t>(i)]) / 100.0;
      day = std::min(kEndDay, day + static_cast<int>(rng.below(5)));
    }
    st.items += k;
    if (!history) st.open_items += k;
    if (nets && !history && !later) {
      ++st.zero_by_date;
      if (fsum != 0.0) ++st.float_misses;
    }
    if (later && !history) ++st.zero_later;
  }
  st.invoices = inv;
  return st;
}

GenStats load(long n_items, Spread spread, bool pg, const std::string& sqlite_path) {
  std::string error;
  if (!rt::sql::try_connect("lunadesk", &error, {rt::read_settings(rt::host())}))
    throw std::runtime_error("cannot connect: " + error);
  lunadesk::db::SchemaReport report;
  if (!lunadesk::db::create_schema(&report, &error)) throw std::runtime_error("schema: " + error);
  rt::sql::disconnect();

  GenStats st;
  if (pg) {
    PGconn* c = connect_pg();
    PgSink sink;
    st = generate(n_items, sink, spread);
    exec_pg(c, "BEGIN");
    sink.copy_all(c);
    exec_pg(c, "CREATE TABLE bench_openitem AS SELECT * FROM ar_openitem");
    exec_pg(c, "COMMIT");
    exec_pg(c, "VACUUM ANALYZE");
    PQfinish(c);
  } else {
    sqlite3* db = open_sqlite(sqlite_path);
    exec_sqlite(db, "BEGIN");
    {
      SqliteSink sink(db);
      st = generate(n_items, sink, spread);
    }
    exec_sqlite(db, "CREATE TABLE bench_openitem AS SELECT * FROM ar_openitem");
    exec_sqlite(db, "COMMIT");
    exec_sqlite(db, "ANALYZE");
    exec_sqlite(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    sqlite3_close(db);
  }
  return st;
}

void reset(bool pg, const std::string& sqlite_path) {
  constexpr const char* kRestore[] = {"DELETE FROM ar_openitem", "INSERT INTO ar_openitem SELECT * FROM bench_openitem",
                                      "UPDATE ar_cycle SET arcy_last_date = NULL"};
  if (pg) {
    PGconn* c = connect_pg();
    exec_pg(c, "BEGIN");
    for (const char* s : kRestore) exec_pg(c, s);
    exec_pg(c, "COMMIT");
    exec_pg(c, "VACUUM ANALYZE ar_openitem");
    exec_pg(c, "VACUUM ANALYZE ar_cycle");
    PQfinish(c);
  } else {
    sqlite3* db = open_sqlite(sqlite_path);
    exec_sqlite(db, "BEGIN");
    for (const char* s : kRestore) exec_sqlite(db, s);
    exec_sqlite(db, "COMMIT");
    exec_sqlite(db, "ANALYZE");
    exec_sqlite(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    sqlite3_close(db);
  }
}

}  // namespace bench
