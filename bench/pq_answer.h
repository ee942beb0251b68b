// The answer to what a libpq connection has just sent, awaited as the SQL
// layer's PostgreSQL back end awaits it: the socket polled without
// sleeping for up to 200 microseconds, then a blocking wait. The lower
// bounds use it so that they wait no worse than the layer does.
#pragma once

#include <libpq-fe.h>

#include <chrono>

namespace bench {

// The last result of what was sent (`sent` is what the PQsend... call
// returned); null when nothing was sent. The caller clears it.
inline PGresult* pq_answer(PGconn* c, int sent, bool poll = true) {
  if (sent != 1) return nullptr;
  PGresult* last = nullptr;
  for (;;) {
    if (poll) {
      const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
      while (PQisBusy(c) && PQconsumeInput(c) == 1 && std::chrono::steady_clock::now() < until) {}
    }
    PGresult* r = PQgetResult(c);
    if (!r) return last;
    PQclear(last);
    last = r;
  }
}

}  // namespace bench
