// Demo rows: the tables the named lookups read (alternate names, products,
// employees), the system parameters the library reads, ledger periods and
// accounts of two fiscal years, and the one company record.
#include <string>

#include "db_exec.h"
#include "demo_parts.h"

namespace lunadesk::db::demo {

namespace {

struct Alt {
  int number;
  const char *name, *first_name, *company, *addr1, *city, *state, *zip, *phone;
};

// Payees and contacts; some are companies, some persons.
const Alt kAlts[] = {
    {5001, "Abernathy", "Clara", nullptr, "402 Elm St", "Austin", "TX", "78702", "(512) 555-0201"},
    {5002, "Benavides", "Hector", "Benavides Trucking", "11 Industrial Dr", "Laredo", "TX", "78041", "(956) 555-0202"},
    {5003, "Chu", "Wendy", nullptr, "88 Kirby Dr", "Houston", "TX", "77019", "(713) 555-0203"},
    {5004, "Delacroix", "Andre", "Bayou Pallet Co", "3 Levee Rd", "Shreveport", "LA", "71101", "(318) 555-0204"},
    {5005, "Eriksen", "Lars", nullptr, "1500 Ranch Rd 12", "San Marcos", "TX", "78666", "(512) 555-0205"},
    {5006, "Fontaine", "Marie", "Fontaine Signs", "640 Commerce St", "Dallas", "TX", "75202", "(214) 555-0206"},
    {5007, "Gomez", "Ana", nullptr, "27 Mission Rd", "San Antonio", "TX", "78210", "(210) 555-0207"},
    {5008, "Hart", "Samuel", "Hart & Sons Electric", "909 Main St", "Tulsa", "OK", "74103", "(918) 555-0208"},
    {5009, "Ibarra", "Luis", nullptr, "5 Alamo Plaza", "San Antonio", "TX", "78205", "(210) 555-0209"},
    {5010, "Jansen", "Petra", "Jansen Office Supply", "77 Congress Ave", "Austin", "TX", "78701", "(512) 555-0210"},
    {5011, "Abbott", "Greg", nullptr, "19 Oak Ln", "Round Rock", "TX", "78664", "(512) 555-0211"},
    {5012, "Acme", "Wile", "Acme Rentals", "1 Desert Hwy", "El Paso", "TX", "79901", "(915) 555-0212"},
};

struct Product {
  const char *code, *desc, *uom, *prod_class, *tax_class, *price;
};

const Product kProducts[] = {
    {"HW-1001", "Claw hammer 16 oz", "EA", "HW", "TX", "18.9900"},
    {"HW-1040", "Deck screws 3 in, 5 lb box", "BX", "HW", "TX", "32.5000"},
    {"HW-2210", "Cordless drill 20V", "EA", "HW", "TX", "129.0000"},
    {"PL-0310", "Copper pipe 1/2 in x 10 ft", "LG", "PLMB", "TX", "24.7500"},
    {"PL-0455", "PVC elbow 90 deg 1 in", "EA", "PLMB", "TX", "0.8900"},
    {"PL-1200", "Water heater 50 gal gas", "EA", "PLMB", "TX", "749.0000"},
    {"EL-0100", "Romex 12/2 wire 250 ft", "RL", "ELEC", "TX", "118.0000"},
    {"EL-0420", "Duplex outlet 15A white", "EA", "ELEC", "TX", "1.4900"},
    {"PT-0012", "Exterior paint satin, 1 gal", "GL", "PNT", "TX", "42.9900"},
    {"FU-0001", "Diesel fuel, dyed", "GAL", "FUEL", "FUEL", "3.4190"},
    {"FU-0002", "Unleaded gasoline 87", "GAL", "FUEL", "FUEL", "2.8790"},
    {"FD-0300", "Bottled water 24 pack", "CS", "HW", "FOOD", "5.9900"},
    {"CL-0050", "Work gloves, leather, large", "PR", "HW", "CLTH", "14.5000"},
};

struct Employee {
  const char *empno, *last, *first, *dept;
  int y, m, d;
  const char* status;
};

const Employee kEmployees[] = {
    {"000104", "Whitaker", "Evelyn", "SALE", 2012, 4, 2, "A"},
    {"000117", "Morales", "Carmen", "SALE", 2015, 9, 14, "A"},
    {"000123", "Nguyen", "Thanh", "ACCT", 2016, 1, 11, "A"},
    {"000131", "Nakamura", "Hiroshi", "SALE", 2017, 6, 5, "A"},
    {"000142", "Oduya", "Grace", "WHSE", 2018, 3, 19, "A"},
    {"000150", "Nguyen", "Bao", "WHSE", 2019, 8, 26, "A"},
    {"000163", "Petrov", "Ivan", "DRIV", 2020, 2, 3, "L"},
    {"000178", "Quintero", "Sofia", "ACCT", 2021, 10, 18, "A"},
    {"000185", "Reyes", "Jolene", "SALE", 2022, 7, 11, "A"},
    {"000199", "Sato", "Kenji", "DRIV", 2023, 5, 1, "T"},
};

struct Param {
  int number;
  const char* value;
};

// Printers named by the print-parameters window and the report output,
// and whether dispatch reports print at 10 characters per inch.
const Param kParams[] = {
    {7, "LASER1"}, {1010, "DISPATCH"}, {1011, "Y"}, {5007, "APCHECK"}, {6210, "INVOICE1"},
};

struct Account {
  const char *account, *desc, *group;
  bool only_2026;  // opened during fiscal 2026
};

const Account kAccounts[] = {
    {"1000", "Cash - operating", "CA", false},
    {"1010", "Cash - payroll", "CA", false},
    {"1200", "Accounts receivable", "CA", false},
    {"1300", "Inventory", "CA", false},
    {"1500", "Warehouse equipment", "FA", false},
    {"1700", "Long-term deposits", "LA", false},
    {"2000", "Accounts payable", "CL", false},
    {"2100", "Sales tax payable", "CL", false},
    {"2500", "Note payable - bank", "LL", false},
    {"3000", "Common stock", "CS", false},
    {"3100", "Paid in capital", "PC", false},
    {"3900", "Retained earnings", "RE", false},
    {"4000", "Sales - hardware", "PR", false},
    {"4100", "Sales - fuel", "PR", false},
    {"4200", "Sales - services", "PR", true},
    {"5000", "Cost of goods sold", "PE", false},
    {"6100", "Wages", "EX", false},
    {"6200", "Rent", "EX", false},
    {"7000", "Interest income", "OI", false},
    {"8000", "Interest expense", "OE", false},
};

std::string alt_name_addr(const Alt& a) {
  std::string who = a.company ? a.company : std::string(a.name) + " " + a.first_name;
  return rt::upshift(who + " " + a.addr1 + " " + a.city + " " + a.state + " " + a.zip);
}

int days_in_month(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

void load_reference() {
  for (const Alt& a : kAlts) {
    exec("INSERT INTO p_altname VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
         {integer(a.number), ch(a.name), ch(a.first_name), ch(a.company), ch(a.addr1), ch(a.city), ch(a.state),
          ch(a.zip), ch(a.phone), ch(alt_name_addr(a).c_str())},
         "adding alternate name " + std::to_string(a.number));
  }
  for (const Product& p : kProducts) {
    exec("INSERT INTO inv_header VALUES (?, ?, ?, ?, ?, ?)",
         {ch(p.code), ch(p.desc), ch(p.uom), ch(p.prod_class), ch(p.tax_class), decimal(p.price, 12, 4)},
         "adding product " + std::string(p.code));
  }
  for (const Employee& e : kEmployees) {
    exec("INSERT INTO pymemp VALUES (?, ?, ?, ?, ?, ?)",
         {ch(e.empno), ch(e.last), ch(e.first), ch(e.dept), date(e.y, e.m, e.d), ch(e.status)},
         "adding employee " + std::string(e.empno));
  }
  for (const Param& p : kParams) {
    exec("INSERT INTO sys_parm VALUES (?, ?)", {small(p.number), ch(p.value)},
         "adding system parameter " + std::to_string(p.number));
  }

  // Fiscal years 2025 and 2026 by calendar month; the past ones closed.
  for (int year = 2025; year <= 2026; ++year) {
    for (int month = 1; month <= 12; ++month) {
      bool open = year == 2026 && month >= 11;
      exec("INSERT INTO gl_period VALUES (?, ?, ?, ?, ?)",
           {small(year), small(month), date(year, month, 1), date(year, month, days_in_month(year, month)),
            ch(open ? "O" : "C")},
           "adding ledger period " + std::to_string(year) + "/" + std::to_string(month));
    }
    for (const Account& a : kAccounts) {
      if (a.only_2026 && year != 2026) continue;
      exec("INSERT INTO gl_master VALUES (?, ?, ?, ?, ?)",
           {small(year), ch(a.account), ch(a.desc), ch(a.group), ch("Y")},
           "adding ledger account " + std::string(a.account));
    }
  }

  exec("INSERT INTO co_company_name VALUES (?, ?, ?, ?, ?, ?, ?)",
       {ch("Lunadesk Supply Co."), ch("2400 E Cesar Chavez St"), ch("Austin"), ch("TX"), ch("78702"),
        ch("(512) 555-0100"), ch("accounts@lunadesk-supply.example")},
       "adding the company record");
}

}  // namespace lunadesk::db::demo
