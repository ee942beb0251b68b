// The rule by which A4GL_SQLTYPE names a back end (backend_choice.h).
#include "sql/backend_choice.h"

#include "values/text.h"

namespace rt::sql {

std::optional<Backend> backend_named(std::string_view a4gl_sqltype) {
  const std::string v = rt::text::downshift(a4gl_sqltype);
  if (v.starts_with("pg") || v.starts_with("postgres")) return Backend::Postgres;
  if (v.empty() || v.starts_with("sqlite")) return Backend::Sqlite;
  return std::nullopt;
}

std::string unknown_backend_text(std::string_view a4gl_sqltype) {
  return "A4GL_SQLTYPE \"" + std::string(a4gl_sqltype) +
         "\" names no database back end: set it to pg for PostgreSQL, or leave it unset for the SQLite file";
}

}  // namespace rt::sql
