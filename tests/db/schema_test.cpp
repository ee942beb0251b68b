// The schema on both back ends: creation and re-creation, the keys a site
// relies on, a damaged table, and the programs' own statements run against
// it.
#include "schema.h"

#include <algorithm>
#include <vector>

#include "db_exec.h"
#include "db_fixture.h"
#include "demo.h"

namespace lunadesk::db::test {
namespace {

using lunadesk::testing::all_backends;
using lunadesk::testing::backend_name;

class Schema : public FreshDb {};

TEST_P(Schema, InitCreatesEverythingOnceThenOnlyWhatIsMissing) {
  SchemaReport first;
  std::string error;
  ASSERT_TRUE(create_schema(&first, &error)) << error;
  EXPECT_EQ(first.tables_created.size(), schema_tables().size());
  EXPECT_EQ(first.indexes_created.size(), schema_indexes().size());
  std::vector<std::string> missing;
  ASSERT_TRUE(missing_columns(&missing, &error)) << error;
  EXPECT_TRUE(missing.empty()) << missing.front();

  SchemaReport again;
  ASSERT_TRUE(create_schema(&again, &error)) << error;
  EXPECT_FALSE(again.changed());
  EXPECT_EQ(again.tables_present, static_cast<int>(schema_tables().size()));
  EXPECT_EQ(again.indexes_present, static_cast<int>(schema_indexes().size()));

  // A table lost with its indexes comes back alone.
  ASSERT_EQ(try_exec("DROP TABLE pymemp"), 0);
  SchemaReport repair;
  ASSERT_TRUE(create_schema(&repair, &error)) << error;
  EXPECT_EQ(repair.tables_created, std::vector<std::string>{"pymemp"});
  std::vector<std::string> ix = repair.indexes_created;
  std::sort(ix.begin(), ix.end());
  EXPECT_EQ(ix, (std::vector<std::string>{"emp_i_name", "emp_u_empno"}));
}

TEST_P(Schema, TableLackingColumnsIsReportedAndNothingIsCreated) {
  ASSERT_EQ(try_exec("CREATE TABLE iq_salesman_name (iqsn_code CHAR(4))"), 0);
  std::string error;
  EXPECT_FALSE(create_schema(nullptr, &error));
  EXPECT_NE(error.find("iq_salesman_name.iqsn_name"), std::string::npos) << error;
  EXPECT_NE(error.find("iq_salesman_name.iqsn_userlogin"), std::string::npos) << error;
  std::vector<std::string> missing;
  ASSERT_TRUE(missing_columns(&missing, &error)) << error;
  // Two columns of the damaged table and every other table.
  EXPECT_EQ(missing.size(), schema_tables().size() - 1 + 2);
}

TEST_P(Schema, KeysRefuseDuplicatesButLoginsMayBeMissing) {
  ASSERT_TRUE(create_schema(nullptr, nullptr));
  auto salesman = [](const char* code, const char* login) {
    return try_exec("INSERT INTO iq_salesman_name VALUES (?, ?, ?)", {ch(code), ch("A Name"), ch(login)});
  };
  EXPECT_EQ(salesman("AA", nullptr), 0);
  EXPECT_EQ(salesman("BB", nullptr), 0);  // a second salesman without login
  EXPECT_EQ(salesman("CC", "carol"), 0);
  EXPECT_LT(salesman("AA", "other"), 0);  // code taken
  EXPECT_LT(salesman("DD", "carol"), 0);  // login taken

  const char* group = "INSERT INTO tx_use_g (tu_use_g, tu_prodtcl, tu_description, tu_link) VALUES (?, ?, ?, ?)";
  EXPECT_EQ(try_exec(group, {ch("G1"), ch("TX"), ch("One"), integer(101)}), 0);
  EXPECT_EQ(try_exec(group, {ch("G1"), ch("NT"), ch("One"), integer(102)}), 0);
  EXPECT_LT(try_exec(group, {ch("G1"), ch("TX"), ch("Again"), integer(103)}), 0);

  const char* link = "INSERT INTO tx_use_link VALUES (?, ?, ?)";
  EXPECT_EQ(try_exec(link, {integer(101), integer(7), ch("01")}), 0);
  EXPECT_LT(try_exec(link, {integer(101), integer(7), ch("02")}), 0);

  const char* open = "INSERT INTO ar_openitem VALUES (?, ?, ?)";
  EXPECT_EQ(try_exec(open, {integer(1001), integer(5), small(1)}), 0);
  EXPECT_LT(try_exec(open, {integer(1001), integer(5), small(1)}), 0);
}

// Serial of a new row, the programs' way: the sequence on PostgreSQL, 0
// (the database assigns) elsewhere.
long program_nextval(const char* table, const char* column) {
  if (rt::sql::backend() != rt::sql::Backend::Postgres) return 0;
  rt::Value v(rt::integer_t());
  rt::sql::select_into("select nextval( pg_get_serial_sequence( ? , ? ))", {ch(table), ch(column)}, {&v});
  return static_cast<long>(v.as_int());
}

long program_insert(const char* table, const char* column, const std::string& text, rt::sql::Params params) {
  long serial = program_nextval(table, column);
  for (rt::Value& p : params) {
    if (p.type().kind == rt::Kind::Serial) p.set_int(serial);
  }
  if (try_exec(text, params) != 0) return -1;
  return serial ? serial : rt::sql::last_serial();
}

rt::Value serial_slot() { return rt::Value::of_int(0, rt::serial_t()); }

TEST_P(Schema, ProgramsInsertWithFreshSerialsAfterTheDemo) {
  ASSERT_TRUE(load_demo(nullptr, nullptr));
  long groups = count_rows("tx_use_g");
  long link = program_insert("tx_use_g", "tu_link", "INSERT INTO tx_use_g VALUES (   ?,   ?,   ?,   ?)",
                             {ch("NEWGRP"), ch("TX"), ch("New group"), serial_slot()});
  EXPECT_EQ(link, groups + 1);
  EXPECT_EQ(try_exec("INSERT INTO tx_use_link VALUES (   ?,   ?,   ?)", {integer(link), integer(1), ch("01")}), 0);

  const std::string rpt = "INSERT INTO co_rpt_ctl VALUES (   ?,   ?,   NULL,   ?,   NULL,   NULL,   ?,   ?,   ?)";
  rt::sql::Params defaults = {serial_slot(), ch("tugedit"), ch("jreyes"), ch("LASER1"), rt::Value(rt::smallint_t()),
                              small(2)};
  EXPECT_EQ(program_insert("co_rpt_ctl", "corc_rpt_num", rpt, defaults), 1);
  EXPECT_EQ(try_exec("UPDATE co_rpt_ctl SET corc_rpt_name=? ,corc_who=? ,corc_lp_name=? ,corc_paper_tray=? "
                     ",corc_copies=? WHERE corc_rpt_name=? AND corc_who=?",
                     {ch("tugedit"), ch("jreyes"), ch("LASER2"), small(3), small(1), ch("tugedit"), ch("jreyes")}),
            0);
  EXPECT_EQ(program_insert("co_rpt_ctl", "corc_rpt_num", rpt, defaults), -1);  // one row per program and login

  long shifts = count_rows("rs_shiftlink");
  const std::string shl = "INSERT INTO rs_shiftlink VALUES (   ?,   1,   ?,   ?)";
  EXPECT_EQ(program_insert("rs_shiftlink", "rssl_shl", shl, {small(1), date(2026, 12, 8), serial_slot()}), shifts + 1);
  EXPECT_EQ(program_insert("rs_shiftlink", "rssl_shl", shl, {small(1), date(2026, 12, 8), serial_slot()}), -1);
}

struct ProgramQuery {
  const char* text;
  rt::sql::Params params;
  int columns;
};

// The selects of the programs and the library, as they run them (lookups
// after their rewriting to upper( )), against the demo set: each must run
// and find rows.
TEST_P(Schema, ProgramQueriesRunAndFindDemoRows) {
  std::string error;
  ASSERT_TRUE(load_demo(nullptr, &error)) << error;
  const ProgramQuery queries[] = {
      {"SELECT 1  FROM iq_salesman_name WHERE iqsn_code=? ", {ch("AB")}, 1},
      {"SELECT 1  FROM iq_salesman_name WHERE iqsn_userlogin=? AND iqsn_code != ? ", {ch("abrennan"), ch("BK")}, 1},
      {"select * from iq_salesman_name where 1=1", {}, 3},
      {"select * from tx_use_g where 1=1 order by tu_use_g, tu_prodtcl", {}, 4},
      {"SELECT tx_use_link.tul_sched,   tx_table.tt_code,   tx_table.tt_level,   tx_table.tt_where,   "
       "tx_table.tt_rate,   tx_table.tt_date,   tx_table.tt_charge,   tx_table.tt_descr,   tx_table.tt_trn  FROM "
       "tx_use_link,tx_table WHERE tx_use_link.tul_trn=tx_table.tt_trn AND tx_use_link.tul_link=? ",
       {integer(1)},
       9},
      {"SELECT \"\",   tx_table.tt_code,   tx_table.tt_level,   tx_table.tt_where,   tx_table.tt_rate,   "
       "tx_table.tt_date,   tx_table.tt_charge,   tx_table.tt_descr,   tx_table.tt_trn  FROM tx_table ORDER BY "
       "tt_level ASC,tt_where ASC,tt_code ASC",
       {},
       9},
      {"SELECT DISTINCT 1  FROM tx_use_link WHERE tul_link=? ", {integer(1)}, 1},
      {"SELECT DISTINCT 1  FROM sih_inv_tax WHERE ilth_ulink=? ", {integer(1)}, 1},
      {"SELECT icl_desc  FROM inv_classes WHERE icl_code=? AND icl_type=\"T\" ", {ch("FOOD")}, 1},
      {"SELECT MIN(tu_description)  FROM tx_use_g WHERE tu_use_g=? ", {ch("AUSTIN")}, 1},
      {"select icl_code, icl_desc from inv_classes where upper(icl_code) matches ? and icl_type = 'T'", {ch("F*")}, 2},
      {"select arcy_code, arcy_desc from ar_cycle where upper(arcy_desc) matches ? order by 1", {ch("MONTH*")}, 2},
      {"SELECT p_altname.pn_alt,   p_altname.pn_name,   p_altname.pn_first_name,   p_altname.pn_company,   "
       "p_altname.pn_addr1  FROM p_altname WHERE upper(p_altname.pn_name_addr) MATCHES ?  ORDER BY 1 ASC",
       {ch("AB*")},
       5},
      {"SELECT inv_header.ivh_product,   inv_header.ivh_desc,   inv_header.ivh_uom_stock  FROM inv_header WHERE "
       "upper(inv_header.ivh_desc) MATCHES ?  ORDER BY 2 ASC",
       {ch("CLAW*")},
       3},
      {"SELECT empno,   lastname,   firstname  FROM pymemp WHERE upper(lastname) MATCHES ?  ORDER BY 2 ASC,3 ASC",
       {ch("NGUYEN*")},
       3},
      {"select fc_fnc_code, fc_fin_charge from ar_fnc_table where upper(fc_fnc_code) matches ?", {ch("S*")}, 2},
      {"select distinct gl_master.glm_account, gl_master.glm_description from gl_master where "
       "upper(gl_master.glm_description) matches ? and gl_master.glm_series = (select gl_period.glp_series from "
       "gl_period where gl_period.glp_end_dt = (select max(gl_period.glp_end_dt) from gl_period)) order by 1",
       {ch("SALES*")},
       2},
      {"SELECT parm_field  FROM sys_parm WHERE parm_nbr=?", {small(6210)}, 1},
      {"SELECT rssl_shl  FROM rs_shiftlink WHERE rssl_prft_ctr=? AND rssl_date=?  AND rs_shiftlink.rssl_shift=1",
       {small(1), date(2026, 12, 1)},
       1},
      {"SELECT con_email_address  FROM co_company_name", {}, 1},
  };
  for (const ProgramQuery& q : queries) {
    std::vector<rt::Value> values(q.columns, rt::Value(rt::char_t(200)));
    rt::sql::Into into;
    for (rt::Value& v : values) into.push_back(&v);
    long rows = 0;
    try {
      for_each_row(q.text, q.params, into, "program query", [&] { ++rows; });
    } catch (const DbError& e) {
      ADD_FAILURE() << q.text << "\n" << e.what();
      continue;
    }
    EXPECT_GT(rows, 0) << q.text;
  }
}

// The customer lookup reads "SELECT *" into 22 variables of fixed types and
// takes the code from column 1 and the name parts from 12, 13, 14 and 16.
TEST_P(Schema, CustomerAltNamesHaveTheTwentyTwoColumnsInOrder) {
  ASSERT_TRUE(load_demo(nullptr, nullptr));
  std::vector<rt::Value> row;
  for (int i = 0; i < 2; ++i) row.emplace_back(rt::integer_t());
  const int widths[] = {180, 4, 14, 1, 1, 10, 1, 24, 14, 30, 30, 30, 30, 30, 30, 5, 5, 1};
  for (int w : widths) row.emplace_back(rt::char_t(w));
  row.emplace_back(rt::date_t());
  row.emplace_back(rt::date_t());
  ASSERT_EQ(row.size(), 22u);
  rt::sql::Into into;
  for (rt::Value& v : row) into.push_back(&v);
  ASSERT_TRUE(select_one("SELECT *  FROM ar_altname WHERE upper(an_name_addr) MATCHES ?  ORDER BY an_customer ASC",
                         {ch("BRAZOS HARDWARE &*")}, into, "customer lookup"));
  EXPECT_EQ(row[0].as_int(), 1001);
  EXPECT_EQ(row[11].str(), "Haskins");
  EXPECT_EQ(row[12].str(), "Dale");
  EXPECT_EQ(row[13].str(), "Brazos Hardware & Supply");
  EXPECT_EQ(row[15].str(), "1200 S Lamar Blvd");
  for (size_t i = 0; i < row.size(); ++i) EXPECT_FALSE(row[i].is_null()) << "column " << i + 1;
}

INSTANTIATE_TEST_SUITE_P(Backends, Schema, all_backends(), backend_name);

}  // namespace
}  // namespace lunadesk::db::test
