// The server's checkpoints and the sessions' waits during a run: see
// server_watch.h.
#include "server_watch.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace load {

double ServerFacts::checkpointing_seconds() const {
  double ms = 0;
  for (const Window& w : checkpointing) ms += w.to_ms - w.from_ms;
  return ms / 1000;
}

void ServerFacts::merge(const ServerFacts& f) {
  checkpoints_timed += f.checkpoints_timed;
  checkpoints_requested += f.checkpoints_requested;
  wal_mb += f.wal_mb;
  wal_files_added += f.wal_files_added;
  checkpointing.insert(checkpointing.end(), f.checkpointing.begin(), f.checkpointing.end());
  sync_ms.insert(sync_ms.end(), f.sync_ms.begin(), f.sync_ms.end());
  stalls.insert(stalls.end(), f.stalls.begin(), f.stalls.end());
  samples += f.samples;
  samples_checkpointing += f.samples_checkpointing;
  for (const auto& [k, v] : f.waits) waits[k] += v;
  for (const auto& [k, v] : f.waits_checkpointing) waits_checkpointing[k] += v;
}

ServerWatch::ServerWatch(const std::string& dir) {
  probe_ = ::open((dir + "/sync_probe").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  c_ = PQconnectdb("dbname=lunadesk");
  if (PQstatus(c_) != CONNECTION_OK) {
    std::fprintf(stderr, "the server watch cannot connect: %s", PQerrorMessage(c_));
    PQfinish(c_);
    c_ = nullptr;
  }
}

ServerWatch::~ServerWatch() {
  if (c_) PQfinish(c_);
  if (probe_ >= 0) ::close(probe_);
}

bool ServerWatch::checkpoint() {
  long timed = 0, requested = 0, now_timed = 0, now_requested = 0;
  if (!counts(&timed, &requested)) return false;
  PGresult* r = PQexec(c_, "CHECKPOINT");
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  if (!ok) std::fprintf(stderr, "CHECKPOINT failed: %s", PQerrorMessage(c_));
  PQclear(r);
  // The checkpointer counts its checkpoint a moment after it lets the
  // CHECKPOINT return: wait for that, or the run would count it.
  for (int i = 0; ok && i < 100 && counts(&now_timed, &now_requested) && now_requested == requested; ++i)
    ::usleep(20 * 1000);
  return ok;
}

bool ServerWatch::counts(long* timed, long* requested) {
  if (!c_) return false;
  PGresult* r = PQexec(c_, "SELECT checkpoints_timed, checkpoints_req FROM pg_stat_bgwriter");
  const bool ok = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1;
  if (ok) {
    *timed = std::atol(PQgetvalue(r, 0, 0));
    *requested = std::atol(PQgetvalue(r, 0, 1));
  }
  PQclear(r);
  return ok;
}

bool ServerWatch::wal(std::string* lsn, long* files, double* mb_since) {
  if (!c_) return false;
  const std::string since = lsn0_.empty() ? "pg_current_wal_lsn()" : "'" + lsn0_ + "'";
  PGresult* r = PQexec(c_, ("SELECT pg_current_wal_lsn(), (SELECT count(*) FROM pg_ls_waldir() WHERE name ~ "
                            "'^[0-9A-F]{24}$'), pg_wal_lsn_diff(pg_current_wal_lsn(), " +
                            since + ") / 1048576.0")
                               .c_str());
  const bool ok = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1;
  if (ok) {
    *lsn = PQgetvalue(r, 0, 0);
    *files = std::atol(PQgetvalue(r, 0, 1));
    *mb_since = std::atof(PQgetvalue(r, 0, 2));
  }
  PQclear(r);
  return ok;
}

void ServerWatch::begin() {
  facts_ = ServerFacts{};
  open_ = false;
  last_ms_ = now_ms();
  counts(&timed0_, &requested0_);
  double mb = 0;
  lsn0_.clear();
  wal(&lsn0_, &files0_, &mb);
}

void ServerWatch::time_sync() {
  if (probe_ < 0) return;
  char page[8192] = {};
  const double t0 = now_ms();
  if (::pwrite(probe_, page, sizeof page, 0) != static_cast<ssize_t>(sizeof page) || ::fdatasync(probe_) != 0) return;
  const double t1 = now_ms();
  facts_.sync_ms.push_back(t1 - t0);
  if (t1 - t0 > kStallMs) facts_.stalls.push_back(Window{t0, t1});
}

void ServerWatch::sample() {
  time_sync();
  if (!c_) return;
  PGresult* r = PQexec(c_,
                       "SELECT backend_type, coalesce(wait_event, 'CPU') FROM pg_stat_activity "
                       "WHERE backend_type = 'checkpointer' OR "
                       "(backend_type = 'client backend' AND state = 'active' AND pid <> pg_backend_pid())");
  if (PQresultStatus(r) != PGRES_TUPLES_OK) {
    PQclear(r);
    return;
  }
  const double t = now_ms();
  bool checkpointing = false;
  std::map<std::string, long> waits;
  for (int i = 0; i < PQntuples(r); ++i) {
    const std::string type = PQgetvalue(r, i, 0), event = PQgetvalue(r, i, 1);
    if (type == "checkpointer")
      checkpointing = event != "CheckpointerMain";
    else
      ++waits[event];
  }
  PQclear(r);
  ++facts_.samples;
  if (checkpointing) ++facts_.samples_checkpointing;
  for (const auto& [k, v] : waits) (checkpointing ? facts_.waits_checkpointing : facts_.waits)[k] += v;
  // A window runs from the last look that saw the checkpointer idle to the
  // first that sees it idle again: the checkpoint lies within.
  if (checkpointing && !open_) facts_.checkpointing.push_back(Window{last_ms_, t});
  if (checkpointing || open_) facts_.checkpointing.back().to_ms = t;
  open_ = checkpointing;
  last_ms_ = t;
}

ServerFacts ServerWatch::end() {
  long timed = timed0_, requested = requested0_;
  counts(&timed, &requested);
  std::string lsn;
  long files = files0_;
  if (!lsn0_.empty() && wal(&lsn, &files, &facts_.wal_mb)) facts_.wal_files_added = files - files0_;
  facts_.checkpoints_timed = timed - timed0_;
  facts_.checkpoints_requested = requested - requested0_;
  // The checkpointer also wakes for a moment between checkpoints (to take
  // the sessions' requests to sync files); without a checkpoint done in
  // the run those moments are no checkpoint.
  if (facts_.checkpoints() == 0 && !open_) {
    facts_.checkpointing.clear();
    for (const auto& [k, v] : facts_.waits_checkpointing) facts_.waits[k] += v;
    facts_.waits_checkpointing.clear();
    facts_.samples_checkpointing = 0;
  }
  return facts_;
}

}  // namespace load
