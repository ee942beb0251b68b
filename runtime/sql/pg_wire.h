// The pieces of the PostgreSQL back end that talk libpq, shared by its
// files (pg_backend.cpp, pg_cursor.cpp): opening a session with the layer's
// settings, running a statement and awaiting its answer, turning an error
// into the layer's number, and storing a fetched row into variables.
//
// Knows nothing of transactions, savepoints or cursors.
#pragma once

#include <libpq-fe.h>

#include <memory>
#include <string>

#include "sql/backend.h"

namespace rt::sql::detail::pg {

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// A session on database `dbname` of the server that the PG* environment
// names, with the layer's settings; null with a message naming database
// and server when it cannot be had.
PGconn* open_session(const std::string& dbname, std::string* error);

// The last result of what was sent (`sent` is what the PQsend... call
// returned), awaited as every answer is (see pg_backend.cpp); null when
// nothing was sent.
Result collect(PGconn* c, int sent);
// The results of one query sent, as PQexec would return them: the last.
Result last_result(PGconn* c);
Result pq_exec(PGconn* c, const char* sql);
Result pq_exec_params(PGconn* c, const char* sql, int n, const char* const* values);

Outcome error_of(PGconn* conn, const PGresult* res, StmtKind kind);
// Row `row` of `res` into the variables, converted to their types.
Outcome store_row(const PGresult* res, int row, const Into& into);

}  // namespace rt::sql::detail::pg
