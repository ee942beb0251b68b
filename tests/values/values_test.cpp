// The value model: CHAR rules, exact decimals, dates in DBDATE forms, and
// the field text conversions that the screen and the SQL layer rely on.
#include <gtest/gtest.h>

#include <cstdlib>

#include "values/text.h"
#include "values/value.h"

using namespace rt;

TEST(CharValue, PaddingLengthAndCutting) {
  Value v(char_t(4));
  EXPECT_TRUE(v.is_null());
  EXPECT_EQ(v.length(), 0);
  EXPECT_EQ(v.padded(), "    ");
  EXPECT_EQ(v.set_text("AB  "), ConvError::None);
  EXPECT_EQ(v.str(), "AB");
  EXPECT_EQ(v.length(), 2);
  EXPECT_EQ(v.padded(), "AB  ");
  // Longer text is cut to the width; the caller is told.
  EXPECT_EQ(v.set_text("ABCDEF"), ConvError::TooLong);
  EXPECT_EQ(v.str(), "ABCD");
  // A blank value is not null but has length 0.
  v.set_text("   ");
  EXPECT_FALSE(v.is_null());
  EXPECT_EQ(v.length(), 0);
}

// The one rule for bytes that are not UTF-8: each is a character of its
// own, one column wide, without case, and comes back unchanged.
TEST(Text, InvalidBytesAreCharactersOfTheirOwnAndSurvive) {
  const std::string bad[] = {"a\x80z", "\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82", "caf\xe9"};
  for (const std::string& s : bad) {
    SCOPED_TRACE(text::scrub(s));
    EXPECT_FALSE(text::valid(s));
    EXPECT_EQ(text::encode_all(text::decode_all(s)), s);
    EXPECT_EQ(text::upshift(s).size(), s.size());
    EXPECT_EQ(text::length(s), static_cast<int>(text::decode_all(s).size()));
    EXPECT_EQ(text::width(s), text::length(s)) << "one column each";
    EXPECT_TRUE(text::valid(text::scrub(s)));
  }
  EXPECT_EQ(text::length("\xed\xa0\x80"), 3) << "a surrogate is three bad bytes";
  EXPECT_EQ(text::scrub("caf\xe9!"), "caf\xef\xbf\xbd!");
  EXPECT_EQ(text::upshift("caf\xe9"), "CAF\xe9");
  // A cut never splits a character, nor a good one into bad bytes.
  EXPECT_EQ(text::cut_chars("\xe2\x82\xac\xe2\x82\xac", 1), "\xe2\x82\xac");
  EXPECT_EQ(cut_chars("a\x80\xc3\xa9", 2), "a\x80");
  Value v(char_t(3));
  EXPECT_EQ(v.set_text("\xff\xfe\xfd\xfc"), ConvError::TooLong);
  EXPECT_EQ(v.str(), "\xff\xfe\xfd");
}

TEST(Text, WidthsAreTheUnicodeTablesNotTheLocale) {
  EXPECT_EQ(text::width("Müller"), 6);
  EXPECT_EQ(text::width("日本語"), 6);
  EXPECT_EQ(text::width("ｶﾀｶﾅ"), 4) << "halfwidth forms";
  EXPECT_EQ(text::width("Ａ"), 2) << "fullwidth forms";
  EXPECT_EQ(text::width("e\xcc\x81"), 1) << "a combining accent";
  EXPECT_EQ(text::width("한국"), 4);
  EXPECT_EQ(text::cut_columns("日本語", 5), "日本");
  int used = 0;
  EXPECT_EQ(text::cut_columns("a日b", 2, &used), "a");
  EXPECT_EQ(used, 1);
}

