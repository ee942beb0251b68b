// The back end the settings choose: the one rule by which the SQL
// layer, the common library and the tools read A4GL_SQLTYPE. Owns that
// rule; never connects.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sql/backend_kind.h"

namespace rt::sql {

// The back end a value of A4GL_SQLTYPE names, the one rule of the
// programs and tools: PostgreSQL (through libpq and the standard PG*
// environment) for a value beginning with "pg" or "postgres" in any case
// ("pg", "PG", "pgsql", "postgres", "PostgreSQL"); the SQLite file
// LUNADESK_DB (default "lunadesk.db" in the working directory) for an
// empty value or one beginning with "sqlite" in any case; nullopt for any
// other value, which connecting refuses: a database is never opened on a
// back end the value does not name.
std::optional<Backend> backend_named(std::string_view a4gl_sqltype);
// The one line that refuses an A4GL_SQLTYPE that names no back end.
std::string unknown_backend_text(std::string_view a4gl_sqltype);

}  // namespace rt::sql
