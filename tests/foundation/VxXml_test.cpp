#include <gtest/gtest.h>

#include <string>

#include "foundation/VxPropertyMap.h"
#include "foundation/VxXml.h"
#include "foundation/VxXmlDocument.h"

namespace {

VxString S(const char16_t* s) {
  return VxString(s);
}

VxString ParseError(const char16_t* text) {
  VxXmlDocument document;
  EXPECT_FALSE(document.Parse(S(text))) << std::string(S(text).ToUtf8());
  return document.ErrorText();
}

}  // namespace

TEST(PropertyMapXml, EmptyMapWritesBareRootUnlessOnlyIfNotEmpty) {
  VxPropertyMap map;
  VxString xml = S(u"stale");
  EXPECT_EQ(map.ToXml(xml, S(u"Root"), true, 1.0), u"");
  EXPECT_EQ(map.ToXml(xml, S(u"Root"), false, 2.0), u"<Root version=\"2.0\">\r\n</Root>");
  map.SetString(S(u"k"), S(u""), false);
  EXPECT_EQ(map.ToXml(xml, S(u"Root"), true, 1.0),
            u"<Root version=\"1.0\">\r\n<Item Name=\"k\"/>\r\n</Root>");
}

TEST(PropertyMapXml, EscapesTextAndAttributesAndReadsThemBack) {
  VxPropertyMap map;
  map.SetString(S(u"expr"), S(u"a < b & c"), false);
  map.SetString(S(u"q\"'<&>"), S(u"\"quoted\" 'single' >"), false);
  map.SetString(S(u"ctl"), S(u"t\tn\nr\r\x02\x1F\x01\u00E9\U0001F600"), false);
  VxString xml;
  map.ToXml(xml, S(u"R"), false, 1.0);
  EXPECT_NE(xml.find(u">a &lt; b &amp; c</Item>"), VxString::npos);
  EXPECT_NE(xml.find(u"Name=\"q&quot;&apos;&lt;&amp;&gt;\">\"quoted\" 'single' &gt;</Item>"),
            VxString::npos);
  EXPECT_NE(xml.find(u">t\tn\nr\r??&#x1;\u00E9\U0001F600</Item>"), VxString::npos);

  VxPropertyMap back;
  ASSERT_TRUE(back.FromXml(xml, S(u"R"), 1.0));
  EXPECT_EQ(back.Get(S(u"expr")), u"a < b & c");
  EXPECT_EQ(back.Get(S(u"q\"'<&>")), u"\"quoted\" 'single' >");
  EXPECT_EQ(back.Get(S(u"ctl")),
            u"t\tn\nr\r??\x01\u00E9\U0001F600");  // unwritable controls became "?"
}

TEST(XmlReferences, DecodeEntitiesAndShortNumericReferencesOnly) {
  EXPECT_EQ(VxXmlUnescape(u"&lt;&gt;&amp;&apos;&quot;"), u"<>&'\"");
  EXPECT_EQ(VxXmlUnescape(u"&#65;&#x42;&#x00043;&#0000068;"), u"ABCD");
  EXPECT_EQ(VxXmlUnescape(u"&#00000065;"), u"&#00000065;");  // eight digits: literal
  EXPECT_EQ(VxXmlUnescape(u"&#x0000041;"), u"A");            // seven after the x
  EXPECT_EQ(VxXmlUnescape(u"&#x;&#;&#65&#x4G;&#X41;"), u"&#x;&#;&#65&#x4G;&#X41;");
  EXPECT_EQ(VxXmlUnescape(u"&nbsp; & &amp &LT;"), u"&nbsp; & &amp &LT;");
  EXPECT_EQ(VxXmlUnescape(u"&#0;"), u"&#0;");
  EXPECT_EQ(VxXmlUnescape(u"&#x1F600;"), u"\U0001F600");
  EXPECT_EQ(VxXmlUnescape(u"&#x110000;"), u"&#x110000;");
  EXPECT_EQ(VxXmlUnescape(u"&#x10000;&#x10FFFF;&#5;"), u"\U00010000\U0010FFFF\u0005");
  EXPECT_EQ(VxXmlUnescape(u"&amp;lt;"), u"&lt;");  // one pass only
  EXPECT_EQ(VxXmlUnescape(u"&"), u"&");
}

