// The statements of the lower bound in each back end's dialect, as the SQL
// layer's translator writes them (see lower_bound.h).
#include <stdexcept>

#include "lower_bound.h"
#include "sql/translate.h"

namespace bench {
namespace {

// The clearing statements name no table whose columns the translator needs
// to know (no INSERT into a serial column).
class NoSchema : public rt::sql::SchemaLookup {
 public:
  const rt::sql::TableInfo* table(std::string_view) override { return nullptr; }
};

}  // namespace

std::string translated(std::string_view text, bool pg) {
  NoSchema schema;
  rt::sql::TranslateOptions opt;
  opt.date_format = rt::DateFormat::current();
  const rt::sql::Translation tr =
      rt::sql::translate(text, pg ? rt::sql::Target::Postgres : rt::sql::Target::Sqlite, &schema, opt);
  if (!tr.ok) throw std::runtime_error("cannot translate: " + tr.error);
  return tr.text;
}

}  // namespace bench
