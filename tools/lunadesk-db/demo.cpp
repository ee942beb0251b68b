// Loading the demo set: schema first, then the rows in one transaction,
// and only into a database whose demo tables are all empty — so that a
// second run adds nothing and a site's own rows are never mixed with demo
// rows.
#include "demo.h"

#include "db_exec.h"
#include "demo_parts.h"
#include "schema.h"

namespace lunadesk::db {

const std::vector<std::string>& demo_tables() {
  static const std::vector<std::string> kTables = {
      "iq_salesman_name", "inv_classes", "tx_table",     "tx_use_g",  "tx_use_link", "sih_inv_tax",
      "si_inv_tax",       "fm_lad_tax",  "rs_shiftlink", "rs_taxes",  "ar_type",     "ar_cycle",
      "ar_fnc_table",     "ar_customer", "ar_altname",   "ar_item",   "ar_openitem", "p_altname",
      "inv_header",       "pymemp",      "sys_parm",     "gl_period", "gl_master",   "co_company_name",
  };
  return kTables;
}

bool load_demo(DemoReport* report, std::string* error) {
  DemoReport r;
  if (!create_schema(&r.schema, error)) return false;
  const bool done = reporting_errors(error, [&] {
    for (const std::string& t : demo_tables()) {
      long n = count_rows(t);
      if (n > 0) r.occupied.emplace_back(t, n);
    }
    if (!r.occupied.empty()) return;  // the rows there are kept; reported below

    one_transaction("the demo rows", [&] {
      demo::load_sales_and_tax();
      demo::load_receivables();
      demo::load_reference();
      for (const std::string& t : demo_tables()) r.rows_added.emplace_back(t, count_rows(t));
    });
    r.loaded = true;
  });
  if (!done) return false;
  if (report) *report = r;
  return true;
}

}  // namespace lunadesk::db