TEST(PropertyMapXml, ReadingMatchesNamesWithoutCaseAndVersionNumerically) {
  VxPropertyMap map;
  EXPECT_TRUE(map.FromXml(
      S(u"<?xml version=\"1.0\"?><!-- c --><!DOCTYPE x [<!ENTITY y \">\">]>"
        u"<vxipc VERSION='1'><ITEM name=\"Pipe\">a&amp;b</ITEM><Other Name=\"o\">x</Other>"
        u"<Item>no name</Item><Item Name=\"pipe\">last</Item><Item Name=\"e\"/>"
        u"<Item Name=\"c\"><![CDATA[<raw&>]]></Item></vxipc>"),
      S(u"VXIPC"), 1.0));
  EXPECT_EQ(map.Count(), 4);
  EXPECT_EQ(map.Get(S(u"PIPE")), u"last");  // a repeated key keeps its last value
  EXPECT_EQ(map.Get(S(u"")), u"no name");
  EXPECT_EQ(map.Get(S(u"e"), u"absent"), u"");
  EXPECT_EQ(map.Get(S(u"c")), u"<raw&>");
  EXPECT_FALSE(map.Contains(S(u"o")));

  EXPECT_TRUE(map.FromXml(S(u"<R version=\"1,0\"/>"), S(u"R"), 1.0));
  EXPECT_TRUE(map.IsEmpty());
  EXPECT_FALSE(map.FromXml(S(u"<R version=\"1.1\"><Item Name=\"a\">1</Item></R>"), S(u"R"), 1.0));
  EXPECT_TRUE(map.IsEmpty());
  EXPECT_FALSE(map.FromXml(S(u"<R><Item Name=\"a\">1</Item></R>"), S(u"R"), 1.0));  // no version
  EXPECT_TRUE(
      map.FromXml(S(u"<R><Item Name=\"a\">1</Item></R>"), S(u"R"), 0.0));  // missing reads as 0
}

TEST(PropertyMapXml, FailsWithoutUsableRootAndLeavesMapEmpty) {
  VxPropertyMap map;
  map.SetString(S(u"stale"), S(u"1"), false);
  EXPECT_TRUE(map.FromXml(S(u""), S(u"R"), 1.0));
  EXPECT_TRUE(map.IsEmpty());
  const char16_t* failing[] = {
      u"   ",
      u"<Other version=\"1.0\"/>",
      u"<R version=\"1.0\"",
      u"<Wrapper><R version=\"1.0\"/></Wrapper>",
  };
  for (const char16_t* text : failing) {
    map.SetString(S(u"stale"), S(u"1"), false);
    EXPECT_FALSE(map.FromXml(S(text), S(u"R"), 1.0)) << std::string(S(text).ToUtf8());
    EXPECT_TRUE(map.IsEmpty());
  }
  // A later sibling root is still found, and what was read before damage counts.
  EXPECT_TRUE(
      map.FromXml(S(u"<A/><R version=\"1.0\"><Item Name=\"k\">v</Item></R>"), S(u"R"), 1.0));
  EXPECT_EQ(map.Get(S(u"k")), u"v");
  EXPECT_TRUE(map.FromXml(S(u"<R version=\"1.0\"><Item Name=\"k\">v</Item><Item Name=\"x\">"),
                          S(u"R"), 1.0));
  EXPECT_EQ(map.Get(S(u"k")), u"v");
}

