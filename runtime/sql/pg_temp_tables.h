// The PostgreSQL back end's policy for temporary tables, which programs of
// this family fill with many rows, index, then read through joins and
// update in place.
//
// A temporary table made from a query (INTO TEMP) leaves half of each
// page free (fillfactor 50): programs gather rows into such a table and
// then update them in place (signs, flags), and an update that finds room
// on its page and changes no indexed column adds no index entries and
// keeps the order the table was given. A temporary table gets fresh
// statistics (ANALYZE) once an index is made on it, since autovacuum never
// looks at temporary tables; the first index made on it also orders the
// table (CLUSTER), so that the rows of one index key lie on a few pages
// instead of all over the table: a lookup through the index, repeated for
// each row of a join, then reads a few pages instead of dozens. Rows of a
// table read without ORDER BY come in no defined order, here as anywhere.
//
// Knows which tables of the session are temporary and which of them are
// ordered; runs nothing itself: the back end runs what it is told to.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sql/translate.h"

namespace rt::sql::detail::pg {

class TempTables {
 public:
  // Written after the name of a table made from a query
  // (TranslateOptions::temp_table_storage).
  static constexpr std::string_view kStorage = " WITH (fillfactor=50)";

  // Takes note of what a statement that ran made or dropped, and returns
  // the statements to run after it (their failure only leaves the table
  // as it was).
  std::vector<std::string> after(const Translation& tr);
  // Whether `tr` names a temporary table of this session.
  bool named_in(const Translation& tr) const;
  bool holds(const std::string& table) const { return temp_.count(table) != 0; }

 private:
  std::set<std::string, std::less<>> temp_;
  std::set<std::string, std::less<>> clustered_;  // ordered by an index
};

}  // namespace rt::sql::detail::pg
