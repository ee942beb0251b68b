// The tables and indexes of "lunadesk", as data.
//
// Column order is table order: the programs insert whole rows with
// "INSERT INTO t VALUES (?, ...)" and read them with "SELECT *", so the
// order, not only the names, is part of the contract. Tables the programs
// insert into whole (iq_salesman_name, tx_use_g, tx_use_link, rs_shiftlink,
// co_rpt_ctl) carry exactly the columns of those inserts.
//
// Types the programs leave to the database, and what we chose:
//   ar_item.ar_seq_nbr, ar_openitem.aroi_seq_nbr   SMALLINT
//   ar_item.ar_tran_type, ar_type.at_type_code     CHAR(2)
//   ar_item.ar_amount and every other amount       DECIMAL(12,2)
//   ar_type.at_oper                                CHAR(1), "-" or "+"
//   ar_cycle.arcy_desc CHAR(30), arcy_last_date    DATE
//   inv_classes.icl_type CHAR(1), icl_desc         CHAR(30)
//   p_altname.pn_name_addr                         CHAR(180), as an_name_addr
//   rs_shiftlink.rssl_shift                        SMALLINT
//   ar_fnc_table.fc_fnc_code CHAR(4), fc_fin_charge CHAR(30) (the text the
//     lookup shows; the rate and minimum are columns of their own)
//   gl_master.glm_account CHAR(12), glm_description CHAR(40),
//     glm_series and gl_period.glp_series          SMALLINT (fiscal year)
//   co_rpt_ctl columns 3, 5, 6 (never used by the programs):
//     corc_rpt_desc CHAR(40), corc_lp_opts CHAR(40), corc_form CHAR(10)
// Other columns (names of customers, rates of finance charges, tax lines)
// are what a site keeps beside the columns the programs read.
#include "schema.h"

