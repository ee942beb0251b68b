// The lower bounds on PostgreSQL: the clearing statements through libpq in
// one transaction, as a loop of DELETEs or as one DELETE (see
// lower_bound.h).
#include <libpq-fe.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <stdexcept>

#include "itemsclr.h"
#include "lower_bound.h"
#include "pq_answer.h"
#include "receivables.h"
#include "values/date.h"

namespace bench {
namespace {

constexpr int kBatch = 1000;

class Pg {
 public:
  Pg() : c_(PQconnectdb("dbname=lunadesk")) {
    if (PQstatus(c_) != CONNECTION_OK) throw std::runtime_error(std::string("cannot connect: ") + PQerrorMessage(c_));
  }
  ~Pg() { PQfinish(c_); }
  PGconn* get() const { return c_; }

  // From here on each answer is awaited as the back end awaits it
  // (pq_answer.h).
  void poll_answers() { poll_ = true; }

  // Runs a text as it stands; returns the rows it touched. With
  // BENCH_STEPS set in the environment each statement's time goes to the
  // standard error stream.
  long raw(const std::string& text) {
    const auto t0 = std::chrono::steady_clock::now();
    const long rows = finish(answer(PQsendQuery(c_, text.c_str())), text);
    if (std::getenv("BENCH_STEPS"))
      std::fprintf(stderr, "%9.3f s  %.70s\n",
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), text.c_str());
    return rows;
  }
  long exec(std::string_view dialect_text) { return raw(translated(dialect_text, true)); }

  // The prepared DELETE "del".
  long remove(const char* const* v) {
    return finish(answer(PQsendQueryPrepared(c_, "del", 4, v, nullptr, nullptr, 0)), "DELETE");
  }

  // The matched invoices of cursor c_match_items fetched in batches, and
  // the prepared DELETE "del" for each, all in one pipeline that never
  // runs dry: the FETCH of the next batch goes out ahead of the DELETEs of
  // the batch in hand, so its rows come back at once while the server
  // works through those DELETEs, and the next DELETEs are queued before
  // the server has finished them. The server waits for this client only
  // for the first batch; no answer is waited for one by one. (The cursor's
  // rows are fixed at its DECLARE, and the DELETEs touch none of the table
  // it reads.) Counts the invoices into `matched` and returns the open
  // items deleted.
  long remove_streamed(long* matched) {
    if (PQenterPipelineMode(c_) != 1) throw std::runtime_error("cannot enter pipeline mode");
    enum class Sent { Fetch, Delete, Sync };
    std::deque<Sent> queue;
    const std::string fetch = "FETCH FORWARD " + std::to_string(kBatch) + " FROM c_match_items";
    auto send_fetch = [&] {
      if (PQsendQueryParams(c_, fetch.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) != 1)
        throw std::runtime_error(std::string("FETCH: ") + PQerrorMessage(c_));
      queue.push_back(Sent::Fetch);
    };
    auto send_sync = [&] {
      if (PQpipelineSync(c_) != 1) throw std::runtime_error(std::string("sync: ") + PQerrorMessage(c_));
      queue.push_back(Sent::Sync);
    };
    // Reads the answers in the order they were sent, up to the next
    // FETCH's rows (null when none is queued).
    long deleted = 0;
    auto read_to_fetch = [&]() -> PGresult* {
      while (!queue.empty()) {
        const Sent what = queue.front();
        queue.pop_front();
        PGresult* r = PQgetResult(c_);
        if (what == Sent::Sync) {
          const bool synced = PQresultStatus(r) == PGRES_PIPELINE_SYNC;
          PQclear(r);
          if (!synced) throw std::runtime_error("the pipeline lost its sync point");
          continue;
        }
        while (PGresult* end = PQgetResult(c_)) PQclear(end);
        if (what == Sent::Delete) {
          deleted += finish(r, "DELETE");
          continue;
        }
        if (PQresultStatus(r) != PGRES_TUPLES_OK) finish(r, "FETCH");
        return r;
      }
      return nullptr;
    };
    send_fetch();
    send_sync();
    *matched = 0;
    while (PGresult* rows = read_to_fetch()) {
      const int n = PQntuples(rows);
      *matched += n;
      if (n == kBatch) send_fetch();
      for (int i = 0; i < n; ++i) {
        const char* v[4] = {PQgetvalue(rows, i, 0), PQgetvalue(rows, i, 1), PQgetvalue(rows, i, 0),
                            PQgetvalue(rows, i, 1)};
        if (PQsendQueryPrepared(c_, "del", 4, v, nullptr, nullptr, 0) != 1)
          throw std::runtime_error(std::string("DELETE: ") + PQerrorMessage(c_));
        queue.push_back(Sent::Delete);
      }
      send_sync();
      PQclear(rows);
    }
    if (PQexitPipelineMode(c_) != 1) throw std::runtime_error("the pipeline did not end");
    return deleted;
  }

  // With BENCH_PLANS set in the environment, the plan of a text on the
  // standard error stream.
  void plan(const std::string& text) {
    if (!std::getenv("BENCH_PLANS")) return;
    PGresult* r = answer(PQsendQuery(c_, ("EXPLAIN " + text).c_str()));
    std::fprintf(stderr, "-- %.100s\n", text.c_str());
    for (int i = 0; i < PQntuples(r); ++i) std::fprintf(stderr, "   %s\n", PQgetvalue(r, i, 0));
    finish(r, "EXPLAIN");
  }

