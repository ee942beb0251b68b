// The PostgreSQL back end's wire: see pg_wire.h.
#include "sql/pg_wire.h"

#include <poll.h>
#include <sched.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>

#include "core/errors.h"
#include "core/host.h"
#include "core/runtime.h"
#include "sql/convert.h"
#include "sql/pattern.h"
#include "sql/pg_errors.h"
#include "values/text.h"

namespace rt::sql::detail::pg {
namespace {

// Type OIDs of the built-in types the layer reads specially.
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700, kFloat8 = 701, kNumeric = 1700,
              kDate = 1082;

// How long to poll for an answer before blocking. Never on a single
// processor: there the polling would only keep a server on the same
// machine from running.
std::chrono::microseconds spin_budget() {
  static const bool many_cpus = [] {
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    return sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) >= 2;
  }();
  return std::chrono::microseconds(many_cpus ? connection_settings().pg_spin_us : 0);
}

// While a statement that may be waiting for a lock has not answered, the
// layer is told every kWaitStepMs, and a wait it gives up is cancelled.
constexpr int kWaitStepMs = 50;

void watch_wait(PGconn* c, LockWaits* waits) {
  const auto started = std::chrono::steady_clock::now();
  bool cancelled = false;
  while (PQisBusy(c)) {
    pollfd p{PQsocket(c), POLLIN, 0};
    const int r = ::poll(&p, 1, kWaitStepMs);
    if (r < 0 && errno != EINTR) return;
    if (r > 0 && PQconsumeInput(c) != 1) return;  // the read that follows reports it
    if (cancelled || !PQisBusy(c)) continue;
    const auto waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    if (waits->tell(static_cast<long>(waited.count()))) {
      // The statement then answers with its error.
      Canceller k(PQgetCancel(c));
      cancel(k.get());
      cancelled = true;
    }
  }
}

// Polling pays only while answers come within the budget. On a machine
// with more work than processors (many programs and the server on a few
// cores) they come later, and every poll only takes a processor from the
// server that the program waits for, with one read of the socket after
// another. So a poll that runs out of budget turns polling off for this
// thread: the next answers are awaited blocking, and the first of them
// that comes within the budget turns it on again.
thread_local bool tl_polling = true;

// Blocks until a whole result is in (or the connection fails: the read
// that follows reports it).
void block_for_result(PGconn* c) {
  while (PQisBusy(c)) {
    pollfd p{PQsocket(c), POLLIN, 0};
    const int r = ::poll(&p, 1, -1);
    if (r < 0 && errno != EINTR) return;
    if (r > 0 && PQconsumeInput(c) != 1) return;
  }
}

// Reads what the server sends until a whole result is in or the budget is
// spent (or the connection fails: the blocking read then reports it).
// Where the session's policy watches waits for locks, an answer still
// outstanding is then awaited in steps (watch_wait).
void await_result(PGconn* c, LockWaits* waits) {
  const auto budget = spin_budget();
  if (budget.count() <= 0 || !PQisBusy(c)) {
    if (waits && waits->watched() && PQisBusy(c)) watch_wait(c, waits);
    return;
  }
  const auto started = std::chrono::steady_clock::now();
  if (tl_polling) {
    const auto until = started + budget;
    while (PQisBusy(c) && PQconsumeInput(c) == 1) {
      if (std::chrono::steady_clock::now() >= until) break;
    }
  }
  if (waits && waits->watched() && PQisBusy(c))
    watch_wait(c, waits);
  else
    block_for_result(c);
  tl_polling = std::chrono::steady_clock::now() - started < budget;
}

}  // namespace

// The results of one query sent, as PQexec would return them: the last.
Result last_result(PGconn* c, LockWaits* waits) {
  Result last;
  for (;;) {
    await_result(c, waits);
    PGresult* r = PQgetResult(c);
    if (!r) break;
    last.reset(r);
  }
  return last;
}

Result collect(PGconn* c, LockWaits* waits, int sent) { return sent == 1 ? last_result(c, waits) : Result(nullptr); }

