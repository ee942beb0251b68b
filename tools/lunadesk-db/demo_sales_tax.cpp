// Demo rows: salesmen, product and tax classes, tax tables, tax use groups
// with their links, and the tax lines that refer to the groups.
//
// The groups cover what the maintenance program must handle: a group code
// with several classes sharing one description, groups without links, one
// with more links than the screen shows (12), one without links that tax
// lines still refer to (so it cannot be deleted), and one that nothing
// refers to.
#include <map>
#include <string>
#include <vector>

#include "db_exec.h"
#include "demo_parts.h"

namespace lunadesk::db::demo {

namespace {

// clang-format off
struct Salesman {
  const char* code;
  const char* name;
  const char* login;  // nullptr: no login
};

// Several salesmen have no login name; the others are unique.
const Salesman kSalesmen[] = {
    {"AB", "Alice Brennan", "abrennan"},      {"BK", "Bernard Kowalski", "bkowalski"},
    {"CM", "Carmen Morales", "cmorales"},     {"DT", "Daniel Thibodeaux", nullptr},
    {"EW", "Evelyn Whitaker", "ewhitaker"},   {"FO", "Farid Okonkwo", "fokonkwo"},
    {"GH", "Grace Halvorsen", "ghalvorsen"},  {"HN", "Hiroshi Nakamura", "hnakamura"},
    {"JR", "Jolene Reyes", "jreyes"},         {"KL", "Kevin Lindqvist", "klindqvist"},
    {"MO", "Margaret O'Pry", "mopry"},        {"WEB", "Web Orders (house account)", nullptr},
};

struct ClassRow {
  const char* code;
  const char* type;
  const char* desc;
};

// Type "T" are the product tax classes; "P" product lines and "C" customer
// classes. FUEL exists as a tax class and as a product line.
const ClassRow kClasses[] = {
    {"TX", "T", "Taxable - general merchandise"}, {"NT", "T", "Non-taxable"},
    {"FOOD", "T", "Food and grocery"},             {"CLTH", "T", "Clothing and footwear"},
    {"MED", "T", "Prescription medicine"},         {"FUEL", "T", "Motor fuel"},
    {"ALC", "T", "Alcoholic beverages"},           {"SVC", "T", "Taxable services"},
    {"HW", "P", "Hardware"},                       {"PLMB", "P", "Plumbing"},
    {"ELEC", "P", "Electrical"},                   {"FUEL", "P", "Fuel and lubricants"},
    {"PNT", "P", "Paint and sundries"},            {"RET", "C", "Retail"},
    {"WHL", "C", "Wholesale"},                     {"GOV", "C", "Government"},
};

struct TaxTable {
  const char* code;
  const char* level;  // F federal, S state, C county, L city, D district
  const char* where;
  const char* rate;
  int year, month, day;  // effective date
  const char* charge;    // "Y" charged to the customer
  const char* descr;
};

const TaxTable kTaxTables[] = {
    {"FET", "F", "US", "0.184000", 1997, 10, 1, "N", "Federal excise tax, gasoline"},
    {"FETD", "F", "US", "0.244000", 1997, 10, 1, "N", "Federal excise tax, diesel"},
    {"TXST", "S", "TX", "0.062500", 1990, 7, 1, "Y", "Texas state sales tax"},
    {"TXFU", "S", "TX", "0.200000", 1991, 10, 1, "N", "Texas diesel fuel tax"},
    {"TXMB", "S", "TX", "0.067000", 2014, 1, 1, "Y", "Texas mixed beverage tax"},
    {"OKST", "S", "OK", "0.045000", 2017, 1, 1, "Y", "Oklahoma state sales tax"},
    {"LAST", "S", "LA", "0.050000", 2025, 1, 1, "Y", "Louisiana state sales tax"},
    {"NMGR", "S", "NM", "0.048750", 2024, 7, 1, "Y", "New Mexico gross receipts tax"},
    {"ARST", "S", "AR", "0.065000", 2013, 7, 1, "Y", "Arkansas state sales tax"},
    {"TRAV", "C", "TRAVIS", "0.005000", 2020, 1, 1, "Y", "Travis county tax"},
    {"BEXR", "C", "BEXAR", "0.005000", 2020, 1, 1, "Y", "Bexar county tax"},
    {"ELPC", "C", "EL PASO", "0.005000", 2020, 1, 1, "Y", "El Paso county tax"},
    {"TULC", "C", "TULSA", "0.003670", 2021, 4, 1, "Y", "Tulsa county tax"},
    {"CADC", "C", "CADDO", "0.032500", 2022, 1, 1, "Y", "Caddo parish tax"},
    {"SFCO", "C", "SANTA FE", "0.013125", 2023, 7, 1, "Y", "Santa Fe county tax"},
    {"AUST", "L", "AUSTIN", "0.010000", 2010, 1, 1, "Y", "City of Austin"},
    {"SANA", "L", "SANANTONIO", "0.012500", 2010, 1, 1, "Y", "City of San Antonio"},
    {"HOUS", "L", "HOUSTON", "0.010000", 2010, 1, 1, "Y", "City of Houston"},
    {"DALL", "L", "DALLAS", "0.010000", 2010, 1, 1, "Y", "City of Dallas"},
    {"ELPS", "L", "EL PASO", "0.010000", 2010, 1, 1, "Y", "City of El Paso"},
    {"TULS", "L", "TULSA", "0.036500", 2021, 4, 1, "Y", "City of Tulsa"},
    {"OKCL", "L", "OKC", "0.041250", 2018, 1, 1, "Y", "Oklahoma City"},
    {"SHRV", "L", "SHREVEPORT", "0.047500", 2022, 1, 1, "Y", "City of Shreveport"},
    {"LRCK", "L", "LITTLEROCK", "0.015000", 2019, 1, 1, "Y", "City of Little Rock"},
    {"SFCI", "L", "SANTA FE", "0.038750", 2023, 7, 1, "Y", "City of Santa Fe"},
    {"MTA", "D", "AUSTIN", "0.010000", 2010, 1, 1, "Y", "Capital Metro transit"},
    {"MTAH", "D", "HOUSTON", "0.010000", 2010, 1, 1, "Y", "Houston METRO transit"},
    {"ATD", "D", "SANANTONIO", "0.001250", 2015, 1, 1, "Y", "Advanced transportation dist."},
    {"DART", "D", "DALLAS", "0.010000", 2010, 1, 1, "Y", "Dallas area rapid transit"},
    {"ESD", "D", "TRAVIS", "0.010000", 2024, 1, 1, "Y", "Emergency services district 4"},
};

struct Link {
  const char* tax_code;
  const char* sched;
};

struct Group {
  const char* group;
  const char* prodtcl;
  const char* desc;
  std::vector<Link> links;
};

const Group kGroups[] = {
    {"AUSTIN", "TX", "Austin retail", {{"TXST", "01"}, {"TRAV", "02"}, {"AUST", "03"}, {"MTA", "04"}, {"ESD", "05"}}},
    {"AUSTIN", "CLTH", "Austin retail", {{"TXST", "01"}, {"AUST", "03"}, {"MTA", "04"}}},
    {"AUSTIN", "FOOD", "Austin retail", {}},
    {"HOUSTON", "TX", "Houston retail", {{"TXST", "01"}, {"HOUS", "03"}, {"MTAH", "04"}}},
    {"SANANT", "TX", "San Antonio retail", {{"TXST", "01"}, {"BEXR", "02"}, {"SANA", "03"}, {"ATD", "04"}}},
    {"FUELTX", "FUEL", "Texas motor fuel", {{"TXFU", "FT1"}, {"FET", "720"}, {"FETD", "720"}}},
    {"TULSA", "TX", "Tulsa retail", {{"OKST", "STS"}, {"TULC", "CO"}, {"TULS", "CITY"}}},
    {"MULTI",
     "TX",
     "Multi-state delivery",
     {{"TXST", "01"}, {"OKST", "OK1"}, {"LAST", "R1029"}, {"NMGR", "TRD41"}, {"ARST", "ET1"}, {"TRAV", "02"},
      {"TULC", "OK2"}, {"CADC", "R1029"}, {"SFCO", "TRD41"}, {"AUST", "03"}, {"SHRV", "R1029"}, {"LRCK", "ET1"}}},
    {"WHOLESAL", "NT", "Wholesale - resale certificate", {}},
    {"EXEMPT", "NT", "Exempt organisations", {}},
    {"BAR", "ALC", "Mixed beverage sales", {{"TXMB", "MB1"}}},
};
// clang-format on

}  // namespace

void load_sales_and_tax() {
  for (const Salesman& s : kSalesmen) {
    exec("INSERT INTO iq_salesman_name VALUES (?, ?, ?)", {ch(s.code), ch(s.name), ch(s.login)},
         "adding salesman " + std::string(s.code));
  }
  for (const ClassRow& c : kClasses) {
    exec("INSERT INTO inv_classes VALUES (?, ?, ?)", {ch(c.code), ch(c.type), ch(c.desc)},
         "adding class " + std::string(c.code));
  }

  std::map<std::string, long> trn;  // tax code -> tt_trn
  for (const TaxTable& t : kTaxTables) {
    trn[t.code] = insert_with_serial(
        "INSERT INTO tx_table (tt_code, tt_level, tt_where, tt_rate, tt_date, tt_charge, tt_descr, tt_trn) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
        {ch(t.code), ch(t.level), ch(t.where), rate(t.rate), date(t.year, t.month, t.day), ch(t.charge), ch(t.descr)},
        "tx_table", "tt_trn");
  }

  std::map<std::string, long> link;  // "GROUP/CLASS" -> tu_link
  for (const Group& g : kGroups) {
    long tu_link =
        insert_with_serial("INSERT INTO tx_use_g (tu_use_g, tu_prodtcl, tu_description, tu_link) VALUES (?, ?, ?, ?)",
                           {ch(g.group), ch(g.prodtcl), ch(g.desc)}, "tx_use_g", "tu_link");
    link[std::string(g.group) + "/" + g.prodtcl] = tu_link;
    for (const Link& l : g.links) {
      exec("INSERT INTO tx_use_link VALUES (?, ?, ?)", {integer(tu_link), integer(trn.at(l.tax_code)), ch(l.sched)},
           "linking tax table " + std::string(l.tax_code) + " to group " + g.group);
    }
  }

  // Tax lines that refer to groups. AUSTIN/FOOD and WHOLESAL/NT have no
  // links but are still referred to, so they cannot be deleted.
  exec("INSERT INTO sih_inv_tax VALUES (?, ?, ?, ?, ?, ?)",
       {integer(408800), small(1), integer(link.at("AUSTIN/FOOD")), integer(trn.at("TXST")), money("120.00"),
        money("0.00")},
       "adding invoice history tax lines");
  exec("INSERT INTO sih_inv_tax VALUES (?, ?, ?, ?, ?, ?)",
       {integer(409100), small(1), integer(link.at("AUSTIN/TX")), integer(trn.at("TXST")), money("3125.00"),
        money("195.31")},
       "adding invoice history tax lines");
  exec("INSERT INTO si_inv_tax VALUES (?, ?, ?, ?, ?, ?)",
       {integer(411400), small(1), integer(link.at("WHOLESAL/NT")), integer(trn.at("TXST")), money("8800.00"),
        money("0.00")},
       "adding invoice tax lines");
  exec("INSERT INTO fm_lad_tax VALUES (?, ?, ?, ?, ?)",
       {integer(70214), small(1), integer(link.at("FUELTX/FUEL")), integer(trn.at("TXFU")), money("1640.00")},
       "adding bill of lading tax lines");

  // Shift links of profit centre 1 for the first days of December, each
  // with its shift's sales tax.
  const char* taxable[] = {"6595.04", "6220.00", "8016.96"};
  const char* tax[] = {"412.19", "388.75", "501.06"};
  for (int day = 1; day <= 3; ++day) {
    long shl = insert_with_serial(
        "INSERT INTO rs_shiftlink (rssl_prft_ctr, rssl_shift, rssl_date, rssl_shl) VALUES (?, ?, ?, ?)",
        {small(1), small(1), date(2026, 12, day)}, "rs_shiftlink", "rssl_shl");
    exec("INSERT INTO rs_taxes VALUES (?, ?, ?, ?, ?)",
         {integer(shl), integer(link.at("HOUSTON/TX")), integer(trn.at("TXST")), money(taxable[day - 1]),
          money(tax[day - 1])},
         "adding shift tax lines");
  }
}

}  // namespace lunadesk::db::demo
