// Functions that the embedded back end registers on each of its SQLite
// connections so that the dialect means the same there as on PostgreSQL:
//   sum(x), total(x), avg(x)  exact decimal arithmetic instead of binary
//                             floating point (0.10 + 0.20 - 0.30 is 0); avg
//                             keeps the places numeric division gives
//   dec_add, dec_sub, dec_mul, dec_div (a, b), dec_neg(a), dec_abs(a)
//                             exact arithmetic where the translator sees a
//                             DECIMAL operand; dec_div divides as numeric
//                             division does (Decimal::quotient_scale);
//                             a quotient, and what is computed from one,
//                             comes back as text keeping its places
//   dec_cmp(a, b)             -1, 0 or 1, exactly
//   dec_between(x, a, b), dec_in(x, a, ...)
//                             BETWEEN and IN, exactly, nulls as SQL has them
//   dec_store(x, p, s)        x rounded to s places (half away from zero),
//                             refused when it needs more than p digits
//   dec_round, dec_trunc (x [, n])  numeric ROUND and TRUNC to n places
//   dec_min(x), dec_max(x)    MIN and MAX of decimals compared exactly
//   dec_num(x)                text read as a number, refused (-1213) when
//                             it is none: a text value compared with one
//   like(pattern, x [, esc])  LIKE as on PostgreSQL: case counts, a
//                             backslash escapes unless ESCAPE says
//   mdy(m, d, y)              the date (ISO text), -1218 when there is none
//   glob(pattern, x)          the MATCHES matcher (pattern.h): the
//                             translator writes x MATCHES p as x GLOB p
//   one_value(x)              the aggregate a query used as one value is
//                             read through: a second row is -284
//   dec_key(x)                a key that orders decimals by value, in
//                             whatever form they are held (sqlite_rows.cpp)
//   dec_text(x, s)            x as text with s places, for ||
//   date_in(x, f)             text read as a date (DBDATE form f, or ISO),
//                             -1218 when it is none: text stored into or
//                             compared with a DATE
//   date_text(d, f)           a DATE as text in the DBDATE form f
//
// How a DECIMAL lives in SQLite: as the plain number whenever SQLite holds
// it exactly (INTEGER when whole, REAL when 15 significant digits carry
// it), so that the file reads naturally in any SQLite tool; a value that
// needs more digits is kept as the exact text in a BLOB, which no column
// affinity ever converts. Every value the layer stores or computes is in
// this one form, with the zeros that end a fraction dropped, so that equal
// amounts are equal values and group together. A decimal that does not fit
// 38 digits is error -1226; a text that is no number -1213; a division by
// zero -1202.
#pragma once

#include "values/decimal.h"

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_context;
struct sqlite3_value;

namespace rt::sql::detail {

// Returns an SQLite result code.
int register_sqlite_functions(sqlite3* db);

// one_value() and dec_key() (sqlite_rows.cpp); an SQLite result code.
int register_row_functions(sqlite3* db);

// The memory a connection keeps pages of the file and of its temporary
// tables in, as most (negative: in KiB, as SQLite reads it). SQLite's own
// default is 2 MB for each; a program that gathers a million items into a
// temporary table and then looks up each matched invoice in the file would
// read most pages again from the operating system's cache, page by page,
// for every lookup. The temporary tables get as much as the PostgreSQL
// back end gives them (temp_buffers). Pages are kept only as they are
// read: a small database costs no more than before.
inline constexpr const char* kSessionMemory = "PRAGMA main.cache_size=-65536; PRAGMA temp.cache_size=-262144";

// Binds a decimal in the form above; an SQLite result code.
int bind_decimal(sqlite3_stmt* st, int k, const Decimal& d);

// The decimal an SQLite value holds (INTEGER, REAL, or the text of a TEXT
// or BLOB); false for null and for text that is no number.
bool decimal_of(sqlite3_value* v, Decimal* out);

}  // namespace rt::sql::detail
