// The demo data set of "lunadesk": a small, realistic site as of
// 12/08/2026 — salesmen, tax classes and tax tables, tax use groups with and
// without links, receivables in four statement cycles whose invoices show
// every case of the clearing run (netting to zero by the cut-off date, only
// with a later payment, not at all, and sets such as 0.10 + 0.20 - 0.30 that
// only exact decimals net to zero), the lookup tables, the system
// parameters the library reads, the company record and a few
// finance-charge codes.
//
// Part of the library `lunadesk_schema`. Works on the current connection;
// never connects, never prints, never stops the program.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "schema.h"

namespace lunadesk::db {

struct DemoReport {
  SchemaReport schema;  // what creating the schema did first
  bool loaded = false;
  // When loaded: the rows added, per table, in load order.
  std::vector<std::pair<std::string, long>> rows_added;
  // When not loaded: the tables of the demo set that already hold rows.
  std::vector<std::pair<std::string, long>> occupied;
};

// Creates the schema if needed (create_schema), then adds the demo rows in
// one transaction — but only when every table the demo fills is empty;
// otherwise it adds nothing and reports the tables that hold rows (a second
// run therefore never duplicates rows). Returns false with a one-line reason
// on failure; then nothing of the demo set was added.
bool load_demo(DemoReport* report, std::string* error);

// The tables the demo set fills.
const std::vector<std::string>& demo_tables();

}  // namespace lunadesk::db
