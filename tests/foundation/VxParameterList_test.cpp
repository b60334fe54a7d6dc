#include "foundation/VxParameterList.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/VxUrl.h"

namespace {

VxString S(const char16_t* s) {
  return VxString(s);
}

}  // namespace

TEST(ParameterList, ReadsItemsAfterTheLastQuestionMarkInOrderWithRepeats) {
  VxParameterList list;
  list.Parse(S(u"x?a=1&b&a=2"));
  EXPECT_EQ(list.keys, (VxStringArray{S(u"a"), S(u"b"), S(u"a")}));
  EXPECT_EQ(list.values.Count(), 2);
  EXPECT_EQ(list.values.Get(S(u"a")), u"2");
  EXPECT_EQ(list.values.Get(S(u"b")), u"1");

  list.Parse(S(u"http://h/p?x=1?pipe=0x1F&Streaming"));
  EXPECT_EQ(list.keys, (VxStringArray{S(u"pipe"), S(u"Streaming")}));
  EXPECT_EQ(list.values.GetPointer(S(u"PIPE"), 0), 31u);
  EXPECT_EQ(list.values.GetInt(S(u"streaming"), 0), 1);

  list.Parse(S(u"k==v=w&=only&novalue="));
  EXPECT_EQ(list.values.Get(S(u"k")), u"=v=w");
  EXPECT_EQ(list.values.Get(S(u"")), u"only");
  EXPECT_TRUE(list.values.Contains(S(u"novalue")));
  EXPECT_EQ(list.values.Get(S(u"novalue"), u"absent"), u"");
}

TEST(ParameterList, EmptyItemsCountExceptAfterAFinalAmpersand) {
  VxParameterList list;
  list.Parse(S(u"a=1&&b=2"));
  EXPECT_EQ(list.keys, (VxStringArray{S(u"a"), S(u""), S(u"b")}));
  EXPECT_EQ(list.values.Get(S(u""), u"absent"), u"1");

  list.Parse(S(u"a=1&"));
  EXPECT_EQ(list.keys, (VxStringArray{S(u"a")}));
  EXPECT_EQ(list.values.Count(), 1);

  list.Parse(S(u"&a"));
  EXPECT_EQ(list.keys, (VxStringArray{S(u""), S(u"a")}));
  list.Parse(S(u"&"));
  EXPECT_EQ(list.keys, (VxStringArray{S(u"")}));
  list.Parse(S(u"a&&"));
  EXPECT_EQ(list.keys, (VxStringArray{S(u"a"), S(u"")}));

  for (const char16_t* nothing : {u"", u"?", u"a=1?"}) {
    list.Parse(S(u"stale=1"));
    list.Parse(S(nothing));
    EXPECT_TRUE(list.keys.empty());
    EXPECT_TRUE(list.values.IsEmpty());
  }
}

TEST(ParameterList, DecodesPlusPercentAndUtf8InKeysAndValues) {
  VxParameterList list;
  list.Parse(S(u"drink=caf%C3%A9+noir&%6B%65%79=%41%2b%26%3D"));
  EXPECT_EQ(list.values.Get(S(u"drink")), u"caf\u00E9 noir");
  EXPECT_EQ(list.keys[1], u"key");
  EXPECT_EQ(list.values.Get(S(u"key")), u"A+&=");  // decoded "&" and "=" do not split
}

TEST(UrlCoding, DecodeRules) {
  EXPECT_EQ(VxUrlDecode(S(u"a+b%20c")), u"a b c");
  EXPECT_EQ(VxUrlDecode(S(u"%7b%7D")), u"{}");
  EXPECT_EQ(VxUrlDecode(S(u"100%")), u"100%");
  EXPECT_EQ(VxUrlDecode(S(u"%4")), u"%4");
  EXPECT_EQ(VxUrlDecode(S(u"%G1%1")), u"%G1%1");
  EXPECT_EQ(VxUrlDecode(S(u"%2541")), u"%41");        // decoded once
  EXPECT_EQ(VxUrlDecode(S(u"%E9")), u"\uFFFD");       // a lone high byte is not UTF-8
  EXPECT_EQ(VxUrlDecode(S(u"%FF")), u"\uFFFD");       // nor is 0xFF, the last byte value
  EXPECT_EQ(VxUrlDecode(S(u"%80%0A")), u"\uFFFD\n");  // nor a lone continuation byte
  EXPECT_EQ(VxUrlDecode(S(u"\u00E9")), u"\u00E9");    // no escape >= 0x80: kept as it is
  EXPECT_EQ(VxUrlDecode(S(u"\u20AC%E2%82%AC")), u"\u20AC\u20AC");
  EXPECT_EQ(VxUrlDecode(S(u"%F0%9F%98%80")), u"\U0001F600");
  EXPECT_EQ(VxUrlDecode(S(u"%F0%90%80%80")), u"\U00010000");
  EXPECT_EQ(VxUrlDecode(S(u"%F0%8F%BF%BF")), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // overlong U+FFFF
  // 0x80 turns UTF-8 reading on; an unescaped code unit below 0x100 is then a byte too.
  EXPECT_EQ(VxUrlDecode(S(u"%C2%80\u00E9")), u"\u0080\uFFFD");
}

TEST(UrlCoding, EncodeKeepsUnreservedAndWritesUtf8BytesInUpperCaseHex) {
  EXPECT_EQ(VxUrlEncode(S(u"{0A1B2C3D-aaaa-bbbb}")), u"%7B0A1B2C3D-aaaa-bbbb%7D");
  EXPECT_EQ(VxUrlEncode(S(u"AZaz09-._~")), u"AZaz09-._~");
  EXPECT_EQ(VxUrlEncode(S(u"a b+c&d=e%")), u"a%20b%2Bc%26d%3De%25");
  EXPECT_EQ(VxUrlEncode(S(u"\u00E9\u20AC\U0001F600")), u"%C3%A9%E2%82%AC%F0%9F%98%80");
  // The first and last code points of each UTF-8 length and of the surrogate
  // pairs; a lone surrogate at either end of the range becomes U+FFFD.
  EXPECT_EQ(VxUrlEncode(S(u"\u007F\u0080\u07FF\u0800\uFFFF\U00010000\uE000\U0010FFFF")),
            u"%7F%C2%80%DF%BF%E0%A0%80%EF%BF%BF%F0%90%80%80%EE%80%80%F4%8F%BF%BF");
  EXPECT_EQ(VxUrlEncode(S(u"\xD800x\xDFFF")), u"%EF%BF%BDx%EF%BF%BD");
  EXPECT_EQ(VxUrlEncode(VxString(1, u'\0')), u"%00");
}