  // The last result of what was just sent.
  PGresult* answer(int sent) { return pq_answer(c_, sent, poll_); }

  static long finish(PGresult* r, std::string_view what) {
    const ExecStatusType st = PQresultStatus(r);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
      const std::string msg = PQresultErrorMessage(r);
      PQclear(r);
      throw std::runtime_error(std::string(what) + ": " + msg);
    }
    const char* n = PQcmdTuples(r);
    const long rows = n && *n ? std::atol(n) : 0;
    PQclear(r);
    return rows;
  }

 private:
  PGconn* c_;
  bool poll_ = false;
};

// The set-based DELETE: every gathered open item of every invoice whose
// signed amounts sum to zero, in one statement.
constexpr const char* kSetDelete =
    "DELETE FROM ar_openitem WHERE (aroi_customer, aroi_invoice_nbr, aroi_seq_nbr) IN (SELECT t.ar_customer, "
    "t.ar_invoice_nbr, t.ar_seq_nbr FROM t_cust_items t WHERE (t.ar_customer, t.ar_invoice_nbr) IN (SELECT "
    "ar_customer, ar_invoice_nbr FROM t_cust_items GROUP BY 1, 2 HAVING SUM(ar_amount) = 0))";

// The session as the PostgreSQL back end sets it up for a program, and
// what it adds once an index is made on a temporary table (pg_backend.cpp).
constexpr const char* kTunedSession = "SET temp_buffers TO '256MB'; SET work_mem TO '64MB'";
// The set-based DELETE is fastest without the ordering and statistics: on
// fresh statistics the planner expects only a few invoices to net to zero
// and looks each one up through the index; without, it joins by hashing.
constexpr const char* kTunedInvoices = "CLUSTER t_cust_items USING ti_items_inv; ANALYZE t_cust_items";
constexpr const char* kTunedItems = "ANALYZE t_cust_items";
constexpr const char* kTunedTypes = "CLUSTER t_neg_types USING ti_types_code; ANALYZE t_neg_types";

}  // namespace

RunResult lower_bound_pg(PgBound how) {
  Pg pg;
  const bool tuned = how != PgBound::LoopPlain;
  const bool ordered = how == PgBound::Loop;
  pg.raw("SET DateStyle TO ISO, MDY; SET client_min_messages TO warning");
  if (tuned) pg.raw(kTunedSession);
  if (tuned) pg.poll_answers();

  std::string why;
  const std::optional<ClearPlan> plan = plan_clearing(*rt::Date::parse_iso(kEndDateIso), kEndDateCondition, &why);
  if (!plan) throw std::runtime_error(why);
  const ClearStatements& s = clearing_statements();

  RunResult r;
  const auto t0 = std::chrono::steady_clock::now();
  pg.raw("BEGIN");
  pg.exec(plan->items_sql);
  pg.exec(s.index_invoices);
  if (ordered) pg.raw(kTunedInvoices);
  pg.exec(s.index_items);
  if (ordered) pg.raw(kTunedItems);
  pg.exec(s.neg_types);
  pg.exec(s.index_types);
  if (ordered) pg.raw(kTunedTypes);
  pg.plan(translated(s.sign, true));
  pg.exec(s.sign);
  if (how == PgBound::SetBased) {
    r.deleted = pg.raw(kSetDelete);
  } else {
    Pg::finish(PQprepare(pg.get(), "del", translated(s.remove, true).c_str(), 4, nullptr), "prepare DELETE");
    pg.plan(translated(s.match, true));
    // The plan the DELETE keeps once the server has settled on one (after
    // five runs of a prepared statement), for the first matched invoice.
    if (std::getenv("BENCH_PLANS")) {
      PGresult* first = pg.answer(PQsendQuery(pg.get(), (translated(s.match, true) + " LIMIT 1").c_str()));
      const std::string key = std::string(PQgetvalue(first, 0, 0)) + ", " + PQgetvalue(first, 0, 1);
      Pg::finish(first, "the first matched invoice");
      for (int i = 0; i < 6; ++i) pg.plan("EXECUTE del (" + key + ", " + key + ")");
    }
    pg.raw("DECLARE c_match_items NO SCROLL CURSOR FOR " + translated(s.match, true));
    if (ordered) {
      r.deleted = pg.remove_streamed(&r.matched);
    } else {
      // The plain session: each DELETE's answer awaited before the next.
      r.matched = 0;
      const std::string fetch = "FETCH FORWARD " + std::to_string(kBatch) + " FROM c_match_items";
      for (;;) {
        PGresult* rows = pg.answer(PQsendQuery(pg.get(), fetch.c_str()));
        if (PQresultStatus(rows) != PGRES_TUPLES_OK) Pg::finish(rows, "FETCH");
        const int n = PQntuples(rows);
        r.matched += n;
        for (int i = 0; i < n; ++i) {
          const char* v[4] = {PQgetvalue(rows, i, 0), PQgetvalue(rows, i, 1), PQgetvalue(rows, i, 0),
                              PQgetvalue(rows, i, 1)};
          r.deleted += pg.remove(v);
        }
        PQclear(rows);
        if (n < kBatch) break;
      }
    }
    pg.raw("CLOSE c_match_items");
  }
  pg.exec(plan->update_sql);
  pg.raw("COMMIT");
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return r;
}

}  // namespace bench
