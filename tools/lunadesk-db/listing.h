// The short listing of `lunadesk-db list`: salesmen, tax use groups with
// their number of links, and the open items of each statement cycle with
// their signed balance (summed in exact decimals, signed by the
// transaction types as the clearing run signs them).
//
// Reads only; throws DbError when a select fails.
#pragma once

#include <string>

namespace lunadesk::db {

std::string listing();

}  // namespace lunadesk::db
