// The pieces of the demo set, loaded in this order inside load_demo's
// transaction. Each throws DbError on the first failing insert.
#pragma once

namespace lunadesk::db::demo {

// Salesmen, classes, tax tables, tax use groups and their links, and the
// tax lines and shift links that refer to the groups.
void load_sales_and_tax();
// Transaction types, statement cycles, finance-charge codes, customers with
// their alternate names, items and open items.
void load_receivables();
// Alternate names, products, employees, system parameters, ledger periods
// and accounts, the company record.
void load_reference();

}  // namespace lunadesk::db::demo