TEST(XmlParser, ReportsEachProblemWithItsOffset) {
  EXPECT_EQ(ParseError(u""), u"Empty document");
  EXPECT_EQ(ParseError(u" \r\n\t"), u"Empty document");
  EXPECT_EQ(ParseError(u"text <!-- c --> <?pi?>"), u"No root element");
  EXPECT_EQ(ParseError(u"<a/><b/>"), u"Root element has sibling");
  EXPECT_EQ(ParseError(u"<a><b>"), u"Element 'b' at offset 3 not ended");
  EXPECT_EQ(ParseError(u"<a/> </x>"), u"No start tag for end tag 'x' at offset 5");
  EXPECT_EQ(ParseError(u"<a>\n <b></B></c>"),
            u"End tag 'c' at offset 12 does not match start tag 'a' at offset 0");
  EXPECT_EQ(ParseError(u"<a>x<"), u"tag at offset 4 unterminated");
  EXPECT_EQ(ParseError(u"<a><!DOCTYPE x [ > ]"), u"Doctype at offset 3 unterminated");
  EXPECT_EQ(ParseError(u"<a><!DOC"), u"Doctype at offset 3 unterminated");
  EXPECT_EQ(ParseError(u"<a x=\"1\""), u"Element tag at offset 0 unterminated");
  EXPECT_EQ(ParseError(u"<a x=\"1>"), u"Element tag at offset 0 unterminated");
  EXPECT_EQ(ParseError(u"<a></a"), u"Element end tag at offset 3 unterminated");
  EXPECT_EQ(ParseError(u"<a><![CDATA[x]]"), u"CDATA Section at offset 3 unterminated");
  EXPECT_EQ(ParseError(u"<?xml version=\"1.0\"? >"),
            u"Processing instruction at offset 0 unterminated");
  EXPECT_EQ(ParseError(u"<a><!-- x --"), u"Comment at offset 3 unterminated");
  EXPECT_EQ(ParseError(u"<a><!-"), u"Comment at offset 3 unterminated");
  EXPECT_EQ(ParseError(u"<a>< b/></a>"), u"Incorrect tag name character at offset 4");
  EXPECT_EQ(ParseError(u"<a x=\"1\"y=\"2\"/>"), u"Incorrect tag name character at offset 8");
  EXPECT_EQ(ParseError(u"<1a/>"), u"Incorrect tag name character at offset 1");
  EXPECT_EQ(ParseError(u"<a><!ELEMENT a></a>"), u"Incorrect ! tag at offset 3");
  EXPECT_EQ(ParseError(u"<a><!-x--></a>"), u"Incorrect comment tag at offset 3");
  EXPECT_EQ(ParseError(u"<a x></a>"), u"Incorrect Element tag at offset 0");
  EXPECT_EQ(ParseError(u"<a x=1></a>"), u"Incorrect Element tag at offset 0");
  EXPECT_EQ(ParseError(u"<a/ ></a>"), u"Incorrect Element tag at offset 0");
  EXPECT_EQ(ParseError(u"<a></a x>"), u"Incorrect Element end tag at offset 3");
  // Offsets count UTF-16 code units.
  EXPECT_EQ(ParseError(u"<\u00E9\U0001F600><b>"), u"Element 'b' at offset 5 not ended");
}

TEST(XmlDocument, BuildsNavigatesAndWritesNestedElements) {
  VxXmlDocument document;
  document.AddElement(S(u"Outer"));
  EXPECT_TRUE(document.SetAttribute(S(u"id"), S(u"1")));
  EXPECT_TRUE(document.SetAttribute(S(u"ID"), S(u"2")));  // same attribute, replaced
  ASSERT_TRUE(document.IntoElement());
  document.AddElement(S(u"Inner"), S(u"a&b"));
  document.AddElement(S(u"Inner"));
  ASSERT_TRUE(document.OutOfElement());
  EXPECT_EQ(document.ElementName(), u"Outer");
  const VxString text = document.ToText();
  EXPECT_EQ(text, u"<Outer id=\"2\">\r\n<Inner>a&amp;b</Inner>\r\n<Inner/>\r\n</Outer>\r\n");

  VxXmlDocument parsed;
  ASSERT_TRUE(parsed.Parse(text)) << std::string(parsed.ErrorText().ToUtf8());
  ASSERT_TRUE(parsed.FindElement(S(u"outer")));
  EXPECT_EQ(parsed.GetAttribute(S(u"Id")), u"2");
  EXPECT_EQ(parsed.GetAttribute(S(u"missing")), u"");
  ASSERT_TRUE(parsed.IntoElement());
  ASSERT_TRUE(parsed.FindElement(S(u"INNER")));
  EXPECT_EQ(parsed.GetText(), u"a&b");
  ASSERT_TRUE(parsed.FindElement(VxString()));
  EXPECT_EQ(parsed.GetText(), u"");
  EXPECT_FALSE(parsed.FindElement(VxString()));
  ASSERT_TRUE(parsed.OutOfElement());
  EXPECT_EQ(parsed.GetText(), u"\r\n\r\n\r\n");  // white space between children is kept
  ASSERT_TRUE(parsed.IntoElement());
  parsed.ResetPosition();  // from any depth back to before the first top element
  EXPECT_TRUE(parsed.FindElement(S(u"Outer")));
}

TEST(XmlParser, DeepNestingNeedsNoRecursion) {
  VxString text;
  const int depth = 100000;
  for (int i = 0; i < depth; ++i)
    text += u"<d>";
  for (int i = 0; i < depth; ++i)
    text += u"</d>";
  VxXmlDocument document;
  EXPECT_TRUE(document.Parse(text)) << std::string(document.ErrorText().ToUtf8());
  EXPECT_EQ(document.ElementCount(), depth);
  EXPECT_EQ(document.ToText().size(), static_cast<size_t>(depth) * 11 - 5);
}
