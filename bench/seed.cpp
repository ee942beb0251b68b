// Generated rows at scale for the benchmarks: see seed.h.
#include "seed.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <numeric>
#include <stdexcept>

namespace bench {
namespace {

// A multiplier that walks 0..n-1 in a scrambled order.
long scramble_step(long n) {
  for (long p : {7919L, 104729L, 1299709L})
    if (std::gcd(p, n) == 1) return p;
  return 1;
}

void run(bool pg, const std::string& where, const std::string& sql) {
  if (!pg) {
    sqlite3* db = nullptr;
    if (sqlite3_open(where.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open " + where);
    char* err = nullptr;
    const std::string all = "PRAGMA cache_size = -500000; BEGIN; " + sql + "; COMMIT; ANALYZE";
    const int rc = sqlite3_exec(db, all.c_str(), nullptr, nullptr, &err);
    const std::string why = err ? err : "";
    sqlite3_free(err);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("loading: " + why);
    return;
  }
  const std::string opts = "-c search_path=" + where;
  const char* keys[] = {"dbname", "options", nullptr};
  const char* vals[] = {"lunadesk", opts.c_str(), nullptr};
  PGconn* c = PQconnectdbParams(keys, vals, 0);
  std::string why;
  for (const std::string& q : {std::string("SET maintenance_work_mem TO '512MB'"), "BEGIN; " + sql + "; COMMIT",
                               std::string("VACUUM ANALYZE")}) {
    PGresult* r = PQexec(c, q.c_str());
    if (PQresultStatus(r) != PGRES_COMMAND_OK) why = PQerrorMessage(c);
    PQclear(r);
    if (!why.empty()) break;
  }
  PQfinish(c);
  if (!why.empty()) throw std::runtime_error("loading: " + why);
}

// The rows i = 0..n-1 as a query of column i, in each dialect.
std::string numbers(bool pg, long n) {
  const std::string ns = std::to_string(n);
  return pg ? "SELECT i FROM generate_series(0::bigint, " + ns + " - 1) i"
            : "WITH RECURSIVE s(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM s WHERE i < " + ns +
                  " - 1) SELECT i FROM s";
}

}  // namespace

void seed_groups(bool pg, const std::string& where, long n) {
  const std::string x = "((i * " + std::to_string(scramble_step(n)) + ") % " + std::to_string(n) + ")";
  const std::string code = pg ? "lpad(" + x + "::text, 8, '0')" : "printf('%08d', " + x + ")";
  run(pg, where,
      "DROP INDEX tu_u_group; INSERT INTO inv_classes SELECT 'TX' || (i + 1), 'T', 'Tax class ' || (i + 1) FROM (" +
          numbers(pg, 30) + ") c; INSERT INTO tx_use_g (tu_use_g, tu_prodtcl, tu_description, tu_link) SELECT " + code +
          ", 'TX1', 'Group ' || " + code + ", i + 1 FROM (" + numbers(pg, n) +
          ") g; CREATE UNIQUE INDEX tu_u_group ON tx_use_g (tu_use_g, tu_prodtcl)");
}

void seed_salesmen(bool pg, const std::string& where, long n) {
  const std::string x = "((i * " + std::to_string(scramble_step(n)) + ") % " + std::to_string(n) + ")";
  std::string code;
  for (long place : {46656L, 1296L, 36L, 1L}) {
    if (!code.empty()) code += " || ";
    code += "substr('0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ', CAST((" + x + " / " + std::to_string(place) +
            ") % 36 + 1 AS integer), 1)";
  }
  run(pg, where,
      "DROP INDEX iqsn_u_code; INSERT INTO iq_salesman_name (iqsn_code, iqsn_name, iqsn_userlogin) SELECT " + code +
          ", 'Salesman ' || " + code + ", NULL FROM (" + numbers(pg, n) +
          ") s; CREATE UNIQUE INDEX iqsn_u_code ON iq_salesman_name (iqsn_code)");
}

void seed_reference(bool pg, const std::string& where) {
  const std::string tt = pg ? "'T' || lpad((i + 1)::text, 3, '0')" : "printf('T%03d', i + 1)";
  run(pg, where,
      "INSERT INTO tx_table SELECT " + tt + ", '1', 'WHERE', 0.0125, " +
          std::string(pg ? "DATE '2026-01-01'" : "'2026-01-01'") + ", 'Y', 'Tax table ' || " + tt + ", i + 1 FROM (" +
          numbers(pg, 200) +
          ") t; INSERT INTO ar_cycle SELECT i + 1, 'Cycle ' || (i + 1), NULL, "
          "NULL FROM (" +
          numbers(pg, 9) + ") c");
}

}  // namespace bench
