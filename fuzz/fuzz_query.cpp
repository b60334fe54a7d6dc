// Parses arbitrary text as a query string and decodes it, then checks that
// encoding any text and decoding it gives the text back.
#include "foundation/VxParameterList.h"
#include "foundation/VxUrl.h"
#include "fuzz/FuzzText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const VxString text = FuzzText(data, size);

  VxParameterList list;
  list.Parse(text);
  FUZZ_CHECK(static_cast<size_t>(list.values.Count()) <= list.keys.size());
  for (const VxString& key : list.keys)
    FUZZ_CHECK(list.values.Contains(key));
  (void)VxUrlDecode(text);

  // Encoding writes standard UTF-8, so a lone surrogate comes back as U+FFFD.
  const VxString expected = VxString::FromUtf8(text.ToUtf8());
  const VxString encoded = VxUrlEncode(text);
  for (char16_t c : encoded)
    FUZZ_CHECK(c < 0x80 && c != u'&' && c != u'=' && c != u'+' && c != u'?');
  FUZZ_CHECK(VxUrlDecode(encoded) == expected);

  list.Parse(VxString(u"first&key=") + encoded + u"&" + encoded + u"=v");
  if (!VxEqualsNoCase(expected, u"key"))
    FUZZ_CHECK(list.values.Get(VxString(u"key")) == expected);
  FUZZ_CHECK(list.keys.size() == 3 && list.keys[2] == expected);
  return 0;
}
