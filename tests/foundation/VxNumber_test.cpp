#include "foundation/VxNumber.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>

TEST(NumberParse, DecimalSkipsBlanksTakesOneSignAndStopsAtFirstOtherCharacter) {
  EXPECT_EQ(VxParseInt32(u"  \t\r\n42"), 42);
  EXPECT_EQ(VxParseInt32(u"+17"), 17);
  EXPECT_EQ(VxParseInt32(u"-17"), -17);
  EXPECT_EQ(VxParseInt32(u"12abc"), 12);
  EXPECT_EQ(VxParseInt32(u"1 2"), 1);
  EXPECT_EQ(VxParseInt32(u"abc"), 0);
  EXPECT_EQ(VxParseInt32(u"+-5"), 0);
  EXPECT_EQ(VxParseInt32(u"- 5"), 0);
  EXPECT_EQ(VxParseInt32(u""), 0);
  EXPECT_EQ(VxParseInt32(static_cast<const char16_t*>(nullptr)), 0);
  EXPECT_EQ(VxParseInt32(u"00000000000000000000007"), 7);
  // Only ASCII digits count for the plain rule.
  EXPECT_EQ(VxParseInt32(u"\u0663"), 0);
}

TEST(NumberParse, DecimalSaturatesSymmetrically) {
  EXPECT_EQ(VxParseInt32(u"2147483647"), 2147483647);
  EXPECT_EQ(VxParseInt32(u"2147483648"), 2147483647);
  EXPECT_EQ(VxParseInt32(u"-99999999999"), -2147483647);
  EXPECT_EQ(VxParseInt32(u"-2147483648"), -2147483647);
  EXPECT_EQ(VxParseInt32(u"-2147483647"), -2147483647);
  EXPECT_EQ(VxParseInt32(u"99999999999999999999999999999999999999"), 2147483647);
  EXPECT_EQ(VxParseInt64(u"9223372036854775807"), INT64_MAX);
  EXPECT_EQ(VxParseInt64(u"9223372036854775808"), INT64_MAX);
  EXPECT_EQ(VxParseInt64(u"-9223372036854775808"), -INT64_MAX);
  EXPECT_EQ(VxParseInt64(u" -1234567890123x"), -1234567890123LL);
}

TEST(NumberParse, HexTakesEitherCaseAndOverflowsToAllBits) {
  EXPECT_EQ(VxParseHex64(u"1f"), 31u);
  EXPECT_EQ(VxParseHex64(u"1F"), 31u);
  EXPECT_EQ(VxParseHex64(u" DeadBeefg"), 0xDEADBEEFu);
  EXPECT_EQ(VxParseHex64(u"FFFFFFFFFFFFFFFF"), UINT64_MAX);
  EXPECT_EQ(VxParseHex64(u"0000000000000000000000001"), 1u);
  EXPECT_EQ(VxParseHex64(u"10000000000000000"), UINT64_MAX);
  EXPECT_EQ(VxParseHex64(u"123456789ABCDEF01"), UINT64_MAX);
  EXPECT_EQ(VxParseHex64(u"-10000000000000000"), 1u);
  EXPECT_EQ(VxParseHex64(u"-1"), UINT64_MAX);
  EXPECT_EQ(VxParseHex64(u"0x10"), 0u);  // the "0x" prefix is the caller's business
  EXPECT_EQ(VxParseHex64(u"xyz"), 0u);
}

TEST(NumberParse, ToIntReadsDecimalDigitsOfOtherScripts) {
  EXPECT_EQ(ToInt(u"\u0661\u0662\u0663"), 123);     // Arabic-Indic
  EXPECT_EQ(ToInt(u" -\uFF11\uFF10\uFF10"), -100);  // fullwidth
  EXPECT_EQ(ToInt(u"1\u0662\u0E53"), 123);          // scripts may mix
  EXPECT_EQ(ToInt(u"\u0E5A"), 0);                   // a Thai sign, not a digit
  EXPECT_EQ(ToInt(u"\uFF1A"), 0);                   // the code unit after fullwidth nine
  EXPECT_EQ(ToInt(u"\u0665\u0665\u0665\u0665\u0665\u0665\u0665\u0665\u0665\u0665"), 2147483647);
  EXPECT_EQ(ToInt(u"-5555555555"), -2147483647);
  EXPECT_EQ(ToInt(static_cast<const char16_t*>(nullptr)), 0);
  for (char16_t zero :
       {0x0030, 0x0660, 0x06F0, 0x0966, 0x09E6, 0x0E50, 0xFF10, 0x1040, 0x17E0, 0xA9D0})
    for (int d = 0; d < 10; ++d)
      EXPECT_EQ(VxDecimalDigitValue(static_cast<char16_t>(zero + d)), d) << static_cast<int>(zero);
}

