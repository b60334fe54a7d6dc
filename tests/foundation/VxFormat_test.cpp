#include "foundation/VxFormat.h"

#include <gtest/gtest.h>

#include <string>

TEST(Format, ConversionsFlagsWidthsAndPrecisions) {
  const VxDllString object(VxString(u"obj"));
  const char16_t* const none = nullptr;
  const struct {
    VxString got;
    const char16_t* expected;
  } cases[] = {
      {VxFormat(u"%5d|%-5d|%05d|%+d|% d", {42, 42, 42, 42, 42}), u"   42|42   |00042|+42| 42"},
      {VxFormat(u"%.3d|%08.3d|%-+6d|%i", {-5, 7, 3, -12}), u"-005|     007|+3    |-12"},
      {VxFormat(u"%x %X %u %p", {255, 255, 4000000000u, 31}), u"ff FF 4000000000 000000000000001F"},
      {VxFormat(u"%04x|%-4X|%.3x", {10, 10, 10}), u"000a|A   |00a"},
      {VxFormat(u"%c%c|%3c", {97, 98, 99}), u"ab|  c"},
      {VxFormat(u"%s|%.2s|%-4s|%3s|%s", {u"text", u"text", u"ab", u"ab", &object}),
       u"text|te|ab  | ab|obj"},
      {VxFormat(u"%s %s %d", {none, 12, u"x"}), u"(null) 12 0"},
      // Length modifiers are read and ignored; only a whole "I64" is one.
      {VxFormat(u"%I64d %lld %hd %zu", {1LL << 40, -3, 4, 5}), u"1099511627776 -3 4 5"},
      {VxFormat(u"%d 42 %I6xd", {7, 8}), u"7 42 %I6xd"},
      // Unknown conversions and a lone "%" at the end stay as written; a
      // missing argument reads as 0.
      {VxFormat(u"100%% %q %d %d %", {1}), u"100% %q 1 0 %"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.got, c.expected);
  // The count ends the list even where more arguments follow in memory.
  const VxArgList two({1, 2});
  EXPECT_EQ(VxFormatArgs(u"%d %d", two.List(), 1), u"1 0");
  EXPECT_EQ(VxArgList({1, 2, 3, 4}).Capacity(), 4);
  EXPECT_EQ(VxArgList({1, 2, 3, 4, 5}).Capacity(), 20);
}
