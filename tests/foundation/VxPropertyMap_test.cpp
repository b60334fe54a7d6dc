#include "foundation/VxPropertyMap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/VxNumber.h"

namespace {

VxString S(const char16_t* s) {
  return VxString(s);
}

std::vector<VxString> KeysOf(const VxPropertyMap& map) {
  std::vector<VxString> keys;
  map.ForEach([&](const VxString& k, const VxString&) { keys.push_back(k); });
  return keys;
}

VxPropertyMap Numbered(int count) {
  VxPropertyMap map;
  for (int i = 0; i < count; ++i)
    map.SetString(VxString(u"Key") + VxFormatInt64(i), VxString(u"v") + VxFormatInt64(i), false);
  return map;
}

}  // namespace

TEST(PropertyMap, KeysIgnoreCaseValuesKeepIt) {
  VxPropertyMap map;
  map.SetString(S(u"Pipe"), S(u"Value"), false);
  map.SetString(S(u"PIPE"), S(u"OtherValue"), false);
  EXPECT_EQ(map.Count(), 1);
  EXPECT_TRUE(map.Contains(S(u"pipe")));
  EXPECT_EQ(map.Get(S(u"pIpE")), u"OtherValue");
  EXPECT_EQ(KeysOf(map), std::vector<VxString>{S(u"Pipe")});  // the first spelling stays
  EXPECT_FALSE(map.Contains(S(u"pipes")));
  VxString out = S(u"junk");
  EXPECT_EQ(map.GetString(out, S(u"absent"), nullptr), u"");
  EXPECT_EQ(map.GetString(out, S(u"absent"), u"dflt"), u"dflt");
}

TEST(PropertyMap, EmptyMapOwnsNoStorageAndRemovalOfLastPairReleasesIt) {
  VxPropertyMap map;
  EXPECT_TRUE(map.IsEmpty());
  EXPECT_EQ(map.BucketCount(), 0);
  map.SetString(S(u"a"), S(u""), true);
  EXPECT_TRUE(map.IsEmpty());
  map.SetString(S(u"a"), S(u""), false);  // an empty value is stored when asked
  EXPECT_TRUE(map.Contains(S(u"a")));
  EXPECT_EQ(map.BucketCount(), 7);
  map.SetString(S(u"b"), S(u"1"), false);
  map.SetString(S(u"A"), S(u""), true);  // removes
  EXPECT_FALSE(map.Contains(S(u"a")));
  EXPECT_FALSE(map.IsEmpty());
  map.Remove(S(u"B"));
  EXPECT_TRUE(map.IsEmpty());
  EXPECT_EQ(map.BucketCount(), 0);
  map.Remove(S(u"nothing"));
  VxString text = S(u"stale");
  EXPECT_EQ(map.ToText(text, S(u"> "), S(u"\n")), u"");
  map.SetInt(S(u"x"), 1);
  map.Clear();
  EXPECT_TRUE(map.IsEmpty());
}

TEST(PropertyMap, TypedValuesConvertBothWaysAndDefaultOnlyWhenAbsent) {
  VxPropertyMap map;
  map.SetString(S(u"a"), S(u"12abc"), false);
  map.SetString(S(u"b"), S(u"abc"), false);
  map.SetString(S(u"big"), S(u"99999999999"), false);
  map.SetString(S(u"small"), S(u"-99999999999"), false);
  EXPECT_EQ(map.GetInt(S(u"a"), 5), 12);
  EXPECT_EQ(map.GetInt(S(u"b"), 5), 0);
  EXPECT_EQ(map.GetInt(S(u"absent"), 5), 5);
  EXPECT_EQ(map.GetInt(S(u"absent"), INT32_MIN), -INT32_MAX);  // the default travels as text
  EXPECT_EQ(map.GetInt(S(u"big"), 0), 2147483647);
  EXPECT_EQ(map.GetInt(S(u"small"), 0), -2147483647);
  EXPECT_EQ(map.GetInt64(S(u"big"), 0), 99999999999LL);
  EXPECT_EQ(map.GetInt64Alt(S(u"small"), 0), -99999999999LL);
  EXPECT_EQ(map.GetInt64(S(u"absent"), INT64_MIN), -INT64_MAX);

  map.SetString(S(u"p1"), S(u"0x1F"), false);
  map.SetString(S(u"p2"), S(u"1f"), false);
  map.SetString(S(u"p3"), S(u"0X1F"), false);  // only lower-case x is skipped
  EXPECT_EQ(map.GetPointer(S(u"p1"), 7), 31u);
  EXPECT_EQ(map.GetPointer(S(u"p2"), 7), 31u);
  EXPECT_EQ(map.GetPointer(S(u"p3"), 7), 0u);
  EXPECT_EQ(map.GetPointer(S(u"absent"), 7), 7u);

  map.SetString(S(u"d"), S(u"2,5"), false);
  EXPECT_EQ(map.GetDouble(S(u"d"), 1.0), 2.5);
  EXPECT_EQ(map.GetDouble(S(u"absent"), 0.125), 0.125);
  EXPECT_EQ(map.GetDouble(S(u"b"), 1.0), 0.0);

  // The setters write the documented text.
  map.SetInt(S(u"i"), -42);
  map.SetInt64(S(u"l"), INT64_MIN);
  map.SetInt64Alt(S(u"l2"), 5000000000LL);
  map.SetPointer(S(u"p"), 0xABCDEF);
  map.SetDouble(S(u"d1"), 48000.0);
  map.SetDouble(S(u"d2"), 0.5);
  EXPECT_EQ(map.Get(S(u"i")), u"-42");
  EXPECT_EQ(map.Get(S(u"l")), u"-9223372036854775808");
  EXPECT_EQ(map.Get(S(u"l2")), u"5000000000");
  EXPECT_EQ(map.Get(S(u"p")), u"0000000000ABCDEF");
  EXPECT_EQ(map.GetPointer(S(u"p"), 0), 0xABCDEFu);
  EXPECT_EQ(map.Get(S(u"d1")), u"48000");
  EXPECT_EQ(map.Get(S(u"d2")), u"0.5");
}

