// Receivables for the clearing benchmark: a deterministic generator of
// transaction types, statement cycles, customers, items and open items at
// a given scale, and loaders that put them into a fresh "lunadesk"
// database through each back end's own C API (so that a million rows load
// in seconds, not through the programs' SQL layer).
//
// The shape at N items: about N/5 invoices of 2 to 8 items, N/50 customers
// over 10 cycles, 6 transaction types of which 2 ("PY", "CM") count
// negative. Of the invoices, about 40% net to zero by the end date, 10%
// only with a payment dated after it, 45% never, and 5% are history whose
// items are no longer open. Amounts are random cents, so that summed as
// binary floating point most zero-netting invoices would not come to
// exactly zero; the generator counts how many a double sum in item order
// misses.
//
// How the items are spread (Spread): evenly over the customers as above;
// one customer (number 1) holding a share of the items and the rest spread
// evenly; or every invoice of one item, of which about 8% are zero lines
// (net to zero on their own) and the rest charges never paid: five times
// the invoices of the other spreads, of which about as many net to zero
// (the run's work per matched invoice is one DELETE, which this spread
// does not multiply; it deletes that many items, fewer than the others).
//
// Owns nothing beyond one call; the same N, spread and seed give the same
// rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace bench {

// The end date the benchmark clears up to.
inline constexpr const char* kEndDateIso = "2026-11-30";
// The criteria condition for it, as query by example writes it.
inline constexpr const char* kEndDateCondition = "ar_item.ar_tran_dt<='11/30/2026'";

struct GenStats {
  long items = 0;
  long open_items = 0;
  long invoices = 0;
  long customers = 0;
  long zero_by_date = 0;  // invoices whose open items net to zero by the date
  long zero_later = 0;    // invoices that net to zero only with a later payment
  long float_misses = 0;  // of zero_by_date, those a double sum misses
};

// Where the rows go. Amounts are in cents.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void type(const char* code, const char* oper) = 0;
  virtual void cycle(int code) = 0;
  virtual void customer(long customer, int cycle) = 0;
  virtual void item(long customer, long invoice, int seq, const char* type, std::int64_t cents,
                    const std::string& date_iso, bool open) = 0;
};

struct Spread {
  int big_share = 0;      // percent of the items on customer 1 (0: none)
  bool one_item = false;  // every invoice one item
  std::string name() const;
};

// "uniform", "10%", "50%", "100%" (customer 1's share), "one-item";
// nullopt for anything else.
std::optional<Spread> spread_named(const std::string& name);

GenStats generate(long n_items, Sink& sink, Spread spread = {}, std::uint64_t seed = 20261130);

// Creates the schema on the database the environment names (rt::sql) and
// loads the generated rows with the back end's C API, then gathers the
// planner's statistics and keeps a copy of ar_openitem in bench_openitem.
// Throws std::runtime_error on failure.
GenStats load(long n_items, Spread spread, bool pg, const std::string& sqlite_path);

// Puts ar_openitem and ar_cycle back as load() left them, with fresh
// statistics, so that every timed run starts from the same state.
void reset(bool pg, const std::string& sqlite_path);

}  // namespace bench
