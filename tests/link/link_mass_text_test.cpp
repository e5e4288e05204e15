#include "link/mass_text.h"

#include <gtest/gtest.h>

#include "link/trace.h"

namespace librato {
namespace {

TEST(FormatMass, TrimsOrKeepsDecimals) {
  struct Case {
    int d;
    bool precise;
    double value;
    const char* text;
  } cases[] = {
      {4, false, 2000, "2000"},       {4, false, 1999.5, "1999,5"},
      {4, false, 0.0000004, "0"},     {4, false, 1.5, "1,5"},
      {4, false, 100, "100"},         {4, false, 0, "0"},
      {4, false, 12.3456, "12,3456"}, {4, true, 12.3456, "12,34560"},
      {3, true, 12.3456, "12,3456"},  {5, true, 100.00012, "100,000120"},
      {-1, true, 12.3456, "12,345600"},  // no reading yet: six decimals
      {0, true, 12.3456, "12,3"},        // a balance without decimals: one more than it shows
      {4, true, -0.00001, "-0,00001"},   {4, true, -0.000001, "0,00000"},
      {4, true, 20000.00005, "20000,00005"}, {4, false, 210000, "210000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MassText(c.d, nullptr).FormatMass(c.precise, c.value), c.text)
        << "d=" << c.d << " precise=" << c.precise << " value=" << c.value;
  }
}

TEST(FormatFixed, ExactDecimalsWithComma) {
  EXPECT_EQ(FormatFixed(4, 0.0005), "0,0005");
  EXPECT_EQ(FormatFixed(4, 12.3456), "12,3456");
  EXPECT_EQ(FormatFixed(0, 1234.4), "1234");
  EXPECT_EQ(FormatFixed(2, -0.001), "0,00");
  EXPECT_EQ(FormatFixed(1, -12.25), "-12,2");  // nearest of the binary value 12.25 -> ties to even
  EXPECT_EQ(FormatFixed(3, 20000.0), "20000,000");
  // At most n + 7 significant digits.
  EXPECT_EQ(FormatFixed(1, 123456789.0), "123456790,0");
}

TEST(GetLong, FineAndTenthCountsAndTrace) {
  Trace trace;
  const MassText m(4, &trace);
  EXPECT_EQ(m.GetLong("12,34560"), 12345600);
  EXPECT_EQ(m.GetLong("12,34560", 0), 1234560);
  EXPECT_EQ(m.GetLong("12,34567"), 12345670);
  EXPECT_EQ(m.GetLong("12,34567", 0), 1234567);
  EXPECT_EQ(m.GetLong("12,3456789", 0), 1234567);  // cut, not rounded
  EXPECT_EQ(m.GetLong("100,0012"), 100001200);     // a reading with d decimals
  EXPECT_EQ(m.GetLong("-0,00012", 0), -12);
  EXPECT_EQ(m.GetLong("100"), 100000000);  // no comma: whole grams
  ASSERT_EQ(trace.lines().size(), 8u);
  EXPECT_EQ(trace.lines()[0], "GetLong prec = 4");
}

TEST(GetLong, RealLoadsFitSixtyFourBits) {
  // 5 kg at 4 decimals and 20 kg at 3 decimals overflow 32-bit counts.
  EXPECT_EQ(MassText(4, nullptr).GetLong("5000,00012"), 500000012LL * 10);
  EXPECT_EQ(MassText(3, nullptr).GetLong("20000,0005"), 200000005LL * 10);
  EXPECT_EQ(MassText(4, nullptr).GetLong("210000,0000"), 210000000000LL);
}

TEST(GetLong, RefusesTextsThatAreNotCounts) {
  const MassText m(4, nullptr);
  EXPECT_THROW(m.GetLong("12.3456"), ConversionError);
  EXPECT_THROW(m.GetLong(""), ConversionError);
  EXPECT_THROW(m.GetLong("abc"), ConversionError);
  EXPECT_THROW(m.GetLong("99999999999999999,0000"), ConversionError);
}

TEST(LongToText, HalvesAwayFromZero) {
  struct Case {
    int d;
    long long count;
    int n;
    const char* text;
  } cases[] = {
      {4, 1234565, 2, "1,23457"}, {4, -1234565, 2, "-1,23457"}, {4, 12, 0, "0,00012"},
      {4, -12, 0, "-0,00012"},    {4, -4, 2, "0,00000"},        {4, 0, 2, "0,00000"},
      {4, 5, 2, "0,00001"},       {4, -5, 2, "-0,00001"},       {4, 4, 2, "0,00000"},
      {4, 1150, 2, "0,00115"},    {4, 1155, 2, "0,00116"},      {4, -1155, 2, "-0,00116"},
      {4, 10000127, 0, "100,00127"},
      {0, 1234, 0, "123,4"},      {0, 12345, 2, "123,5"},
      {3, 200000005LL, 0, "20000,0005"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MassText(c.d, nullptr).LongToText(c.count, c.n), c.text)
        << "d=" << c.d << " count=" << c.count << " n=" << c.n;
  }
}

TEST(Counts, ZeroDecimalBalanceKeepsUnitsConsistent) {
  // d = 0: readings "1234" (grams), result texts with one decimal.
  const MassText m(0, nullptr);
  EXPECT_EQ(m.GetLong(FormatFixed(0, 1234.0)), 123400);  // fine counts: 1/100 g
  EXPECT_EQ(m.GetLong(m.FormatMass(true, 1234.0)), 123400);
  EXPECT_EQ(m.GetLong(m.FormatMass(true, 1234.0), 0), 12340);  // tenth counts: 1/10 g
  EXPECT_EQ(m.LongToText(m.GetLong("1234,5") - m.GetLong("1234")), "0,5");
}

TEST(ParseDecimal, AcceptsCommaAndPoint) {
  double v = 0;
  EXPECT_TRUE(ParseDecimal("1,5", v));
  EXPECT_DOUBLE_EQ(v, 1.5);
  EXPECT_TRUE(ParseDecimal(" 2040.01 ", v));
  EXPECT_DOUBLE_EQ(v, 2040.01);
  EXPECT_TRUE(ParseDecimal("-0,00012", v));
  EXPECT_DOUBLE_EQ(v, -0.00012);
  EXPECT_TRUE(ParseDecimal("1E3", v));
  EXPECT_DOUBLE_EQ(v, 1000);
  for (const char* bad : {"", " ", "1,2,3", "abc", "1.5x", ",", "-", "1e"})
    EXPECT_FALSE(ParseDecimal(bad, v)) << bad;
}

}  // namespace
}  // namespace librato
