// The temporary-table policy of the PostgreSQL back end: see
// pg_temp_tables.h.
#include "sql/pg_temp_tables.h"

namespace rt::sql::detail::pg {

std::vector<std::string> TempTables::after(const Translation& tr) {
  std::vector<std::string> run;
  if (tr.temp && !tr.table.empty()) {
    temp_.insert(tr.table);
    clustered_.erase(tr.table);
  }
  if (tr.kind == StmtKind::DropTable) {
    temp_.erase(tr.table);
    clustered_.erase(tr.table);
  }
  if (tr.kind == StmtKind::CreateIndex && holds(tr.table)) {
    // The table and the index name are lower-case names of the statement:
    // identifiers. A failing CLUSTER (a cursor of this session still reads
    // the table) only leaves the order as it was.
    if (!tr.index.empty() && clustered_.insert(tr.table).second) {
      run.push_back("CLUSTER " + tr.table + " USING " + tr.index);
    }
    run.push_back("ANALYZE " + tr.table);
  }
  return run;
}

bool TempTables::named_in(const Translation& tr) const {
  for (const std::string& w : tr.words) {
    if (temp_.count(w)) return true;
  }
  return false;
}

}  // namespace rt::sql::detail::pg
