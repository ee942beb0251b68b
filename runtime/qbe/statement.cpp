// Statements built from conditions, refused rather than cut.
#include <string>

#include "qbe/criteria.h"
#include "values/value.h"

namespace rt::qbe {

Condition statement_text(std::string_view head, std::string_view condition, std::string_view tail, std::size_t limit) {
  std::string s(head);
  s += rtrim(condition);
  s.append(tail);
  Condition c;
  if (s.size() <= limit) {
    c.text = std::move(s);
    return c;
  }
  // A statement cut at the limit could end inside a string constant or
  // lose its closing clause; the operator is told to narrow the criteria.
  c.ok = false;
  c.error_message = "The criteria are too long for this query (more than " + std::to_string(limit) +
                    " characters) - enter fewer criteria";
  return c;
}

}  // namespace rt::qbe
