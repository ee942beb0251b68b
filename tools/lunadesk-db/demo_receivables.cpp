// Demo rows: receivables as of 12/08/2026, in four statement cycles.
//
// Cycles 1 and 3 cut off on 11/30/2026, cycle 2 on 11/15/2026, cycle 4 (the
// quarterly one) on 09/30/2026. Each cycle has invoices whose open items,
// signed by their transaction type, net to zero by the cut-off date; ones
// that net only with a payment (or refund) dated after it; and ones that do
// not net at all. Three invoices net to zero only in exact decimals
// (0.10 + 0.20 - 0.30, 200.20 + 100.10 - 300.30, 60.10 + 0.20 - 60.30).
// Older invoices, settled and cleared by earlier runs, are in the history
// without open items.
#include <string>

#include "db_exec.h"
#include "demo_parts.h"

namespace lunadesk::db::demo {

namespace {

// clang-format off
struct Type {
  const char* code;
  const char* oper;
  const char* desc;
};

const Type kTypes[] = {
    {"IN", "+", "Invoice"},     {"DM", "+", "Debit memo"},  {"FC", "+", "Finance charge"},
    {"RF", "+", "Refund issued"}, {"PY", "-", "Payment"},     {"CM", "-", "Credit memo"},
    {"DS", "-", "Discount taken"}, {"WO", "-", "Small balance write-off"},
};

struct Cycle {
  int code;
  const char* desc;
  int cut_y, cut_m, cut_d;
  int last_y, last_m, last_d;  // last clearing date; year 0: never cleared
};

const Cycle kCycles[] = {
    {1, "Month end - retail", 2026, 11, 30, 2026, 10, 31},
    {2, "Mid-month - contractors", 2026, 11, 15, 2026, 10, 15},
    {3, "Month end - wholesale", 2026, 11, 30, 0, 0, 0},
    {4, "Quarterly - government", 2026, 9, 30, 2026, 6, 30},
};

struct FinanceCharge {
  const char* code;
  const char* text;
  const char* rate;  // percent a month
  const char* minimum;
  int grace_days;
};

const FinanceCharge kFinanceCharges[] = {
    {"STD", "1.5% monthly, 2.00 minimum", "1.5000", "2.00", 25},
    {"WHL", "1.0% monthly, 5.00 minimum", "1.0000", "5.00", 30},
    {"LATE", "Flat late fee 25.00", "0.0000", "25.00", 10},
    {"GOV", "Government - no charge", "0.0000", "0.00", 0},
    {"NONE", "No finance charge", "0.0000", "0.00", 0},
};

struct Customer {
  int number;
  const char* name;
  int cycle;
  const char* status;
  const char* slsmn;
  const char* fnc;
  const char* invoice_flag;
  const char* ach_flag;
  const char* credit_limit;
};

const Customer kCustomers[] = {
    {1001, "Brazos Hardware & Supply", 1, "OI", "AB", "STD", "P", "P", "15000.00"},
    {1002, "Hill Country Plumbing", 2, "OI", "BK", "WHL", "E", "M", "25000.00"},
    {1003, "Lone Star Electric Co", 1, "OH", "CM", "STD", "P", "N", "10000.00"},
    {1004, "Okafor, Chidi", 1, "BF", "EW", "STD", "M", "M", "1500.00"},
    {1005, "Pecan Street Cafe", 1, "OI", "FO", "STD", "E", "P", "5000.00"},
    {1006, "Gulf Coast Marine", 3, "OI", "GH", "WHL", "F", "F", "50000.00"},
    {1007, "Red River Contractors", 2, "OI", "HN", "WHL", "P", "P", "20000.00"},
    {1008, "Travis County Facilities", 4, "OI", "JR", "GOV", "E", "N", "100000.00"},
    {1009, "Martinez, Rosa", 1, "BH", "KL", "LATE", "M", "M", "1000.00"},
    {1010, "Canyon Fuel Distributors", 3, "OI", "MO", "WHL", "E", "M", "75000.00"},
    {1011, "Sabine Outfitters", 1, "CL", "DT", "NONE", "P", "N", "0.00"},
};

struct AltName {
  int customer, alt;
  const char *slsmn, *phone, *type, *tax_flag, *tax_id, *price_lvl, *contact, *fax;
  const char *name, *first_name, *company, *attention, *addr1, *city, *state, *zip, *active;
  int start_y, start_m, start_d, chg_y, chg_m, chg_d;
};

const AltName kAltNames[] = {
    {1001, 0, "AB", "(512) 555-0142", "B", "Y", "1742219803", "A", "Dale Haskins", "(512) 555-0143", "Haskins",
     "Dale", "Brazos Hardware & Supply", "Accounts Payable", "1200 S Lamar Blvd", "Austin", "TX", "78704", "Y",
     2014, 3, 1, 2026, 6, 12},
    {1001, 1, "AB", "(512) 555-0150", "S", "Y", "1742219803", "A", "Receiving dock", "(512) 555-0151", "Haskins",
     "Dale", "Brazos Hardware - Yard", "Receiving", "8800 Burleson Rd", "Austin", "TX", "78744", "Y", 2019, 5, 20,
     2025, 11, 3},
    {1002, 0, "BK", "(830) 555-0117", "B", "N", "3201187745", "B", "Lupe Garza", "(830) 555-0118", "Garza",
     "Guadalupe", "Hill Country Plumbing", "Office", "415 W Main St", "Fredericksburg", "TX", "78624", "Y", 2011, 9,
     15, 2026, 2, 1},
    {1003, 0, "CM", "(214) 555-0190", "B", "Y", "1759920031", "B", "Ray Odum", "(214) 555-0191", "Odum", "Raymond",
     "Lone Star Electric Co", "Credit Dept", "2250 Irving Blvd", "Dallas", "TX", "75207", "Y", 2016, 1, 11, 2026,
     11, 20},
    {1004, 0, "EW", "(713) 555-0163", "B", "Y", nullptr, "C", "Chidi Okafor", nullptr, "Okafor", "Chidi", nullptr,
     nullptr, "9 Heights Blvd Apt 4", "Houston", "TX", "77007", "Y", 2023, 4, 2, 2026, 9, 30},
    {1005, 0, "FO", "(512) 555-0178", "B", "Y", "1744410098", "A", "Mae Lin", "(512) 555-0179", "Lin", "Mae",
     "Pecan Street Cafe", "Owner", "310 E 6th St", "Austin", "TX", "78701", "Y", 2018, 8, 8, 2025, 12, 15},
    {1006, 0, "GH", "(409) 555-0105", "B", "N", "1760033321", "B", "Ole Sandvik", "(409) 555-0106", "Sandvik", "Ole",
     "Gulf Coast Marine", "Accounts Payable", "1 Seawall Blvd", "Galveston", "TX", "77550", "Y", 2009, 2, 17, 2026,
     7, 7},
    {1006, 1, "GH", "(409) 555-0110", "S", "N", "1760033321", "B", "Dock master", "(409) 555-0111", "Sandvik", "Ole",
     "Gulf Coast Marine - Pier 21", "Dock Office", "2100 Harborside Dr", "Galveston", "TX", "77550", "Y", 2015, 6, 1,
     2024, 3, 12},
    {1007, 0, "HN", "(940) 555-0127", "B", "N", "1752200874", "B", "Wes Tolliver", "(940) 555-0128", "Tolliver",
     "Wesley", "Red River Contractors", "Project Accounting", "77 Scott Ave", "Wichita Falls", "TX", "76301", "Y",
     2020, 10, 5, 2026, 10, 1},
    {1008, 0, "JR", "(512) 555-0199", "B", "N", "EXEMPT-GOV", "C", "Purchasing Desk", "(512) 555-0198", "Alvarez",
     "Nora", "Travis County Facilities", "Purchasing", "700 Lavaca St", "Austin", "TX", "78701", "Y", 2012, 1, 3,
     2026, 1, 5},
    {1009, 0, "KL", "(210) 555-0134", "B", "Y", nullptr, "C", "Rosa Martinez", nullptr, "Martinez", "Rosa", nullptr,
     nullptr, "1422 Nogalitos St", "San Antonio", "TX", "78204", "Y", 2024, 2, 14, 2026, 11, 2},
    {1010, 0, "MO", "(432) 555-0181", "B", "N", "1757781120", "A", "Bo Keene", "(432) 555-0182", "Keene",
     "Beauregard", "Canyon Fuel Distributors", "Accounts Payable", "5000 W Wall St", "Midland", "TX", "79703", "Y",
     2010, 5, 24, 2026, 8, 19},
    {1011, 0, "DT", "(409) 555-0155", "B", "Y", "1748800213", "B", "Jean Broussard", nullptr, "Broussard", "Jean",
     "Sabine Outfitters", nullptr, "18 Main St", "Orange", "TX", "77630", "N", 2013, 3, 3, 2026, 8, 31},
};

struct Item {
  int customer, invoice, seq;
  const char* type;
  const char* amount;
  int y, m, d;
  const char* ref;
  bool open;  // false: cleared by an earlier run
};

const Item kItems[] = {
    // Cycle 1, cut-off 11/30/2026.
    {1001, 408010, 1, "IN", "980.00", 2026, 8, 4, "SO-87702", false},
    {1001, 408010, 2, "PY", "980.00", 2026, 9, 2, "CK 4390", false},
    {1001, 410233, 1, "IN", "1250.00", 2026, 10, 6, "SO-88121", true},  // nets to zero
    {1001, 410233, 2, "PY", "1250.00", 2026, 11, 4, "CK 4471", true},
    {1001, 410488, 1, "IN", "0.10", 2026, 10, 20, "SO-88190", true},  // 0.10 + 0.20 - 0.30
    {1001, 410488, 2, "DM", "0.20", 2026, 10, 27, "FREIGHT", true},
    {1001, 410488, 3, "PY", "0.30", 2026, 11, 18, "CK 4502", true},
    {1001, 411020, 1, "IN", "612.40", 2026, 11, 12, "SO-88433", true},  // unpaid
    {1003, 409877, 1, "IN", "845.15", 2026, 9, 22, "SO-87960", true},  // nets to zero
    {1003, 409877, 2, "CM", "45.15", 2026, 10, 1, "RMA 1190", true},
    {1003, 409877, 3, "PY", "800.00", 2026, 11, 5, "CK 20417", true},
    {1003, 410301, 1, "IN", "3480.00", 2026, 10, 8, "SO-88150", true},  // settled in December
    {1003, 410301, 2, "PY", "1500.00", 2026, 11, 2, "CK 20433", true},
    {1003, 410301, 3, "PY", "1980.00", 2026, 12, 3, "CK 20461", true},
    {1004, 408800, 1, "IN", "120.00", 2026, 8, 15, "SO-87801", false},
    {1004, 408800, 2, "PY", "120.00", 2026, 9, 10, "CC 1102", false},
    {1004, 410950, 1, "IN", "89.95", 2026, 11, 9, "SO-88410", true},  // a cent short
    {1004, 410950, 2, "PY", "89.94", 2026, 11, 25, "CC 1185", true},
    {1005, 410777, 1, "IN", "215.60", 2026, 10, 29, "SO-88302", true},  // discount and payment
    {1005, 410777, 2, "DS", "4.31", 2026, 11, 8, "2% 10", true},
    {1005, 410777, 3, "PY", "211.29", 2026, 11, 8, "ACH", true},
    {1005, 411105, 1, "IN", "98.00", 2026, 11, 20, "SO-88470", true},  // overpaid, refunded later
    {1005, 411105, 2, "PY", "100.00", 2026, 11, 28, "CK 3310", true},
    {1005, 411105, 3, "RF", "2.00", 2026, 12, 2, "CK 9003", true},
    {1009, 410640, 1, "IN", "19.99", 2026, 10, 25, "SO-88255", true},  // paid the day after
    {1009, 410640, 2, "PY", "19.99", 2026, 12, 1, "CASH", true},
    {1009, 411300, 1, "FC", "2.50", 2026, 11, 30, "FC NOV", true},  // on the cut-off day
    {1011, 407500, 1, "IN", "310.00", 2026, 7, 10, "SO-87510", false},
    {1011, 407500, 2, "PY", "310.00", 2026, 8, 1, "CK 118", false},
    // Cycle 2, cut-off 11/15/2026.
    {1002, 410120, 1, "IN", "2200.00", 2026, 10, 3, "SO-88101", true},  // nets to zero
    {1002, 410120, 2, "PY", "2200.00", 2026, 11, 14, "CK 7781", true},
    {1002, 410905, 1, "IN", "760.25", 2026, 11, 6, "SO-88401", true},  // paid after the cut-off
    {1002, 410905, 2, "PY", "760.25", 2026, 11, 20, "CK 7790", true},
    {1002, 411001, 1, "IN", "1333.33", 2026, 11, 10, "SO-88425", true},  // credit, rest open
    {1002, 411001, 2, "CM", "333.33", 2026, 11, 12, "RMA 1201", true},
    {1007, 410556, 1, "IN", "200.20", 2026, 10, 19, "SO-88211", true},  // 200.20 + 100.10 - 300.30
    {1007, 410556, 2, "DM", "100.10", 2026, 10, 30, "RESTOCK", true},
    {1007, 410556, 3, "PY", "300.30", 2026, 11, 13, "CK 55102", true},
    {1007, 410870, 1, "IN", "4410.00", 2026, 11, 2, "SO-88390", true},  // half paid
    {1007, 410870, 2, "PY", "2205.00", 2026, 11, 9, "CK 55120", true},
    // Cycle 3, cut-off 11/30/2026, never cleared before.
    {1006, 409500, 1, "IN", "5400.00", 2026, 9, 5, "SO-87900", true},  // two instalments
    {1006, 409500, 2, "PY", "2700.00", 2026, 10, 5, "WIRE", true},
    {1006, 409500, 3, "PY", "2700.00", 2026, 11, 5, "WIRE", true},
    {1006, 410888, 1, "IN", "980.00", 2026, 11, 3, "SO-88380", true},  // unpaid
    {1006, 410890, 1, "IN", "60.10", 2026, 11, 4, "SO-88381", true},  // 60.10 + 0.20 - 60.30
    {1006, 410890, 2, "DM", "0.20", 2026, 11, 6, "FUEL SURCH", true},
    {1006, 410890, 3, "PY", "60.30", 2026, 11, 24, "WIRE", true},
    {1010, 410700, 1, "IN", "14250.75", 2026, 10, 27, "SO-88290", true},  // paid, cents written off
    {1010, 410700, 2, "PY", "14250.00", 2026, 11, 20, "WIRE", true},
    {1010, 410700, 3, "WO", "0.75", 2026, 11, 30, "SMALL BAL", true},
    {1010, 411400, 1, "IN", "8800.00", 2026, 11, 28, "SO-88520", true},  // paid in December
    {1010, 411400, 2, "PY", "8800.00", 2026, 12, 4, "WIRE", true},
    // Cycle 4, cut-off 09/30/2026.
    {1008, 409100, 1, "IN", "3125.00", 2026, 8, 20, "PO 26-0311", true},  // nets to zero
    {1008, 409100, 2, "PY", "3125.00", 2026, 9, 25, "EFT", true},
    {1008, 409650, 1, "IN", "1875.50", 2026, 9, 15, "PO 26-0388", true},  // paid in October
    {1008, 409650, 2, "PY", "1875.50", 2026, 10, 15, "EFT", true},
    {1008, 411150, 1, "IN", "640.00", 2026, 11, 16, "PO 26-0452", true},  // after the cut-off
};

// The searched text of an alternate name: the name as the lookup shows it,
// then the address, in capitals.
std::string name_addr(const AltName& a) {
  std::string who = a.company ? a.company : std::string(a.name) + " " + a.first_name;
  return rt::upshift(who + " " + a.addr1 + " " + a.city + " " + a.state + " " + a.zip);
}
// clang-format on

}  // namespace

void load_receivables() {
  for (const Type& t : kTypes) {
    exec("INSERT INTO ar_type VALUES (?, ?, ?)", {ch(t.code), ch(t.oper), ch(t.desc)},
         "adding transaction type " + std::string(t.code));
  }
  for (const Cycle& c : kCycles) {
    exec("INSERT INTO ar_cycle VALUES (?, ?, ?, ?)",
         {small(c.code), ch(c.desc), date(c.cut_y, c.cut_m, c.cut_d),
          c.last_y ? date(c.last_y, c.last_m, c.last_d) : null_date()},
         "adding statement cycle " + std::to_string(c.code));
  }
  for (const FinanceCharge& f : kFinanceCharges) {
    exec("INSERT INTO ar_fnc_table VALUES (?, ?, ?, ?, ?)",
         {ch(f.code), ch(f.text), rate(f.rate), money(f.minimum), small(f.grace_days)},
         "adding finance-charge code " + std::string(f.code));
  }
  for (const Customer& c : kCustomers) {
    exec("INSERT INTO ar_customer VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
         {integer(c.number), ch(c.name), small(c.cycle), ch(c.status), ch(c.slsmn), ch(c.fnc), ch(c.invoice_flag),
          ch(c.ach_flag), money(c.credit_limit)},
         "adding customer " + std::to_string(c.number));
  }
  for (const AltName& a : kAltNames) {
    exec("INSERT INTO ar_altname VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
         {integer(a.customer),
          integer(a.alt),
          ch(name_addr(a).c_str()),
          ch(a.slsmn),
          ch(a.phone),
          ch(a.type),
          ch(a.tax_flag),
          ch(a.tax_id),
          ch(a.price_lvl),
          ch(a.contact),
          ch(a.fax),
          ch(a.name),
          ch(a.first_name),
          ch(a.company),
          ch(a.attention),
          ch(a.addr1),
          ch(a.city),
          ch(a.state),
          ch(a.zip),
          ch(a.active),
          date(a.start_y, a.start_m, a.start_d),
          date(a.chg_y, a.chg_m, a.chg_d)},
         "adding the alternate name of customer " + std::to_string(a.customer));
  }
  for (const Item& it : kItems) {
    std::string what = "adding item " + std::to_string(it.invoice) + "/" + std::to_string(it.seq);
    exec("INSERT INTO ar_item VALUES (?, ?, ?, ?, ?, ?, ?)",
         {integer(it.customer), integer(it.invoice), small(it.seq), ch(it.type), money(it.amount),
          date(it.y, it.m, it.d), ch(it.ref)},
         what);
    if (it.open) {
      exec("INSERT INTO ar_openitem VALUES (?, ?, ?)", {integer(it.customer), integer(it.invoice), small(it.seq)},
           what);
    }
  }
}

}  // namespace lunadesk::db::demo
