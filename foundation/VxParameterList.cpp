#include "foundation/VxParameterList.h"

#include <string_view>

#include "foundation/VxUrl.h"

void VxParameterList::Parse(const VxString& text) {
  keys.clear();
  values.Clear();
  if (text.empty())
    return;
  std::u16string_view query = text;
  const size_t question = query.rfind(u'?');
  if (question != std::u16string_view::npos)
    query.remove_prefix(question + 1);
  if (query.empty())
    return;
  static const VxString kOne(u"1");
  size_t start = 0;
  for (;;) {
    size_t end = query.find(u'&', start);
    const bool last = end == std::u16string_view::npos;
    if (last)
      end = query.size();
    const std::u16string_view item = query.substr(start, end - start);
    const size_t equals = item.find(u'=');
    VxString key;
    VxString value;
    if (!item.empty() && equals != std::u16string_view::npos) {
      key = VxUrlDecode(VxString(item.substr(0, equals)));
      value = VxUrlDecode(VxString(item.substr(equals + 1)));
    } else {
      key = VxUrlDecode(VxString(item));
      value = kOne;
    }
    values.SetString(key, value, false);
    keys.push_back(std::move(key));
    // A "&" at the very end closes the last item without opening another.
    if (last || end + 1 == query.size())
      break;
    start = end + 1;
  }
}
