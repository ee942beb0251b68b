// libFuzzer target: whatever an operator types, the result is either a
// refusal or a condition of one of the known shapes, with every string
// constant closed and nothing outside the constants but the column,
// operators, keywords and canonical numbers.
//
// The first input byte picks the field's type, the rest is the criteria.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <regex>
#include <string>

#include "qbe/criteria.h"

namespace {

[[noreturn]] void fail(const char* why, const std::string& criteria, const std::string& text) {
  std::fprintf(stderr, "%s\ncriteria: [%s]\ncondition: [%s]\n", why, criteria.c_str(), text.c_str());
  std::abort();
}

// The condition with each string constant replaced by Q; empty when a
// constant is left open. `consts` receives the constants' contents.
bool skeleton(const std::string& t, std::string* out, std::vector<std::string>* consts) {
  out->clear();
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] != '\'') {
      out->push_back(t[i]);
      continue;
    }
    std::string body;
    for (++i;; ++i) {
      if (i >= t.size()) return false;
      if (t[i] == '\'') {
        if (i + 1 < t.size() && t[i + 1] == '\'') {
          body.push_back('\'');
          ++i;
          continue;
        }
        break;
      }
      body.push_back(t[i]);
    }
    consts->push_back(body);
    out->push_back('Q');
  }
  return true;
}

const std::regex& shape(bool chars, bool numbers) {
  const auto make = [](const std::string& v, bool patterns) {
    const std::string c = "t\\.c";
    std::string alt = "^(" + c + " is null|" + c + " is not null|" + c + "(=|<>|<|>|<=|>=)" + v + "|" + c +
                      " between " + v + " and " + v + "|" + c + " in \\(" + v + "(," + v + ")*\\)";
    if (patterns) {
      const std::string el = c + "(=Q| matches Q)";
      alt += "|" + c + " matches Q|\\(" + el + "( or " + el + ")+\\)";
    }
    return std::regex(alt + ")$");
  };
  static const std::regex for_char = make("Q", true);
  static const std::regex for_date = make("Q", false);
  static const std::regex for_number = make("-?[0-9]+(\\.[0-9]+)?", false);
  return chars ? for_char : numbers ? for_number : for_date;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const rt::Type types[] = {rt::char_t(10), rt::smallint_t(), rt::integer_t(), rt::decimal_t(10, 2),
                                   rt::date_t()};
  const rt::Type type = types[data[0] % 5];
  const std::string criteria(reinterpret_cast<const char*>(data + 1), size - 1);
  static const rt::DateFormat fmt = rt::DateFormat::from_dbdate("MDY4/");

  const rt::qbe::Condition c = rt::qbe::field_condition("t.c", type, criteria, fmt);
  if (!c.ok) {
    if (c.error_code != -1304 || c.error_message != "Error in field." || !c.text.empty())
      fail("refusal without its error", criteria, c.text);
    return 0;
  }
  if (c.text.empty()) {
    if (criteria.find_first_not_of(' ') != std::string::npos) fail("typed text gave no condition", criteria, "");
    return 0;
  }
  std::string sk;
  std::vector<std::string> consts;
  if (!skeleton(c.text, &sk, &consts)) fail("string constant left open", criteria, c.text);
  if (!std::regex_match(sk, shape(type.kind == rt::Kind::Char, type.is_numeric())))
    fail("condition of an unknown shape", criteria, c.text);
  for (const std::string& k : consts) {
    for (unsigned char ch : k)
      if (ch < 0x20 || ch == 0x7f) fail("control character in a constant", criteria, c.text);
    if (type.kind == rt::Kind::Date && k.size() != 10) fail("date not of ten characters", criteria, c.text);
  }
  // The one-column builder gives the same condition for the same column.
  const rt::qbe::Condition e = rt::qbe::construct_element(criteria, type, 10, "t", "c", fmt);
  if (!e.ok || e.text != c.text) fail("builder differs from the field condition", criteria, e.text);
  return 0;
}