// The simple case mapping: every cased script, one character for one.
TEST(Text, CaseFoldsBeyondAscii) {
  EXPECT_EQ(upshift("café"), "CAFÉ");
  EXPECT_EQ(downshift("ÉCOLE ŒUVRE"), "école œuvre");
  EXPECT_EQ(upshift("ﬁ ß"), "ﬁ ß") << "no one-character capital";
  EXPECT_EQ(upshift("привет σς"), "ПРИВЕТ ΣΣ");
  EXPECT_EQ(text::length(upshift("ıſ")), 2);
  for (auto [c, m] : text::case_pairs(true)) {
    ASSERT_EQ(text::upper(c), m);
    ASSERT_NE(c, m);
  }
  EXPECT_GT(text::case_pairs(true).size(), 1000u);
  EXPECT_GT(text::case_pairs(false).size(), 1000u);
}

TEST(CharValue, AssignBetweenTypesAsLetDoes) {
  Value wide = Value::of_char("Salesman Name", 20);
  Value narrow(char_t(8));
  narrow.assign(wide);
  EXPECT_EQ(narrow.str(), "Salesman");
  Value n(integer_t());
  EXPECT_EQ(n.assign(Value::of_char("42", 5)), ConvError::None);
  EXPECT_EQ(n.as_int(), 42);
  EXPECT_NE(n.assign(Value::of_char("4x", 5)), ConvError::None);
  EXPECT_TRUE(n.is_null());
  EXPECT_TRUE(sql_equal(Value::of_char("AB", 4), Value::of_char("AB   ", 10)));
}

TEST(WholeNumbers, RangesOfTheirTypes) {
  Value s(smallint_t());
  EXPECT_EQ(s.set_int(32767), ConvError::None);
  EXPECT_EQ(s.set_int(32768), ConvError::OutOfRange);
  EXPECT_TRUE(s.is_null());
  Value i(integer_t());
  EXPECT_EQ(i.set_text("-2147483647"), ConvError::None);
  EXPECT_EQ(i.set_text("2147483648"), ConvError::OutOfRange);
}

TEST(DecimalValue, ExactArithmeticAndText) {
  auto a = *Decimal::parse("0.10"), b = *Decimal::parse("0.20"), c = *Decimal::parse("-0.30");
  EXPECT_TRUE((a + b + c).is_zero());
  EXPECT_EQ((a + b).to_string(), "0.30");
  EXPECT_EQ(Decimal::parse("1.5e3")->to_string(), "1500");
  EXPECT_EQ(Decimal::parse("2E-2")->to_string(), "0.02");
  EXPECT_EQ(Decimal::parse(" -12.345 ")->to_string(2), "-12.35");  // half away from zero
  EXPECT_EQ(Decimal::parse("0.004")->to_string(2), "0.00");
  EXPECT_FALSE(Decimal::parse("1.2.3"));
  EXPECT_FALSE(Decimal::parse("12abc"));
  EXPECT_FALSE(Decimal::parse(""));
  EXPECT_FALSE(Decimal::parse("-"));
  EXPECT_LT(compare(*Decimal::parse("-1"), *Decimal::parse("0.5")), 0);
  // Many small amounts in a long sum stay exact.
  Decimal sum;
  for (int k = 0; k < 100000; ++k) sum = sum + a;
  EXPECT_EQ(sum.to_string(), "10000.00");
}

TEST(DecimalValue, PrecisionAndScaleOfTheColumn) {
  Value rate(decimal_t(16, 6));
  rate.set_text("0.0625");
  EXPECT_EQ(rate.str(), "0.062500");
  Value amount(decimal_t(5, 2));
  EXPECT_EQ(amount.set_text("999.99"), ConvError::None);
  EXPECT_EQ(amount.set_text("1000.00"), ConvError::OutOfRange);
  EXPECT_TRUE(amount.is_null());
}

