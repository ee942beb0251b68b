// Functions that the embedded back end registers on each of its SQLite
// connections so that the dialect means the same there as on PostgreSQL:
//   sum(x), total(x), avg(x)  exact decimal arithmetic instead of binary
//                             floating point (0.10 + 0.20 - 0.30 is 0)
//   glob(pattern, x)          the MATCHES matcher (pattern.h): the
//                             translator writes x MATCHES p as x GLOB p
#pragma once

struct sqlite3;

namespace rt::sql::detail {

// Returns an SQLite result code.
int register_sqlite_functions(sqlite3* db);

}  // namespace rt::sql::detail