TEST(NumberParse, DoubleAcceptsPointOrCommaAndExponent) {
  EXPECT_EQ(VxParseDouble(u"1.5"), 1.5);
  EXPECT_EQ(VxParseDouble(u"1,5"), 1.5);
  EXPECT_EQ(VxParseDouble(u"  -0.25xyz"), -0.25);
  EXPECT_EQ(VxParseDouble(u".5"), 0.5);
  EXPECT_EQ(VxParseDouble(u"5."), 5.0);
  EXPECT_EQ(VxParseDouble(u"1e3"), 1000.0);
  EXPECT_EQ(VxParseDouble(u"2.5E-2"), 0.025);
  EXPECT_EQ(VxParseDouble(u"7e"), 7.0);
  EXPECT_EQ(VxParseDouble(u"7e+"), 7.0);
  EXPECT_EQ(VxParseDouble(u"1.2.3"), 1.2);
  EXPECT_EQ(VxParseDouble(std::u16string_view(u"1.55", 3)), 1.5);    // the view ends first
  EXPECT_EQ(VxParseDouble(std::u16string_view(u"1e25", 3)), 100.0);  // also in the exponent
  EXPECT_EQ(VxParseDouble(u"."), 0.0);
  EXPECT_EQ(VxParseDouble(u"abc"), 0.0);
  EXPECT_EQ(VxParseDouble(u"inf"), 0.0);
  EXPECT_EQ(VxParseDouble(u"1e999999999999"), DBL_MAX);
  EXPECT_EQ(VxParseDouble(u"-1e400"), -DBL_MAX);
  EXPECT_EQ(VxParseDouble(u"1e-999999999999"), 0.0);
  EXPECT_EQ(VxParseDouble(static_cast<const char16_t*>(nullptr)), 0.0);
}

TEST(NumberFormat, DoubleUsesShortestTextWithPointAndNoTrailingZeros) {
  EXPECT_EQ(VxFormatDouble(0.0), u"0");
  EXPECT_EQ(VxFormatDouble(-0.0), u"0");
  EXPECT_EQ(VxFormatDouble(3.0), u"3");
  EXPECT_EQ(VxFormatDouble(-44100.0), u"-44100");
  EXPECT_EQ(VxFormatDouble(1e15), u"1000000000000000");
  EXPECT_EQ(VxFormatDouble(0.1), u"0.1");
  EXPECT_EQ(VxFormatDouble(1.25), u"1.25");
  EXPECT_EQ(VxFormatDouble(-2.5), u"-2.5");
  EXPECT_EQ(VxFormatDouble(1.0 / 3.0), u"0.3333333333333333");
  EXPECT_EQ(VxFormatDouble(0.1 + 0.2), u"0.3");  // needs 17 decimals: rounded to 16, zeros dropped
  EXPECT_EQ(VxFormatDouble(1e-20), u"0");
  EXPECT_EQ(VxFormatDouble(-1e-20), u"0");
  EXPECT_EQ(VxFormatDouble(1.5e-10), u"0.00000000015");
}

TEST(NumberFormat, DoubleReadsBackExactlyWhenSixteenDecimalsSuffice) {
  std::mt19937_64 rng(12345);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  for (int i = 0; i < 20000; ++i) {
    const double value = mantissa(rng) * std::pow(10.0, static_cast<int>(rng() % 16));
    const VxString text = VxFormatDouble(value);
    ASSERT_EQ(text.find(u'e'), VxString::npos) << value;
    if (std::abs(value) >= 1.0) {
      ASSERT_EQ(VxParseDouble(text), value) << text.ToUtf8();
    }
  }
  EXPECT_EQ(VxParseDouble(VxFormatDouble(DBL_MAX)), DBL_MAX);
}

TEST(NumberFormat, IntegersAndPointers) {
  EXPECT_EQ(VxFormatInt64(INT64_MIN), u"-9223372036854775808");
  EXPECT_EQ(VxFormatInt64(0), u"0");
  EXPECT_EQ(VxFormatPointer(0x1F), u"000000000000001F");
  EXPECT_EQ(VxFormatPointer(UINT64_MAX), u"FFFFFFFFFFFFFFFF");
}