// PQexec, PQexecParams, PQexecPrepared and PQprepare, waiting as above.
Result pq_exec(PGconn* c, LockWaits* waits, const char* sql) { return collect(c, waits, PQsendQuery(c, sql)); }
Result pq_exec_params(PGconn* c, LockWaits* waits, const char* sql, int n, const char* const* values) {
  return collect(c, waits, PQsendQueryParams(c, sql, n, nullptr, values, nullptr, nullptr, 0));
}

Result pq_exec_prepared(PGconn* c, LockWaits* waits, const char* name, int n, const char* const* values) {
  return collect(c, waits, PQsendQueryPrepared(c, name, n, values, nullptr, nullptr, 0));
}
Result pq_prepare(PGconn* c, LockWaits* waits, const char* name, const char* sql, int n) {
  return collect(c, waits, PQsendPrepare(c, name, sql, n, nullptr));
}

bool command_ok(const Result& r) { return r && PQresultStatus(r.get()) == PGRES_COMMAND_OK; }

bool answered(const Result& r) {
  const ExecStatusType st = PQresultStatus(r.get());
  return r && (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK);
}

long rows_of(const PGresult* r) {
  const char* tuples = r ? PQcmdTuples(const_cast<PGresult*>(r)) : nullptr;
  return tuples && *tuples ? std::atol(tuples) : 0;
}

void cancel(PGcancel* c) {
  char why[256];
  if (c) PQcancel(c, why, sizeof why);
}

bool in_one_trip(PGconn* c, LockWaits* waits, const std::vector<Query>& queries, std::vector<Result>* results) {
  results->clear();
  results->resize(queries.size());
  if (PQenterPipelineMode(c) != 1) return false;
  std::size_t sent = 0;
  for (; sent < queries.size(); ++sent) {
    const Query& q = queries[sent];
    const int ok = q.prepared ? PQsendQueryPrepared(c, q.prepared, q.n, q.values, nullptr, nullptr, 0)
                              : PQsendQueryParams(c, q.sql, q.n, nullptr, q.values, nullptr, nullptr, 0);
    if (ok != 1) break;
  }
  const bool synced = PQpipelineSync(c) == 1;
  for (std::size_t q = 0; q < sent; ++q) (*results)[q] = last_result(c, waits);
  end_pipeline(c, synced);
  return true;
}

void end_pipeline(PGconn* c, bool synced) {
  while (PGresult* r = synced ? PQgetResult(c) : nullptr) {
    const bool sync = PQresultStatus(r) == PGRES_PIPELINE_SYNC;
    PQclear(r);
    if (sync) break;
  }
  PQexitPipelineMode(c);
}

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