TEST(DateValue, CalendarAndFormats) {
  Date d = *Date::from_mdy(12, 31, 2026);
  EXPECT_EQ(d.iso(), "2026-12-31");
  EXPECT_EQ(d.format(DateFormat::from_dbdate("MDY4/")), "12/31/2026");
  EXPECT_EQ(d.format(DateFormat::from_dbdate("DMY4.")), "31.12.2026");
  EXPECT_EQ(d.format(DateFormat::from_dbdate("Y4MD-")), "2026-12-31");
  EXPECT_EQ(d.format(DateFormat::from_dbdate("garbage")), "12/31/2026");
  EXPECT_EQ(Date::from_mdy(1, 1, 1900)->days(), 1);
  EXPECT_EQ(Date::from_mdy(12, 31, 1899)->days(), 0);
  EXPECT_FALSE(Date::from_mdy(2, 29, 2026));
  EXPECT_TRUE(Date::from_mdy(2, 29, 2028));
  EXPECT_EQ(d.weekday(), 4);  // a Thursday
  auto mdy = DateFormat::from_dbdate("MDY4/");
  EXPECT_EQ(Date::parse("12/31/2026", mdy), d);
  EXPECT_EQ(Date::parse("12312026", mdy), d);
  EXPECT_EQ(Date::parse("12/31/26", mdy), d);
  EXPECT_FALSE(Date::parse("13/01/2026", mdy));
  EXPECT_FALSE(Date::parse("12/31/2026x", mdy));
  EXPECT_FALSE(Date::parse("", mdy));
  EXPECT_EQ(Date::parse("31.12.2026", DateFormat::from_dbdate("DMY4.")), d);
  EXPECT_EQ(Date::parse_iso("2026-12-31"), d);
}

TEST(FieldText, AlignmentNullsAndOverflow) {
  EXPECT_EQ(Value::of_char("AB", 4).format_field(6), "AB    ");
  EXPECT_EQ(Value::of_char("ABCDEFGH", 10).format_field(4), "ABCD");
  EXPECT_EQ(Value::of_int(42).format_field(6), "    42");
  EXPECT_EQ(Value::of_int(1234567).format_field(5), "*****");
  EXPECT_EQ(Value(integer_t()).format_field(3), "   ");
  EXPECT_EQ(Value::of_decimal(*Decimal::parse("0.0625"), decimal_t(16, 6)).format_field(9), " 0.062500");
  EXPECT_EQ(Value::of_decimal(*Decimal::parse("123.5"), decimal_t(16, 6)).format_field(9), "*********");
  EXPECT_EQ(Value::of_date(*Date::from_mdy(1, 2, 2026)).format_field(10), "01/02/2026");
}

TEST(FieldText, ParsingTypedText) {
  Value n(smallint_t());
  EXPECT_EQ(n.parse_field("  12 "), ConvError::None);
  EXPECT_EQ(n.as_int(), 12);
  EXPECT_EQ(n.parse_field("1.5"), ConvError::OutOfRange);
  EXPECT_EQ(n.as_int(), 12) << "a refused text leaves the value as it was";
  EXPECT_EQ(n.parse_field("abc"), ConvError::NotANumber);
  EXPECT_EQ(n.parse_field("   "), ConvError::None);
  EXPECT_TRUE(n.is_null());
  Value d(date_t());
  EXPECT_EQ(d.parse_field("02/30/2026"), ConvError::NotADate);
  EXPECT_EQ(d.parse_field("11/30/2026"), ConvError::None);
  EXPECT_EQ(d.as_date().iso(), "2026-11-30");
  Value c(char_t(3));
  EXPECT_EQ(c.parse_field("ABCD"), ConvError::TooLong);
}