namespace lunadesk::db {

namespace {

const std::vector<TableDef> kTables = {
    // Salesmen: code and name required; a login name, when given, belongs
    // to one salesman only (unique index below; NULLs may repeat).
    {"iq_salesman_name",
     {{"iqsn_code", "CHAR(4)", true}, {"iqsn_name", "CHAR(35)", true}, {"iqsn_userlogin", "CHAR(10)"}}},

    // Classes of products; type "T" marks the product tax classes.
    {"inv_classes", {{"icl_code", "CHAR(5)", true}, {"icl_type", "CHAR(1)", true}, {"icl_desc", "CHAR(30)"}}},

    // Tax tables: one row per tax at one level and place.
    {"tx_table",
     {{"tt_code", "CHAR(5)"},
      {"tt_level", "CHAR(1)"},
      {"tt_where", "CHAR(10)"},
      {"tt_rate", "DECIMAL(16,6)"},
      {"tt_date", "DATE"},
      {"tt_charge", "CHAR(1)"},
      {"tt_descr", "CHAR(30)"},
      {"tt_trn", "SERIAL", true}}},

    // Tax use groups: a group code per product tax class.
    {"tx_use_g",
     {{"tu_use_g", "CHAR(8)"}, {"tu_prodtcl", "CHAR(5)"}, {"tu_description", "CHAR(40)"}, {"tu_link", "SERIAL", true}}},

    // The tax tables linked to a group row, with the schedule or form
    // number the tax is reported on.
    {"tx_use_link", {{"tul_link", "INTEGER", true}, {"tul_trn", "INTEGER"}, {"tul_sched", "CHAR(5)"}}},

    // Tax lines of invoice history, current invoices, bills of lading and
    // shift sales: each refers to a group row by its tu_link.
    {"sih_inv_tax",
     {{"ilth_invoice", "INTEGER", true},
      {"ilth_line", "SMALLINT", true},
      {"ilth_ulink", "INTEGER"},
      {"ilth_trn", "INTEGER"},
      {"ilth_taxable", "DECIMAL(12,2)"},
      {"ilth_tax_amt", "DECIMAL(12,2)"}}},
    {"si_inv_tax",
     {{"ilt_invoice", "INTEGER", true},
      {"ilt_line", "SMALLINT", true},
      {"ilt_ulink", "INTEGER"},
      {"ilt_trn", "INTEGER"},
      {"ilt_taxable", "DECIMAL(12,2)"},
      {"ilt_tax_amt", "DECIMAL(12,2)"}}},
    {"fm_lad_tax",
     {{"fmldt_lading", "INTEGER", true},
      {"fmldt_line", "SMALLINT", true},
      {"fmldt_ulink", "INTEGER"},
      {"fmldt_trn", "INTEGER"},
      {"fmldt_tax_amt", "DECIMAL(12,2)"}}},
    {"rs_taxes",
     {{"rstx_shl", "INTEGER", true},
      {"rstx_ulink", "INTEGER"},
      {"rstx_trn", "INTEGER"},
      {"rstx_taxable", "DECIMAL(12,2)"},
      {"rstx_tax_amt", "DECIMAL(12,2)"}}},

    // Receivables. An open item is the key of an ar_item row still open.
    {"ar_type", {{"at_type_code", "CHAR(2)", true}, {"at_oper", "CHAR(1)"}, {"at_desc", "CHAR(30)"}}},
    {"ar_cycle",
     {{"arcy_code", "SMALLINT", true},
      {"arcy_desc", "CHAR(30)"},
      {"arcy_cutoff_date", "DATE"},
      {"arcy_last_date", "DATE"}}},
    {"ar_fnc_table",
     {{"fc_fnc_code", "CHAR(4)", true},
      {"fc_fin_charge", "CHAR(30)"},
      {"fc_rate", "DECIMAL(7,4)"},
      {"fc_min_charge", "DECIMAL(12,2)"},
      {"fc_grace_days", "SMALLINT"}}},
    {"ar_customer",
     {{"cust_customer", "INTEGER", true},
      {"cust_name", "CHAR(30)"},
      {"cust_stmt_cycle", "SMALLINT"},
      {"cust_status", "CHAR(2)"},
      {"cust_slsmn", "CHAR(4)"},
      {"cust_fnc_code", "CHAR(4)"},
      {"cust_invoice_flag", "CHAR(1)"},
      {"cust_ach_flag", "CHAR(1)"},
      {"cust_credit_limit", "DECIMAL(12,2)"}}},
    {"ar_item",
     {{"ar_customer", "INTEGER", true},
      {"ar_invoice_nbr", "INTEGER", true},
      {"ar_seq_nbr", "SMALLINT", true},
      {"ar_tran_type", "CHAR(2)", true},
      {"ar_amount", "DECIMAL(12,2)", true},
      {"ar_tran_dt", "DATE", true},
      {"ar_reference", "CHAR(12)"}}},
    {"ar_openitem",
     {{"aroi_customer", "INTEGER", true}, {"aroi_invoice_nbr", "INTEGER", true}, {"aroi_seq_nbr", "SMALLINT", true}}},

    // Customers' names and addresses as the customer lookup reads them
    // ("SELECT *": 22 columns whose order and types are fixed).
    {"ar_altname",
     {{"an_customer", "INTEGER", true},  // 1: the code the lookup returns
      {"an_alt_nbr", "INTEGER", true},   // 2: 0 bill-to, 1.. ship-to
      {"an_name_addr", "CHAR(180)"},     // 3: searched text
      {"an_slsmn", "CHAR(4)"},           // 4
      {"an_phone", "CHAR(14)"},          // 5
      {"an_type", "CHAR(1)"},            // 6: "B" bill-to, "S" ship-to
      {"an_tax_flag", "CHAR(1)"},        // 7: "Y" taxable
      {"an_tax_id", "CHAR(10)"},         // 8: resale certificate
      {"an_price_lvl", "CHAR(1)"},       // 9
      {"an_contact", "CHAR(24)"},        // 10
      {"an_fax", "CHAR(14)"},            // 11
      {"an_name", "CHAR(30)"},           // 12
      {"an_first_name", "CHAR(30)"},     // 13
      {"an_company", "CHAR(30)"},        // 14
      {"an_attention", "CHAR(30)"},      // 15
      {"an_addr1", "CHAR(30)"},          // 16: the address the list shows
      {"an_city", "CHAR(30)"},           // 17
      {"an_state", "CHAR(5)"},           // 18
      {"an_zip", "CHAR(5)"},             // 19
      {"an_active", "CHAR(1)"},          // 20
      {"an_start_dt", "DATE"},           // 21
      {"an_chg_dt", "DATE"}}},           // 22

    // Alternate names (payees and contacts), products, employees.
    {"p_altname",
     {{"pn_alt", "INTEGER", true},
      {"pn_name", "CHAR(30)"},
      {"pn_first_name", "CHAR(30)"},
      {"pn_company", "CHAR(30)"},
      {"pn_addr1", "CHAR(30)"},
      {"pn_city", "CHAR(30)"},
      {"pn_state", "CHAR(5)"},
      {"pn_zip", "CHAR(5)"},
      {"pn_phone", "CHAR(14)"},
      {"pn_name_addr", "CHAR(180)"}}},
    {"inv_header",
     {{"ivh_product", "CHAR(16)", true},
      {"ivh_desc", "CHAR(40)"},
      {"ivh_uom_stock", "CHAR(5)"},
      {"ivh_prod_class", "CHAR(5)"},
      {"ivh_tax_class", "CHAR(5)"},
      {"ivh_list_price", "DECIMAL(12,4)"}}},
    {"pymemp",
     {{"empno", "CHAR(6)", true},
      {"lastname", "CHAR(25)"},
      {"firstname", "CHAR(16)"},
      {"dept", "CHAR(4)"},
      {"hire_date", "DATE"},
      {"emp_status", "CHAR(1)"}}},

    // Site settings, shift links, general ledger, company, print defaults.
    {"sys_parm", {{"parm_nbr", "SMALLINT", true}, {"parm_field", "CHAR(30)"}}},
    {"rs_shiftlink",
     {{"rssl_prft_ctr", "SMALLINT", true},
      {"rssl_shift", "SMALLINT", true},
      {"rssl_date", "DATE", true},
      {"rssl_shl", "SERIAL", true}}},
    {"gl_period",
     {{"glp_series", "SMALLINT", true},
      {"glp_period", "SMALLINT", true},
      {"glp_start_dt", "DATE"},
      {"glp_end_dt", "DATE", true},
      {"glp_status", "CHAR(1)"}}},
    {"gl_master",
     {{"glm_series", "SMALLINT", true},
      {"glm_account", "CHAR(12)", true},
      {"glm_description", "CHAR(40)"},
      {"glm_group", "CHAR(2)"},
      {"glm_active", "CHAR(1)"}}},
    {"co_company_name",
     {{"con_name", "CHAR(40)"},
      {"con_addr1", "CHAR(30)"},
      {"con_city", "CHAR(30)"},
      {"con_state", "CHAR(5)"},
      {"con_zip", "CHAR(10)"},
      {"con_phone", "CHAR(14)"},
      {"con_email_address", "CHAR(80)"}}},
    {"co_rpt_ctl",
     {{"corc_rpt_num", "SERIAL", true},
      {"corc_rpt_name", "CHAR(15)"},
      {"corc_rpt_desc", "CHAR(40)"},
      {"corc_who", "CHAR(10)"},
      {"corc_lp_opts", "CHAR(40)"},
      {"corc_form", "CHAR(10)"},
      {"corc_lp_name", "CHAR(10)"},
      {"corc_paper_tray", "SMALLINT"},
      {"corc_copies", "SMALLINT"}}},

    // The schema version (rt::sql::kSchemaVersion): one row, written with
    // the schema and by each upgrade, read by every program at its start.
    {"lunadesk_version", {{"version", "INTEGER", true}}},
};

// Keys (unique) and the indexes of the lookups, the delete check of the tax
// use groups and the clearing run. A unique index allows many NULLs on both
// back ends, which is what the optional login name needs.
const std::vector<IndexDef> kIndexes = {
    {"iqsn_u_code", "iq_salesman_name", true, {"iqsn_code"}},
    {"iqsn_u_login", "iq_salesman_name", true, {"iqsn_userlogin"}},
    {"icl_u_code", "inv_classes", true, {"icl_code", "icl_type"}},
    {"tt_u_trn", "tx_table", true, {"tt_trn"}},
    {"tt_i_order", "tx_table", false, {"tt_level", "tt_where", "tt_code"}},
    {"tu_u_link", "tx_use_g", true, {"tu_link"}},
    {"tu_u_group", "tx_use_g", true, {"tu_use_g", "tu_prodtcl"}},
    // One link per group row and tax table: two would make the schedule
    // lookup of the group entry fail.
    {"tul_u_link", "tx_use_link", true, {"tul_link", "tul_trn"}},
    {"ilth_i_ulink", "sih_inv_tax", false, {"ilth_ulink"}},
    {"ilt_i_ulink", "si_inv_tax", false, {"ilt_ulink"}},
    {"fmldt_i_ulink", "fm_lad_tax", false, {"fmldt_ulink"}},
    {"rstx_i_ulink", "rs_taxes", false, {"rstx_ulink"}},
    {"at_u_code", "ar_type", true, {"at_type_code"}},
    {"arcy_u_code", "ar_cycle", true, {"arcy_code"}},
    {"fc_u_code", "ar_fnc_table", true, {"fc_fnc_code"}},
    {"cust_u_customer", "ar_customer", true, {"cust_customer"}},
    {"cust_i_cycle", "ar_customer", false, {"cust_stmt_cycle"}},
    {"ar_u_item", "ar_item", true, {"ar_customer", "ar_invoice_nbr", "ar_seq_nbr"}},
    {"aroi_u_key", "ar_openitem", true, {"aroi_customer", "aroi_invoice_nbr", "aroi_seq_nbr"}},
    {"an_u_key", "ar_altname", true, {"an_customer", "an_alt_nbr"}},
    {"pn_u_alt", "p_altname", true, {"pn_alt"}},
    {"ivh_u_product", "inv_header", true, {"ivh_product"}},
    {"emp_u_empno", "pymemp", true, {"empno"}},
    {"emp_i_name", "pymemp", false, {"lastname", "firstname"}},
    {"parm_u_nbr", "sys_parm", true, {"parm_nbr"}},
    {"rssl_u_shl", "rs_shiftlink", true, {"rssl_shl"}},
    // One shift link per profit centre, day and shift: a second would make
    // the shift-link lookup fail.
    {"rssl_u_day", "rs_shiftlink", true, {"rssl_prft_ctr", "rssl_date", "rssl_shift"}},
    {"glp_u_period", "gl_period", true, {"glp_series", "glp_period"}},
    // Periods do not overlap: the latest end date names one series.
    {"glp_u_end", "gl_period", true, {"glp_end_dt"}},
    {"glm_u_account", "gl_master", true, {"glm_series", "glm_account"}},
    {"corc_u_num", "co_rpt_ctl", true, {"corc_rpt_num"}},
    {"corc_u_who", "co_rpt_ctl", true, {"corc_rpt_name", "corc_who"}},
};

}  // namespace

const std::vector<TableDef>& schema_tables() { return kTables; }

const std::vector<IndexDef>& schema_indexes() { return kIndexes; }

const TableDef* find_table(std::string_view name) {
  for (const TableDef& t : kTables) {
    if (t.name == name) return &t;
  }
  return nullptr;
}

std::string create_table_sql(const TableDef& t) {
  std::string sql = "CREATE TABLE " + std::string(t.name) + " (";
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const ColumnDef& c = t.columns[i];
    sql += i == 0 ? "\n  " : ",\n  ";
    sql += std::string(c.name) + " " + std::string(c.type);
    if (c.not_null) sql += " NOT NULL";
  }
  sql += "\n)";
  return sql;
}

std::string create_index_sql(const IndexDef& ix) {
  std::string sql = ix.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ";
  sql += std::string(ix.name) + " ON " + std::string(ix.table) + " (";
  for (size_t i = 0; i < ix.columns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += std::string(ix.columns[i]);
  }
  sql += ")";
  return sql;
}

}  // namespace lunadesk::db
