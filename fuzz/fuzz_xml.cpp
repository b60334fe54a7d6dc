// Parses arbitrary text as an XML document and as a property map, then checks
// that what the writers produce reads back to the same content.
#include "foundation/VxPropertyMap.h"
#include "foundation/VxXmlDocument.h"
#include "fuzz/FuzzText.h"

namespace {

// What a text becomes after being written and read: controls that XML text
// cannot carry are written as "?".
VxString AfterWriting(const VxString& text) {
  VxString out = text;
  for (char16_t& c : out)
    if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != 0x01)
      c = u'?';
  return out;
}

// Element names and attributes of the whole tree in document order.
VxString Outline(VxXmlDocument& document) {
  VxString outline;
  document.ResetPosition();
  int depth = 0;
  for (;;) {
    if (document.FindElement(VxString())) {
      outline += u"<";
      outline += document.ElementName();
      if (!document.IntoElement())
        std::abort();
      ++depth;
      continue;
    }
    if (depth == 0)
      break;
    outline += u">";
    if (!document.OutOfElement())
      std::abort();
    --depth;
  }
  return outline;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const VxString text = FuzzText(data, size);

  VxXmlDocument document;
  const bool parsed = document.Parse(text);
  FUZZ_CHECK(parsed == document.ErrorText().empty());
  if (document.ElementCount() > 0) {
    // Whatever was read writes out as a document that reads back with the same
    // element structure.
    const VxString written = document.ToText();
    VxXmlDocument again;
    const bool reparsed = again.Parse(written);
    FUZZ_CHECK(reparsed || again.ErrorText() == u"Root element has sibling");
    FUZZ_CHECK(again.ElementCount() == document.ElementCount());
    FUZZ_CHECK(Outline(again) == Outline(document));
  }

  VxPropertyMap map;
  map.SetString(VxString(u"stale"), VxString(u"x"), false);
  const VxString root(u"VXIPC");
  if (!map.FromXml(text, root, 1.0))
    FUZZ_CHECK(map.IsEmpty());

  // Write the map and read it back: the content must survive, apart from the
  // controls that XML cannot carry.
  VxString xml;
  map.ToXml(xml, root, false, 1.0);
  VxPropertyMap back;
  FUZZ_CHECK(back.FromXml(xml, root, 1.0));
  VxPropertyMap expected;
  map.ForEach([&](const VxString& k, const VxString& v) {
    expected.SetString(AfterWriting(k), AfterWriting(v), false);
  });
  FUZZ_CHECK(back.Equals(expected) && expected.Equals(back));
  VxString xmlBack, xmlExpected;
  FUZZ_CHECK(back.ToXml(xmlBack, root, false, 1.0) ==
             expected.ToXml(xmlExpected, root, false, 1.0));
  return 0;
}
