// Reads arbitrary text as the token form, then checks that writing the map and
// reading it again reproduces it.
#include "foundation/VxPropertyMap.h"
#include "fuzz/FuzzText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const VxString text = FuzzText(data, size);
  VxPropertyMap map;
  size_t position = 0;
  map.ReadTokens(text, position);
  FUZZ_CHECK(position <= text.size());

  VxString written = VxString(u"head");
  map.WriteTokens(written, true);
  VxPropertyMap back;
  size_t start = 4;
  back.ReadTokens(written, start);
  FUZZ_CHECK(start == written.size());
  FUZZ_CHECK(back.Equals(map) && map.Equals(back));
  VxString again = VxString(u"head");
  back.WriteTokens(again, true);
  FUZZ_CHECK(again == written);

  VxString bare;
  map.WriteTokens(bare, false);
  FUZZ_CHECK(bare == u"(1:0)");
  return 0;
}
