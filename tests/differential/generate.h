// Seeded generators of differential cases: the same seed gives the same
// cases on every machine (a generator of its own, no library
// distribution). Each generator makes its own tables and rows first.
//
//   qbe      criteria typed into CHAR, SMALLINT, INTEGER, DECIMAL and DATE
//            fields, one field or two, through the criteria builder
//   matches  MATCHES patterns: sets, ranges (reversed and non-ASCII),
//            negation, escapes, literal brackets, as constants and bound
//   decimal  DECIMAL arithmetic, comparison, grouping, aggregates and
//            rounding at the schema's scales and precision limits
//   chars    CHAR comparison, length, concatenation, case and ordering
//            with leading and trailing blanks, empty, null, accented and
//            CJK values
#pragma once

#include <string>
#include <vector>

#include "corpus.h"
#include "values/date.h"

namespace lunadesk::differential {

// Appends the cases of generator `name`; false when there is none of
// that name. Dates in criteria are typed in `fmt`.
bool generate(const std::string& name, unsigned long seed, int count, const rt::DateFormat& fmt, const Record& where,
              std::vector<Record>* out);

}  // namespace lunadesk::differential
