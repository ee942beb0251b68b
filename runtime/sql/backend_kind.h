// The two database back ends: the one the SQL layer is connected to, and
// the one the translator writes a statement for.
#pragma once

namespace rt::sql {

enum class Backend { Sqlite, Postgres };

}  // namespace rt::sql
