// Generated rows at scale for the benchmarks, loaded through each back end's
// C API into a database that already has the schema: `where` is the SQLite
// file, or the PostgreSQL schema (the one ScopedDatabase made).
//
// Codes are stored in no particular order (rows entered over the years are
// not in code order): row i gets the code of (i * k) mod n, for a k prime
// to n. The index on the code is dropped for the load and made again after
// it.
#pragma once

#include <string>

namespace bench {

// n group rows in tx_use_g: codes "00000000" up, each with the product tax
// class "TX1" and serial i + 1; 30 tax classes "TX1".."TX30" in inv_classes.
void seed_groups(bool pg, const std::string& where, long n);
// n salesmen in iq_salesman_name: four-character codes in base 36 (n at
// most 36^4), names "Salesman <code>", no login.
void seed_salesmen(bool pg, const std::string& where, long n);
// 200 tax tables T001..T200, and statement cycles 1..9.
void seed_reference(bool pg, const std::string& where);

}  // namespace bench