TEST(DecimalValue, ExtremeScalesStayDefined) {
  // Places after the point beyond the 38 held are rounded off, half away
  // from zero, as a database rounds; the scale never passes 38.
  EXPECT_TRUE(Decimal::parse("0." + std::string(39, '0') + "1")->is_zero());
  EXPECT_EQ(Decimal::parse("-0." + std::string(37, '0') + "15")->to_string(), "-0." + std::string(37, '0') + "2");
  EXPECT_EQ(Decimal::parse("1." + std::string(36, '9') + "49")->to_string(), "1." + std::string(36, '9') + "5");
  EXPECT_EQ(Decimal::parse(std::string(38, '9') + ".5"), std::nullopt) << "rounding up needs a 39th digit";
  EXPECT_EQ(Decimal::parse("0." + std::string(37, '0') + "1")->scale(), 38);
  auto nines = Decimal::parse("." + std::string(38, '9'));
  ASSERT_TRUE(nines);
  EXPECT_EQ(nines->rounded(0).to_string(), "1");
  std::int64_t v = -1;
  EXPECT_TRUE(nines->to_int64(&v));
  EXPECT_EQ(v, 0);
}

// Every operation either gives the exact result or says it cannot: the 38
// digits held are the limit, one past them is refused, never wrapped.
TEST(DecimalValue, OverflowAtTheLimitsIsReported) {
  const Decimal max = *Decimal::parse(std::string(38, '9'));
  const Decimal one = Decimal::from_int(1);
  Decimal r;
  EXPECT_TRUE(Decimal::add(max, -one, &r));
  EXPECT_EQ(r.to_string(), std::string(37, '9') + "8");
  EXPECT_FALSE(Decimal::add(max, one, &r));
  // A sum past the largest 128-bit value is refused, not wrapped.
  EXPECT_FALSE(Decimal::add(max, max, &r));
  EXPECT_FALSE(Decimal::sub(-max, max, &r));
  EXPECT_FALSE(Decimal::sub(-max, one, &r));
  EXPECT_TRUE(Decimal::sub(-max, -one, &r));
  // Alignment that would need more digits than are held.
  EXPECT_FALSE(Decimal::add(*Decimal::parse("1" + std::string(30, '0')), *Decimal::parse("0.000000001"), &r));
  EXPECT_TRUE(Decimal::add(*Decimal::parse("1" + std::string(28, '0')), *Decimal::parse("0.000000001"), &r));
  EXPECT_EQ(r.scale(), 9);
  // Where SQL's numeric gives more digits than are held, the places shrink
  // to fit, rounded half away from the sum's sign.
  const std::string e30 = "1" + std::string(30, '0'), e31 = "1" + std::string(29, '0') + "1";
  const struct {
    std::string a, b, sum;  // "" when it cannot fit
  } fit[] = {
      {e30, "0.000000001", e30 + ".0000000"},
      {e30, "0.00000005", e30 + ".0000001"},
      {"-" + e30, "-0.00000005", "-" + e30 + ".0000001"},
      {e30, "-0.000000050", std::string(30, '9') + ".99999995"},
      {e31, "-0.00000005", e31 + ".0000000"},
      {"-" + e31, "0.00000005", "-" + e31 + ".0000000"},
      {e31, "-0.00000006", e30 + ".9999999"},
      {std::string(30, '9') + ".99999999", "0.000000005", e30 + ".0000000"},
      {"1.5", "2.25", "3.75"},
      {std::string(38, '9'), "1", ""},
  };
  for (const auto& c : fit) {
    const bool ok = Decimal::add_to_fit(*Decimal::parse(c.a), *Decimal::parse(c.b), &r);
    EXPECT_EQ(ok ? r.to_string() : "", c.sum) << c.a << " + " << c.b;
    EXPECT_EQ(Decimal::sub_to_fit(*Decimal::parse(c.a), -*Decimal::parse(c.b), &r), ok);
  }
  // A product keeps the places that fit in the same way; past 38 digits
  // before the point it is refused.
  const struct {
    std::string a, b, product;  // "" when it cannot fit
  } products[] = {
      {"1234567890123456789.123456789", "1234567890123456789.123456789", "1524157875323883675323883573784484098.5"},
      {"-12345678901234567890.5", "0.0000000000000000000012345678901234567",
       "-0.01524157875323883565204238172268709135"},
      {"0.99999999999999999999", "10.0000000000000000001", "10." + std::string(36, '0')},
      {"123456789012345678901234567.89", "-3.000000000000005", "-370370367037037653987648765.39839450617"},
      {"99999999999999999999.99", "99999999999999999999.99", ""},
      {"2.5", "-0.5", "-1.25"},
  };
  for (const auto& c : products) {
    const bool ok = Decimal::mul_to_fit(*Decimal::parse(c.a), *Decimal::parse(c.b), &r);
    EXPECT_EQ(ok ? r.to_string() : "", c.product) << c.a << " * " << c.b;
  }
  const Decimal big = *Decimal::parse("1" + std::string(19, '0'));
  EXPECT_TRUE(Decimal::mul(big, *Decimal::parse(std::string(18, '9')), &r));
  EXPECT_FALSE(Decimal::mul(big, big, &r));
  EXPECT_FALSE(Decimal::mul(max, Decimal::from_int(-2), &r));
  EXPECT_FALSE(max.round_to(1, &r)) << "a 39th digit would be needed";
  EXPECT_TRUE(max.round_to(0, &r));
  EXPECT_FALSE(Decimal::parse("1e38"));
  EXPECT_TRUE(Decimal::parse("1e37"));
  EXPECT_EQ(Decimal::divide(one, Decimal(), 2, &r), Decimal::Status::DivideByZero);
  EXPECT_EQ(Decimal::divide(max, *Decimal::parse("0.1"), 0, &r), Decimal::Status::Overflow);
  // Comparison never overflows, however far apart the scales.
  EXPECT_LT(compare(*Decimal::parse("0." + std::string(37, '0') + "1"), max), 0);
  EXPECT_GT(compare(*Decimal::parse("1" + std::string(36, '0') + ".5"), *Decimal::parse("0.25")), 0);
  // The operators stop the program with the error number instead.
  EXPECT_EXIT((void)(max + one), ::testing::ExitedWithCode(1), "-1226");
  EXPECT_EXIT((void)(one / Decimal()), ::testing::ExitedWithCode(1), "-1202");
}

