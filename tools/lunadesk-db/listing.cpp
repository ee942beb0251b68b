// The listing of the main tables.
#include "listing.h"

#include <cstdarg>
#include <cstdio>
#include <map>
#include <set>

#include "db_exec.h"

namespace lunadesk::db {

namespace {

// printf into a string, for the aligned columns.
std::string line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string line(const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return std::string(buf) + "\n";
}

std::string date_text(const rt::Value& v) { return v.is_null() ? "-" : v.str(); }

void salesmen(std::string& out) {
  rt::Value code(rt::char_t(4)), name(rt::char_t(35)), login(rt::char_t(10));
  std::string rows;
  int n = 0;
  for_each_row("SELECT iqsn_code, iqsn_name, iqsn_userlogin FROM iq_salesman_name ORDER BY iqsn_code", {},
               {&code, &name, &login}, "reading the salesmen", [&] {
                 ++n;
                 rows += line("  %-5s %-35s %s", code.str().c_str(), name.str().c_str(),
                              login.is_null() ? "-" : login.str().c_str());
               });
  out += line("Salesmen: %d", n);
  if (n) out += line("  %-5s %-35s %s", "Code", "Name", "Login") + rows;
}

void groups(std::string& out) {
  std::map<long, long> links;
  rt::Value link(rt::integer_t()), count(rt::integer_t());
  for_each_row("SELECT tul_link, COUNT(*) FROM tx_use_link GROUP BY tul_link", {}, {&link, &count},
               "counting the tax links", [&] { links[static_cast<long>(link.as_int())] = count.as_int(); });

  rt::Value group(rt::char_t(8)), cls(rt::char_t(5)), desc(rt::char_t(40));
  std::string rows;
  int n = 0;
  for_each_row("SELECT tu_use_g, tu_prodtcl, tu_link, tu_description FROM tx_use_g ORDER BY tu_use_g, tu_prodtcl", {},
               {&group, &cls, &link, &desc}, "reading the tax use groups", [&] {
                 ++n;
                 long l = static_cast<long>(link.as_int());
                 rows += line("  %-8s %-5s %5ld %5ld  %s", group.str().c_str(), cls.str().c_str(), l,
                              links.count(l) ? links[l] : 0L, desc.str().c_str());
               });
  out += line("Tax use groups: %d", n);
  if (n) out += line("  %-8s %-5s %5s %5s  %s", "Group", "Class", "Link", "Taxes", "Description") + rows;
}

struct CycleTotals {
  std::set<long> customers;
  long items = 0;
  rt::Decimal balance;
};

void open_items(std::string& out) {
  std::set<std::string> negative;  // types whose amounts count negative
  rt::Value type(rt::char_t(2)), oper(rt::char_t(1));
  for_each_row("SELECT at_type_code, at_oper FROM ar_type", {}, {&type, &oper}, "reading the transaction types", [&] {
    if (oper.str() == "-") negative.insert(type.str());
  });

  std::map<long, CycleTotals> totals;
  rt::Value cycle(rt::smallint_t()), customer(rt::integer_t()), amount(rt::decimal_t(12, 2));
  for_each_row(
      "SELECT ar_customer.cust_stmt_cycle, ar_item.ar_customer, ar_item.ar_tran_type, ar_item.ar_amount "
      "FROM ar_openitem, ar_item, ar_customer "
      "WHERE ar_item.ar_customer = ar_openitem.aroi_customer "
      "AND ar_item.ar_invoice_nbr = ar_openitem.aroi_invoice_nbr "
      "AND ar_item.ar_seq_nbr = ar_openitem.aroi_seq_nbr "
      "AND ar_customer.cust_customer = ar_item.ar_customer",
      {}, {&cycle, &customer, &type, &amount}, "reading the open items", [&] {
        CycleTotals& t = totals[static_cast<long>(cycle.as_int())];
        t.customers.insert(static_cast<long>(customer.as_int()));
        ++t.items;
        rt::Decimal a = amount.as_decimal();
        t.balance = negative.count(type.str()) ? t.balance - a : t.balance + a;
      });

  out += "Open items by statement cycle\n";
  out += line("  %5s %-25s %-10s %-10s %9s %5s %12s", "Cycle", "Description", "Cut-off", "Last clear", "Customers",
              "Items", "Balance");
  rt::Value code(rt::smallint_t()), desc(rt::char_t(30)), cutoff(rt::date_t()), last(rt::date_t());
  std::set<long> shown;
  for_each_row("SELECT arcy_code, arcy_desc, arcy_cutoff_date, arcy_last_date FROM ar_cycle ORDER BY arcy_code", {},
               {&code, &desc, &cutoff, &last}, "reading the statement cycles", [&] {
                 long c = static_cast<long>(code.as_int());
                 shown.insert(c);
                 const CycleTotals& t = totals[c];
                 out +=
                     line("  %5ld %-25s %-10s %-10s %9zu %5ld %12s", c, desc.str().c_str(), date_text(cutoff).c_str(),
                          date_text(last).c_str(), t.customers.size(), t.items, t.balance.to_string(2).c_str());
               });
  // Open items of customers whose cycle has no row in ar_cycle.
  for (const auto& [c, t] : totals) {
    if (shown.count(c) || t.items == 0) continue;
    out += line("  %5ld %-25s %-10s %-10s %9zu %5ld %12s", c, "(not in ar_cycle)", "-", "-", t.customers.size(),
                t.items, t.balance.to_string(2).c_str());
  }
}

}  // namespace

std::string listing() {
  std::string out;
  salesmen(out);
  out += "\n";
  groups(out);
  out += "\n";
  open_items(out);
  return out;
}

}  // namespace lunadesk::db
