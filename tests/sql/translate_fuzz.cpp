// Fuzzes what parses statement text: the tokenizer, the translator for both
// back ends (whose output must tokenize again) and the MATCHES matcher.
#include <cstdint>
#include <string>

#include "sql/pattern.h"
#include "sql/tokenize.h"
#include "sql/translate.h"

namespace {

class AnyTable : public rt::sql::SchemaLookup {
 public:
  const rt::sql::TableInfo* table(std::string_view) override { return &info_; }

 private:
  // One column of each kind the translator types constants for; b is the
  // serial.
  using T = rt::sql::ColType;
  rt::sql::TableInfo info_{{"a", "b", "c", "d"}, {{T::Char}, {T::Int}, {T::Decimal, 12, 2}, {T::Date}}, 1};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string s(reinterpret_cast<const char*>(data), size);
  AnyTable schema;
  for (auto target : {rt::sql::Backend::Sqlite, rt::sql::Backend::Postgres}) {
    const rt::sql::Translation t = rt::sql::translate(s, target, &schema);
    if (t.ok) {
      std::string error;
      rt::sql::tokenize(t.text, &error);
      if (!error.empty()) __builtin_trap();
    }
  }
  const std::string_view v(s);
  rt::sql::matches(v.substr(0, size / 2), v.substr(size / 2));
  rt::sql::matches_to_regex(s);
  return 0;
}
