// PostgreSQL's SQLSTATEs as the system's error numbers (core/errors.h).
// The server's own text always travels with the number for the report.
#pragma once

#include <string_view>

#include "core/errors.h"
#include "sql/translate.h"

namespace rt::sql {

// PostgreSQL's SQLSTATE (empty when the connection itself failed) and
// primary message.
int pg_error_number(std::string_view sqlstate, std::string_view message, StmtKind kind);

}  // namespace rt::sql
