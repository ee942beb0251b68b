// The demo set on both back ends: loaded once, never mixed with other rows,
// and holding the shapes it promises — above all the invoices of every
// case of the clearing run.
#include "demo.h"

#include <map>
#include <set>
#include <utility>

#include "db_exec.h"
#include "db_fixture.h"
#include "schema.h"

namespace lunadesk::db::test {
namespace {

using lunadesk::testing::all_backends;
using lunadesk::testing::backend_name;

class Demo : public FreshDb {};

long rows_where(const std::string& table, const std::string& condition) {
  rt::Value n(rt::integer_t());
  select_one("SELECT COUNT(*) FROM " + table + " WHERE " + condition, {}, {&n}, "count");
  return static_cast<long>(n.as_int());
}

TEST_P(Demo, LoadsOnceAndNeverIntoTablesThatHoldRows) {
  DemoReport first;
  std::string error;
  ASSERT_TRUE(load_demo(&first, &error)) << error;
  EXPECT_TRUE(first.loaded);
  EXPECT_TRUE(first.schema.changed());
  long items = count_rows("ar_item");
  EXPECT_GT(items, 0);

  DemoReport second;
  ASSERT_TRUE(load_demo(&second, &error)) << error;
  EXPECT_FALSE(second.loaded);
  EXPECT_FALSE(second.schema.changed());
  EXPECT_EQ(second.occupied.size(), demo_tables().size());
  EXPECT_EQ(count_rows("ar_item"), items);
  EXPECT_EQ(count_rows("iq_salesman_name"), 12);
}

TEST_P(Demo, SiteWithItsOwnRowsGetsNoDemoRows) {
  ASSERT_TRUE(create_schema(nullptr, nullptr));
  ASSERT_EQ(try_exec("INSERT INTO sys_parm VALUES (?, ?)", {small(7), ch("MYPRINTER")}), 0);
  DemoReport r;
  std::string error;
  ASSERT_TRUE(load_demo(&r, &error)) << error;
  EXPECT_FALSE(r.loaded);
  ASSERT_EQ(r.occupied.size(), 1u);
  EXPECT_EQ(r.occupied[0].first, "sys_parm");
  EXPECT_EQ(count_rows("iq_salesman_name"), 0);
}

TEST_P(Demo, HoldsWhatTheProgramsAndLookupsNeed) {
  ASSERT_TRUE(load_demo(nullptr, nullptr));
  EXPECT_GE(rows_where("iq_salesman_name", "iqsn_userlogin IS NULL"), 2);
  EXPECT_GE(rows_where("inv_classes", "icl_type = 'T'"), 3);
  EXPECT_GE(rows_where("inv_classes", "icl_type <> 'T'"), 3);
  EXPECT_GE(count_rows("tx_table"), 25);
  EXPECT_GE(rows_where("tx_use_g", "tu_link NOT IN (SELECT tul_link FROM tx_use_link)"), 2);
  EXPECT_GE(rows_where("tx_use_g", "tu_link IN (SELECT tul_link FROM tx_use_link)"), 2);
  // A group row with more links than the screen's 11 rows.
  EXPECT_GE(rows_where("tx_use_g", "(SELECT COUNT(*) FROM tx_use_link WHERE tul_link = tu_link) > 11"), 1);
  // A group without links that tax lines still refer to.
  EXPECT_GE(
      rows_where("tx_use_g",
                 "tu_link NOT IN (SELECT tul_link FROM tx_use_link) AND "
                 "(tu_link IN (SELECT ilth_ulink FROM sih_inv_tax) OR tu_link IN (SELECT ilt_ulink FROM si_inv_tax))"),
      1);
  EXPECT_EQ(rows_where("sys_parm", "parm_nbr IN (7, 1010, 1011, 5007, 6210) AND parm_field IS NOT NULL"), 5);
  EXPECT_EQ(rows_where("co_company_name", "con_email_address IS NOT NULL"), 1);
  EXPECT_EQ(count_rows("co_company_name"), 1);
  EXPECT_GE(count_rows("ar_fnc_table"), 3);
  EXPECT_GE(rows_where("ar_cycle", "arcy_code IN (SELECT cust_stmt_cycle FROM ar_customer)"), 3);
}

using Invoice = std::pair<long, long>;  // customer, invoice

struct Netting {
  std::map<long, std::set<Invoice>> zero_by_cutoff;  // per cycle
  std::set<Invoice> zero_only_later;
  std::set<Invoice> never_zero;
};

// Signs and sums the open items of every invoice in exact decimals: up to
// its cycle's cut-off date, and over all dates.
Netting net_open_items() {
  std::set<std::string> negative;
  rt::Value type(rt::char_t(2)), oper(rt::char_t(1));
  for_each_row("SELECT at_type_code, at_oper FROM ar_type", {}, {&type, &oper}, "types", [&] {
    if (oper.str() == "-") negative.insert(type.str());
  });
  std::map<long, rt::Date> cutoff;
  rt::Value code(rt::smallint_t()), day(rt::date_t());
  for_each_row("SELECT arcy_code, arcy_cutoff_date FROM ar_cycle", {}, {&code, &day}, "cycles",
               [&] { cutoff[static_cast<long>(code.as_int())] = day.as_date(); });

  struct Sums {
    long cycle = 0;
    int gathered = 0;
    rt::Decimal to_cutoff, total;
  };
  std::map<Invoice, Sums> sums;
  rt::Value cust(rt::integer_t()), inv(rt::integer_t()), amount(rt::decimal_t(12, 2)), cycle(rt::smallint_t());
  for_each_row(
      "SELECT ar_item.ar_customer, ar_item.ar_invoice_nbr, ar_item.ar_tran_type, ar_item.ar_amount, "
      "ar_item.ar_tran_dt, ar_customer.cust_stmt_cycle FROM ar_item, ar_openitem, ar_customer "
      "WHERE ar_item.ar_customer = ar_openitem.aroi_customer AND ar_item.ar_invoice_nbr = ar_openitem.aroi_invoice_nbr "
      "AND ar_item.ar_seq_nbr = ar_openitem.aroi_seq_nbr AND ar_customer.cust_customer = ar_item.ar_customer",
      {}, {&cust, &inv, &type, &amount, &day, &cycle}, "open items", [&] {
        Sums& s = sums[{static_cast<long>(cust.as_int()), static_cast<long>(inv.as_int())}];
        s.cycle = static_cast<long>(cycle.as_int());
        rt::Decimal a = negative.count(type.str()) ? -amount.as_decimal() : amount.as_decimal();
        s.total = s.total + a;
        if (day.as_date() <= cutoff.at(s.cycle)) {
          ++s.gathered;
          s.to_cutoff = s.to_cutoff + a;
        }
      });
  Netting n;
  for (const auto& [invoice, s] : sums) {
    if (s.gathered > 0 && s.to_cutoff.is_zero()) {
      n.zero_by_cutoff[s.cycle].insert(invoice);
    } else if (s.total.is_zero()) {
      n.zero_only_later.insert(invoice);
    } else {
      n.never_zero.insert(invoice);
    }
  }
  return n;
}

TEST_P(Demo, InvoicesShowEveryCaseOfTheClearingRun) {
  ASSERT_TRUE(load_demo(nullptr, nullptr));
  Netting n = net_open_items();
  for (long cycle : {1, 2, 3, 4}) EXPECT_FALSE(n.zero_by_cutoff[cycle].empty()) << "cycle " << cycle;
  EXPECT_GE(n.zero_only_later.size(), 3u);
  EXPECT_GE(n.never_zero.size(), 3u);
  // The sets that binary floating point would not net to zero.
  EXPECT_TRUE(n.zero_by_cutoff[1].count({1001, 410488}));
  EXPECT_TRUE(n.zero_by_cutoff[2].count({1007, 410556}));
  EXPECT_TRUE(n.zero_by_cutoff[3].count({1006, 410890}));
  // A cent short is not zero.
  EXPECT_TRUE(n.never_zero.count({1004, 410950}));
}

// The clearing run's own statements over the demo set find, per cycle,
// exactly the invoices that net to zero in exact decimals.
TEST_P(Demo, ClearingStatementsFindTheInvoicesThatNetToZero) {
  ASSERT_TRUE(load_demo(nullptr, nullptr));
  Netting n = net_open_items();
  rt::Value code(rt::smallint_t()), day(rt::date_t());
  std::map<long, rt::Date> cutoff;
  for_each_row("SELECT arcy_code, arcy_cutoff_date FROM ar_cycle", {}, {&code, &day}, "cycles",
               [&] { cutoff[static_cast<long>(code.as_int())] = day.as_date(); });
  for (const auto& [cycle, date] : cutoff) {
    try_exec("DROP TABLE t_cust_items");
    try_exec("DROP TABLE t_neg_types");
    std::string condition =
        "ar_item.ar_tran_dt<='" + date.format() + "' and ar_customer.cust_stmt_cycle=" + std::to_string(cycle);
    exec(
        "select ar_item.ar_customer, ar_item.ar_tran_type, ar_item.ar_amount, ar_item.ar_invoice_nbr, "
        "ar_item.ar_seq_nbr from ar_item, ar_openitem, ar_customer where ar_item.ar_invoice_nbr = "
        "ar_openitem.aroi_invoice_nbr and ar_item.ar_customer = ar_openitem.aroi_customer and ar_item.ar_seq_nbr = "
        "ar_openitem.aroi_seq_nbr and ar_item.ar_customer = ar_customer.cust_customer and " +
            condition + " into temp t_cust_items",
        {}, "gathering");
    exec(" CREATE INDEX ti_items ON t_cust_items ( ar_customer,ar_tran_type ) ", {}, "index");
    exec("SELECT DISTINCT at_type_code  FROM ar_type WHERE at_oper=\"-\"  INTO TEMP t_neg_types", {}, "types");
    exec(
        "UPDATE t_cust_items SET ar_amount=ar_amount* -1  WHERE ar_tran_type IN (SELECT at_type_code  FROM "
        "t_neg_types)",
        {}, "signing");
    std::set<Invoice> found;
    rt::Value cust(rt::integer_t()), inv(rt::integer_t()), sum(rt::decimal_t(10, 2));
    for_each_row(
        "SELECT t_cust_items.ar_customer,   t_cust_items.ar_invoice_nbr,   SUM(t_cust_items.ar_amount) "
        "ar_amount  FROM t_cust_items GROUP BY 1,2 HAVING SUM(ar_amount)=0 ",
        {}, {&cust, &inv, &sum}, "netting", [&] {
          found.insert({static_cast<long>(cust.as_int()), static_cast<long>(inv.as_int())});
        });
    EXPECT_EQ(found, n.zero_by_cutoff[cycle]) << "cycle " << cycle;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, Demo, all_backends(), backend_name);

}  // namespace
}  // namespace lunadesk::db::test