// The writers expose the inner map's order: buckets upward, chains head to
// tail, new keys at the tail, rehash pushing onto chain heads. The expected
// orders below were worked out by hand-simulating those rules for Key0..KeyN.
TEST(PropertyMapOrder, IterationFollowsBucketsChainsAndRehashes) {
  struct Case {
    int count;
    int buckets;
    std::vector<int> order;
  };
  const Case cases[] = {
      {0, 0, {}},
      {16, 7, {3, 14, 4, 15, 5, 6, 10, 0, 7, 11, 1, 8, 12, 2, 9, 13}},
      {17, 31, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
      {65, 127, {0,  1,  20, 2,  21, 3,  22, 4,  23, 5,  24, 6,  25, 7,  26, 8,  27,
                 40, 9,  41, 28, 29, 42, 43, 44, 45, 46, 47, 60, 48, 61, 49, 62, 63,
                 64, 10, 11, 12, 13, 14, 15, 16, 17, 30, 18, 31, 19, 32, 33, 34, 35,
                 36, 37, 50, 38, 51, 39, 52, 53, 54, 55, 56, 57, 58, 59}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    VxPropertyMap map = Numbered(c.count);
    EXPECT_EQ(map.BucketCount(), c.buckets);
    std::vector<VxString> expected;
    for (int i : c.order)
      expected.push_back(VxString(u"Key") + VxFormatInt64(i));
    ASSERT_EQ(KeysOf(map), expected);

    // Tokens append to what the text holds; without pairs only a zero count.
    VxString tokens = S(u"head"), bare = S(u"head"), xml, text;
    map.WriteTokens(tokens, true);
    map.WriteTokens(bare, false);
    EXPECT_EQ(bare, u"head(1:0)");
    VxString wantTokens = VxString(u"head(") + VxFormatInt64(VxFormatInt64(c.count).size()) + u":" +
                          VxFormatInt64(c.count) + u")";
    VxString wantXml = S(u"<M version=\"1.0\">\r\n");
    VxString wantText;
    for (const VxString& k : expected) {
      const VxString v = map.Get(k);
      wantTokens += VxString(u"(") + VxFormatInt64(k.size()) + u":" + k + u")(" +
                    VxFormatInt64(v.size()) + u":" + v + u")";
      wantXml += VxString(u"<Item Name=\"") + k + u"\">" + v + u"</Item>\r\n";
      wantText += VxString(u"[") + k + u": " + v + u"]";
    }
    wantXml += u"</M>";
    EXPECT_EQ(tokens, wantTokens);
    EXPECT_EQ(map.ToXml(xml, S(u"M"), false, 1.0), wantXml);
    EXPECT_EQ(map.ToText(text, S(u"["), S(u"]")), wantText);
  }
}

TEST(PropertyMapOrder, ReplacingKeepsPositionAndRemovalKeepsOthersInOrder) {
  VxPropertyMap map = Numbered(16);
  const std::vector<VxString> before = KeysOf(map);
  map.SetString(S(u"KEY10"), S(u"changed"), false);
  EXPECT_EQ(KeysOf(map), before);
  map.Remove(S(u"key4"));
  std::vector<VxString> expected = before;
  expected.erase(std::find(expected.begin(), expected.end(), S(u"Key4")));
  EXPECT_EQ(KeysOf(map), expected);
  EXPECT_EQ(map.BucketCount(), 7);  // removal never shrinks
}

TEST(PropertyMap, AssignMergeAndEqualsFollowTheirRules) {
  VxPropertyMap a = Numbered(20);
  VxPropertyMap b;
  b.SetString(S(u"old"), S(u"x"), false);
  EXPECT_TRUE(b.Assign(a));
  EXPECT_FALSE(b.Contains(S(u"old")));
  EXPECT_TRUE(b.Equals(a));
  EXPECT_TRUE(a.Equals(b));
  EXPECT_TRUE(b.Assign(b));
  EXPECT_EQ(b.Count(), 20);

  VxPropertyMap c(a);                        // copying assigns
  c.SetString(S(u"KEY3"), S(u"V3"), false);  // values compare with case
  EXPECT_FALSE(c.Equals(a));
  c.SetString(S(u"key3"), S(u"v3"), false);
  EXPECT_TRUE(c.Equals(a));

  VxPropertyMap extra;
  extra.SetString(S(u"key0"), S(u"replaced"), false);
  extra.SetString(S(u"new"), S(u"n"), false);
  EXPECT_TRUE(c.Merge(extra));
  EXPECT_EQ(c.Count(), 21);
  EXPECT_EQ(c.Get(S(u"Key0")), u"replaced");
  EXPECT_TRUE(c.Merge(c));
  EXPECT_EQ(c.Count(), 21);

  // Equals reads the other map through GetString, so an absent key matches an
  // empty value when the counts agree.
  VxPropertyMap left, right;
  left.SetString(S(u"x"), S(u""), false);
  right.SetString(S(u"y"), S(u""), false);
  EXPECT_TRUE(left.Equals(right));
  right.SetString(S(u"y"), S(u"1"), false);
  EXPECT_TRUE(left.Equals(right));  // right's "y" is never looked at
  EXPECT_FALSE(right.Equals(left));

  VxPropertyMap moved(std::move(c));
  EXPECT_EQ(moved.Count(), 21);
  EXPECT_TRUE(c.IsEmpty());  // NOLINT(bugprone-use-after-move): a moved-from map is empty
}

TEST(PropertyMapTokens, ReadsBackWhatWasWrittenIncludingDelimitersInText) {
  VxPropertyMap map = Numbered(70);
  map.SetString(S(u"(3:x)"), S(u"a)b(c:"), false);
  map.SetString(S(u"empty"), S(u""), false);
  map.SetString(S(u"long"), VxString(1234, u'\u00E9'), false);
  VxString text;
  map.WriteTokens(text, true);
  text += u"(1:0)";  // a second map follows in the same text
  VxPropertyMap back;
  size_t position = 0;
  back.ReadTokens(text, position);
  EXPECT_TRUE(back.Equals(map));
  EXPECT_EQ(back.Count(), 73);
  EXPECT_EQ(position, text.size() - 5);
  VxPropertyMap second;
  second.SetString(S(u"stale"), S(u"x"), false);
  second.ReadTokens(text, position);
  EXPECT_TRUE(second.IsEmpty());
  EXPECT_EQ(position, text.size());

  // The text grows in steps of 1,024 code units: one step holds exactly 1,024.
  VxPropertyMap one;
  one.SetString(S(u"k"), VxString(1007, u'v'), false);  // (1:1)(1:k)(1007:v...)
  VxString full;
  one.WriteTokens(full, true);
  EXPECT_EQ(full.size(), 1024u);
  EXPECT_LT(full.capacity(), 2048u);
}

TEST(PropertyMapTokens, DamagedTokensReadAsEmptyTextAndCountIsHonoured) {
  VxPropertyMap map;
  map.ReadTokens(S(u"(1:2)(1:a)(1:1)"));  // the second pair is missing
  EXPECT_EQ(map.Count(), 2);
  EXPECT_EQ(map.Get(S(u"a")), u"1");
  EXPECT_TRUE(map.Contains(S(u"")));

  struct Case {
    const char16_t* text;
    int count;
    const char16_t* firstKey;
  };
  const Case cases[] = {
      {u"", 0, u""},
      {u"1:1)(1:a)(1:b)", 0, u""},                    // no "("
      {u"(:1)(1:a)(1:b)", 0, u""},                    // no digits
      {u"(1x1)(1:a)(1:b)", 0, u""},                   // not a digit before ":"
      {u"(2:1)(1:a)(1:b)", 0, u""},                   // length passes the ")"
      {u"(1:1)(5:abc)", 1, u""},                      // key text runs past the end
      {u"(1:1)(99999999999999999999999:a)", 1, u""},  // absurd length
      {u"(1:1)(1:a)", 1, u"a"},                       // value missing
      {u"(1:x)(1:a)(1:b)", 0, u""},                   // non-numeric count
      {u"(2:-3)(1:a)(1:b)", 0, u""},                  // negative count
      {u"(10:2000000000)(1:a)", 2, u"a"},             // huge count: stops once tokens run out
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(VxString(c.text).ToUtf8()));
    VxPropertyMap m;
    m.SetString(S(u"stale"), S(u"x"), false);
    m.ReadTokens(S(c.text));
    EXPECT_EQ(m.Count(), c.count);
    EXPECT_FALSE(m.Contains(S(u"stale")));
    if (c.count > 0) {
      EXPECT_TRUE(m.Contains(S(c.firstKey)));
    }
  }
  // A failed token does not move the position: the reader can resume after it.
  VxPropertyMap m;
  size_t position = 0;
  m.ReadTokens(S(u"(1:1)(1:k)(4:v"), position);
  EXPECT_EQ(position, 10u);
  EXPECT_EQ(m.Get(S(u"k"), u"absent"), u"");
}
