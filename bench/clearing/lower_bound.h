// The lower bound of the clearing run: the program's own statements
// (translated by the SQL layer's translator, so that the back end receives
// exactly the texts the program sends) issued straight through the back
// end's C API in one transaction, without the SQL layer around them.
//
// Each function connects, runs once, and returns what it measured; the
// caller runs it in a process of its own.
#pragma once

#include <string>
#include <string_view>

namespace bench {

struct RunResult {
  double seconds = 0;  // from the first statement to the commit (and, on
                       // the embedded back end, the statistics refresh)
  long matched = -1;   // invoices that netted to zero (-1: not counted)
  long deleted = 0;    // open items deleted
};

// sqlite3, with the SQL layer's exact aggregates registered: the netting
// must be exact here too.
RunResult lower_bound_sqlite(const std::string& path);

enum class PgBound {
  Loop,       // one DELETE per matched invoice, in a session set up as the
              // PostgreSQL back end sets it up (temporary tables made with
              // its storage, temporary buffers, ordered temporary tables
              // with fresh statistics once indexed, answers polled for
              // before blocking), the fetches and DELETEs streamed in one
              // pipeline that keeps the server busy throughout
  LoopPlain,  // the same loop in a default session, the statements alone
  SetBased,   // one DELETE joining the matched invoices, in the tuned
              // session but on tables neither ordered nor analysed (its
              // fastest plan)
};
RunResult lower_bound_pg(PgBound how);

// A statement of the programs' dialect as the SQL layer hands it to the
// back end.
std::string translated(std::string_view text, bool pg);

}  // namespace bench
