// The statements of the lower bound in each back end's dialect, as the SQL
// layer's translator writes them (see lower_bound.h).
#include <initializer_list>
#include <map>
#include <stdexcept>

#include "lower_bound.h"
#include "sql/pg_temp_tables.h"
#include "sql/translate.h"

namespace bench {
namespace {

// The tables of the clearing statements with the types the translator
// reads from the database (or, for the temporary tables, from the queries
// that made them): the date constant and the amounts are translated as in
// the program.
class ClearingSchema : public rt::sql::SchemaLookup {
 public:
  const rt::sql::TableInfo* table(std::string_view name) override {
    auto it = tables_.find(std::string(name));
    return it == tables_.end() ? nullptr : &it->second;
  }

 private:
  static rt::sql::TableInfo make(std::initializer_list<std::pair<const char*, const char*>> cols) {
    rt::sql::TableInfo t;
    for (auto [c, type] : cols) {
      t.columns.emplace_back(c);
      t.types.push_back(rt::sql::column_type(type));
    }
    return t;
  }
  std::map<std::string, rt::sql::TableInfo> tables_{
      {"ar_item", make({{"ar_customer", "INTEGER"},
                        {"ar_invoice_nbr", "INTEGER"},
                        {"ar_seq_nbr", "SMALLINT"},
                        {"ar_tran_type", "CHAR(2)"},
                        {"ar_amount", "DECIMAL(12,2)"},
                        {"ar_tran_dt", "DATE"},
                        {"ar_reference", "CHAR(12)"}})},
      {"ar_openitem",
       make({{"aroi_customer", "INTEGER"}, {"aroi_invoice_nbr", "INTEGER"}, {"aroi_seq_nbr", "SMALLINT"}})},
      {"ar_customer", make({{"cust_customer", "INTEGER"}, {"cust_stmt_cycle", "SMALLINT"}})},
      {"ar_type", make({{"at_type_code", "CHAR(2)"}, {"at_oper", "CHAR(1)"}})},
      {"t_cust_items", make({{"ar_customer", "INTEGER"},
                             {"ar_tran_type", "CHAR(2)"},
                             {"ar_amount", "DECIMAL(12,2)"},
                             {"ar_invoice_nbr", "INTEGER"},
                             {"ar_seq_nbr", "SMALLINT"}})},
      {"t_neg_types", make({{"at_type_code", "CHAR(2)"}})},
  };
};

}  // namespace

std::string translated(std::string_view text, bool pg) {
  ClearingSchema schema;
  rt::sql::TranslateOptions opt;
  opt.date_format = rt::DateFormat::current();
  // A table made from a query is made as the back end makes it: on the
  // server with room left on each page, so that the sign UPDATE rewrites
  // the rows in place as it does for the program.
  if (pg) opt.temp_table_storage = rt::sql::detail::pg::TempTables::kStorage;
  const rt::sql::Translation tr =
      rt::sql::translate(text, pg ? rt::sql::Backend::Postgres : rt::sql::Backend::Sqlite, &schema, opt);
  if (!tr.ok) throw std::runtime_error("cannot translate: " + tr.error);
  return tr.text;
}

}  // namespace bench
