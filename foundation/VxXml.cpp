#include "foundation/VxXml.h"

#include "foundation/VxNumber.h"

void VxXmlAppendEscaped(VxString& out, std::u16string_view text, bool attribute) {
  for (char16_t c : text) {
    switch (c) {
      case u'&':
        out += u"&amp;";
        break;
      case u'<':
        out += u"&lt;";
        break;
      case u'>':
        out += u"&gt;";
        break;
      case u'"':
        if (attribute)
          out += u"&quot;";
        else
          out.push_back(c);
        break;
      case u'\'':
        if (attribute)
          out += u"&apos;";
        else
          out.push_back(c);
        break;
      case 0x01:
        out += u"&#x1;";
        break;
      default:
        if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
          out.push_back(u'?');
        else
          out.push_back(c);
    }
  }
}

VxString VxXmlEscape(std::u16string_view text, bool attribute) {
  VxString out;
  out.reserve(text.size());
  VxXmlAppendEscaped(out, text, attribute);
  return out;
}

namespace {

// Reads the reference that starts with "&" at `i`; on success appends its
// character(s) and returns the length of the reference, else 0.
size_t ReadReference(VxString& out, std::u16string_view t, size_t i) {
  static constexpr struct {
    std::u16string_view name;
    char16_t c;
  } kEntities[] = {
      {u"&lt;", u'<'}, {u"&amp;", u'&'}, {u"&gt;", u'>'}, {u"&apos;", u'\''}, {u"&quot;", u'"'}};
  const std::u16string_view rest = t.substr(i);
  for (const auto& e : kEntities) {
    if (rest.substr(0, e.name.size()) == e.name) {
      out.push_back(e.c);
      return e.name.size();
    }
  }
  if (rest.size() < 4 || rest[1] != u'#')
    return 0;
  const bool hex = rest[2] == u'x';
  const size_t first = hex ? 3 : 2;
  uint32_t value = 0;
  size_t k = first;
  for (; k < rest.size() && k - first < 8; ++k) {
    const char16_t c = rest[k];
    const int d = hex ? VxHexDigitValue(c) : (c >= u'0' && c <= u'9' ? c - u'0' : -1);
    if (d < 0)
      break;
    value = value * (hex ? 16 : 10) + static_cast<uint32_t>(d);
  }
  // One to seven digits, then the semicolon.
  if (k == first || k - first > 7 || k >= rest.size() || rest[k] != u';')
    return 0;
  if (value == 0 || value > 0x10FFFF)
    return 0;
  if (value >= 0x10000) {
    value -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(value));
  }
  return k + 1;
}

}  // namespace

void VxXmlAppendUnescaped(VxString& out, std::u16string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const size_t amp = text.find(u'&', i);
    if (amp == std::u16string_view::npos) {
      out.append(text.substr(i));
      return;
    }
    out.append(text.substr(i, amp - i));
    const size_t used = ReadReference(out, text, amp);
    if (used == 0) {
      out.push_back(u'&');
      i = amp + 1;
    } else {
      i = amp + used;
    }
  }
}

VxString VxXmlUnescape(std::u16string_view text) {
  VxString out;
  out.reserve(text.size());
  VxXmlAppendUnescaped(out, text);
  return out;
}
