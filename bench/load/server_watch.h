// What the PostgreSQL server did in the background during a run of the
// load benchmark: its checkpoints, and what the sessions waited for.
//
// A checkpoint writes every page changed since the last one, and on a
// server with durable commits the commits of its time wait for the disk
// behind those writes (and write whole pages to the log the first time a
// page changes after it starts). PostgreSQL starts one every
// checkpoint_timeout (300 s at its defaults), so whether a run of a minute
// or two contains one depends on where it falls in that cycle. The
// benchmark asks for a checkpoint before each run, so that every run
// starts at the same point of the cycle, and this watch says whether one
// fell in the run all the same, and when.
//
// A commit on a server with durable commits returns once the disk has
// synced its log, so the watch also times, every look, a sync of a small
// write of its own to a file beside the server's data (the same disk): a
// stall of the disk (the machine's other writers make it flush their data
// first) shows there as well, and the saves slow enough to stand out are
// matched against those stalls.
//
// The watch reads the server's own statistics on a connection of its own:
// the count of checkpoints done before and after the run, and, every
// sample, whether the checkpointer is at work (it waits on anything but
// its idle latch) and what each active session waits for. It never changes
// a setting of the server.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "operator.h"

struct pg_conn;

namespace load {

struct Window {
  double from_ms = 0, to_ms = 0;  // now_ms() (operator.h)
};

inline constexpr double kStallMs = 30;

struct ServerFacts {
  long checkpoints_timed = 0, checkpoints_requested = 0;  // completed during the run
  std::vector<Window> checkpointing;                      // the checkpointer at work
  long samples = 0, samples_checkpointing = 0;
  // Active sessions waiting on each event, summed over samples, apart for
  // the samples taken while the checkpointer was at work. "CPU" when a
  // session waits on nothing.
  std::map<std::string, long> waits, waits_checkpointing;
  // The log written in the run, and the change in the count of its 16 MB
  // segment files: a new one is written whole and synced before use
  // (while the log's write lock is held), an old one is recycled at a
  // checkpoint instead.
  double wal_mb = 0;
  long wal_files_added = 0;
  // The watch's own syncs: how long each took, and when those over
  // kStallMs ran.
  std::vector<double> sync_ms;
  std::vector<Window> stalls;

  long checkpoints() const { return checkpoints_timed + checkpoints_requested; }
  double checkpointing_seconds() const;
  void merge(const ServerFacts& f);
};

class ServerWatch {
 public:
  // On the database the environment names; does nothing when it cannot
  // connect (the reason is on the error output). The syncs are timed on
  // a file in `dir`.
  explicit ServerWatch(const std::string& dir);
  ~ServerWatch();
  ServerWatch(const ServerWatch&) = delete;
  ServerWatch& operator=(const ServerWatch&) = delete;

  // A checkpoint now, waited for: the run then starts a whole
  // checkpoint_timeout before the next timed one.
  bool checkpoint();
  void begin();   // the run starts: the counts so far
  void sample();  // one look
  ServerFacts end();

 private:
  bool counts(long* timed, long* requested);
  bool wal(std::string* lsn, long* files, double* mb_since);
  void time_sync();
  int probe_ = -1;  // the file the syncs are timed on
  pg_conn* c_ = nullptr;
  ServerFacts facts_;
  long timed0_ = 0, requested0_ = 0;
  bool open_ = false;   // a window of checkpointing is open
  double last_ms_ = 0;  // the last look
  std::string lsn0_;
  long files0_ = 0;
};

}  // namespace load
