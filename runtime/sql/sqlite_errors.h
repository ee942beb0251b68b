// SQLite's result codes as the system's error numbers (core/errors.h).
// The back end's own text always travels with the number for the report.
#pragma once

#include <string_view>

#include "core/errors.h"
#include "sql/translate.h"

namespace rt::sql {

// SQLite's extended result code and message.
int sqlite_error_number(int extended_code, std::string_view message, StmtKind kind);

}  // namespace rt::sql