Outcome Bound::bind(const Translation& tr, const Params& params) {
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

Outcome RowChanges::send(PGconn* c, const char* name, int n, const char* const* values, StmtKind kind) {
  if (queued_.empty() && PQpipelineStatus(c) == PQ_PIPELINE_OFF && PQenterPipelineMode(c) != 1) {
    return error_of(c, nullptr, kind);
  }
  // The first row change of a run goes to the server at once, so that it
  // starts; the rest in bunches of kFlushEvery: a flush of each would
  // cost a write here and, on the server, a wake-up and a read for every
  // one, which on a busy machine costs more than the statements. The sync
  // point of drain() sends what is left.
  constexpr std::size_t kFlushEvery = 64;
  const bool flush = queued_.size() % kFlushEvery == 0;
  if (PQsendQueryPrepared(c, name, n, values, nullptr, nullptr, 0) != 1 || (flush && PQflush(c) != 0)) {
    Outcome o = error_of(c, nullptr, kind);
    drain(c);
    return o;
  }
  queued_.push_back(kind);
  return {};
}

void RowChanges::drain(PGconn* c) {
  if (queued_.empty()) return;
  const bool synced = PQpipelineSync(c) == 1;
  for (const StmtKind kind : queued_) {
    const long at = settled_.sent++;
    // One statement's result, then the null that ends its results.
    Result res(PQgetResult(c));
    if (res) {
      while (PGresult* more = PQgetResult(c)) PQclear(more);
    }
    const ExecStatusType st = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
    if (st == PGRES_COMMAND_OK) {
      settled_.last_rows = rows_of(res.get());
      settled_.total_rows += settled_.last_rows;
    } else if (st != PGRES_PIPELINE_ABORTED && held_.ok()) {
      held_ = error_of(c, res.get(), kind);
      settled_.failed = at;
    }
  }
  queued_.clear();
  end_pipeline(c, synced);
}

Outcome RowChanges::settle(PGconn* c, Settled* settled) {
  drain(c);
  *settled = settled_;
  Outcome o = held_;
  settled_ = {};
  held_ = {};
  return o;
}

namespace {
void ignore_notice(void*, const char*) {}

void log_notice(void*, const char* message) {
  std::string_view m(message ? message : "");
  while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.remove_suffix(1);
  rt::errlog(std::string("Database server: ") + std::string(m));
}

}  // namespace

// date_in(x, f): text read as a date as the runtime reads one typed in the
// DBDATE form f (values/date.h: any one separator that is no letter or
// digit, or the digits alone, a 2-digit year by the century window) or as
// ISO yyyy-mm-dd; text that is no date is 22007 (-1218). The server's own
// date input would take forms the runtime does not ("Jan 5 2026").
constexpr const char* kDateIn =
    "CREATE FUNCTION pg_temp.date_in(t text, f text) RETURNS date LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $f$ "
    "DECLARE s text := btrim(t, ' '); o text := regexp_replace(upper(f), '[^MDY]', '', 'g'); p text[]; "
    "n int; y int; m int; d int; pos int := 1; "
    "BEGIN IF t IS NULL THEN RETURN NULL; END IF; "
    "IF s ~ '^[0-9]+$' THEN n := CASE length(s) WHEN 8 THEN 4 WHEN 6 THEN 2 ELSE 0 END; "
    "  IF n > 0 THEN p := ARRAY[]::text[]; FOR i IN 1..3 LOOP "
    "    p := p || substr(s, pos, CASE substr(o, i, 1) WHEN 'Y' THEN n ELSE 2 END); "
    "    pos := pos + CASE substr(o, i, 1) WHEN 'Y' THEN n ELSE 2 END; END LOOP; END IF; "
    "ELSE p := regexp_match(s, '^([0-9]+)[\\x01-\\x2F\\x3A-\\x40\\x5B-\\x60\\x7B-\\x7F]([0-9]+)"
    "[\\x01-\\x2F\\x3A-\\x40\\x5B-\\x60\\x7B-\\x7F]([0-9]+)$'); END IF; "
    "IF p IS NOT NULL THEN FOR i IN 1..3 LOOP "
    "  IF length(p[i]) > (CASE substr(o, i, 1) WHEN 'Y' THEN 4 ELSE 2 END) THEN p := NULL; EXIT; END IF; "
    "  CASE substr(o, i, 1) WHEN 'M' THEN m := p[i]::int; WHEN 'D' THEN d := p[i]::int; "
    "  ELSE y := p[i]::int; IF length(p[i]) <= 2 THEN y := y + CASE WHEN y < 50 THEN 2000 ELSE 1900 END; END IF; "
    "  END CASE; END LOOP; END IF; "
    "IF p IS NULL AND length(t) = 10 AND t ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$' THEN "
    "  y := substr(t, 1, 4)::int; m := substr(t, 6, 2)::int; d := substr(t, 9, 2)::int; p := ARRAY[t]; END IF; "
    "IF p IS NOT NULL AND y BETWEEN 1 AND 9999 AND m BETWEEN 1 AND 12 AND d >= 1 "
    "   AND d <= extract(day FROM make_date(y, m, 1) + interval '1 month - 1 day') THEN "
    "  RETURN make_date(y, m, d); END IF; "
    "RAISE EXCEPTION USING ERRCODE = '22007', MESSAGE = 'invalid input syntax for type date: \"' || t || '\"'; "
    "END $f$";

// The session's own functions. The server's upper() and lower() fold what
// its locale knows (in the C locale, ASCII letters only); these fold as
// values/text.h does. Text of ASCII letters only takes the short path.
// And date_in() above.
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
    out += std::string(out.empty() ? "" : "; ") + "CREATE FUNCTION pg_temp." + (up ? "upshift" : "downshift") +
           "(text) RETURNS text LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $f$ SELECT CASE WHEN octet_length($1) = "
           "char_length($1) THEN translate($1, '" +
           ascii_from + "', '" + ascii_to + "') ELSE translate($1, " + quote_literal(from) + ", " + quote_literal(to) +
           ") END $f$";
  }
  // dec_fit(x): a sum, difference or product of decimals with the places
  // that fit 38 digits beside the digits before the point, rounded half
  // away from zero (one place fewer when rounding carries into a new
  // digit); past 38 digits before the point, numeric field overflow.
  auto whole = [](const std::string& v) {
    return "CASE WHEN abs(" + v + ") < 1 THEN 0 ELSE length(trunc(abs(" + v + "))::text) END";
  };
  auto fit = [&](const std::string& v) {
    return "round(" + v + ", greatest(0, least(scale(" + v + "), 38 - " + whole(v) + ")))";
  };
  out +=
      "; CREATE FUNCTION pg_temp.dec_fit(numeric) RETURNS numeric LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $f$ "
      "SELECT CASE WHEN abs($1) >= 1e38 THEN $1::numeric(38,0) ELSE " +
      fit(fit("$1")) + " END $f$";
  return out + "; " + kDateIn;
}