// Division rounds half away from zero to the places asked for; the
// operator keeps the places SQL's numeric division gives: at least 16
// significant digits, no fewer places than either operand.
TEST(DecimalValue, DivisionAndRoundingAreMembers) {
  auto d = [](const char* s) { return *Decimal::parse(s); };
  Decimal r;
  ASSERT_EQ(Decimal::divide(d("2"), d("3"), 2, &r), Decimal::Status::Ok);
  EXPECT_EQ(r.to_string(), "0.67");
  ASSERT_EQ(Decimal::divide(d("-1"), d("8"), 2, &r), Decimal::Status::Ok);
  EXPECT_EQ(r.to_string(), "-0.13");
  ASSERT_EQ(Decimal::divide(d("1234.5"), d("-0.05"), 0, &r), Decimal::Status::Ok);
  EXPECT_EQ(r.to_string(), "-24690");
  EXPECT_EQ((d("7.00") / d("2")).to_string(), "3.5000000000000000");
  EXPECT_EQ((d("1") / d("3")).to_string(), "0.33333333333333333333");
  EXPECT_EQ((d("0.30") / d("2")).to_string(), "0.15000000000000000000");
  EXPECT_EQ((d("100000") / d("3")).to_string(), "33333.333333333333");
  EXPECT_EQ((d("1.000000000000000000001") / d("1")).scale(), 21);
  EXPECT_EQ(d("2.675").rounded(2).to_string(), "2.68");
  EXPECT_EQ(d("-2.665").rounded(2).to_string(), "-2.67");
  EXPECT_EQ(d("2.6749").rounded(2).to_string(), "2.67");
  EXPECT_EQ(d("12.500").normalized().to_string(), "12.5");
  EXPECT_EQ(d("7.00").normalized().to_string(), "7");
  EXPECT_EQ(d("-0.0010").significant_digits(), 1);
  EXPECT_TRUE(d("7.00").is_whole());
  EXPECT_FALSE(d("7.01").is_whole());
}