Session open_session(const std::string& dbname, std::string* error, bool log_warnings, std::string_view extra_setup,
                     bool with_case_functions) {
  const char* keys[] = {"dbname", "application_name", nullptr};
  const char* values[] = {dbname.c_str(), "lunadesk", nullptr};
  Session session(PQconnectdbParams(keys, values, 0));
  PGconn* c = session.get();
  if (!c || PQstatus(c) != CONNECTION_OK) {
    // libpq's message may run over several lines (one per address
    // tried): the reason is told in one.
    std::string msg;
    for (const char ch : std::string_view(c ? PQerrorMessage(c) : "out of memory")) {
      const bool blank = ch == '\n' || ch == ' ' || ch == '\t';
      if (!blank)
        msg += ch;
      else if (!msg.empty() && msg.back() != ' ')
        msg += ' ';
    }
    while (!msg.empty() && msg.back() == ' ') msg.pop_back();
    const char* host = c ? PQhost(c) : nullptr;
    const char* port = c ? PQport(c) : nullptr;
    *error = "cannot connect to database '" + dbname + "' on PostgreSQL server " +
             (host && *host ? host : "(default)") + (port && *port ? std::string(" port ") + port : std::string()) +
             ": " + msg;
    return nullptr;
  }
  PQsetNoticeProcessor(c, log_warnings ? log_notice : ignore_notice, nullptr);
  // Text constants (criteria among them) must be read as the translator
  // writes them, whatever the server, the database or PGOPTIONS say: a
  // session that keeps the old reading of backslashes is not used. The
  // settings and that check go in one round trip.
  const std::string setup =
      "SET DateStyle TO ISO, MDY; SET client_min_messages TO warning; SET temp_buffers TO '256MB'; "
      "SET work_mem TO '64MB'; SET client_encoding TO 'UTF8'; " +
      std::string(kLiteralSettings) + std::string(extra_setup) + "SET lock_timeout TO " +
      std::to_string(lock_timeout_ms()) + (with_case_functions ? "; " + case_functions() : std::string()) +
      "; SELECT current_setting('standard_conforming_strings'), current_setting('backslash_quote')";
  Result res = pq_exec(c, nullptr, setup.c_str());
  if (PQresultStatus(res.get()) != PGRES_TUPLES_OK) {
    *error = "cannot set up the session on database '" + dbname + "': " + PQerrorMessage(c);
    return nullptr;
  }
  if (PQntuples(res.get()) != 1 || std::string_view(PQgetvalue(res.get(), 0, 0)) != "on" ||
      std::string_view(PQgetvalue(res.get(), 0, 1)) != "off") {
    *error = "the session on database '" + dbname +
             "' does not read text constants the standard way (standard_conforming_strings on, backslash_quote "
             "off) and cannot be made to; nothing was run";
    return nullptr;
  }
  return session;
}

}  // namespace rt::sql::detail::pg
