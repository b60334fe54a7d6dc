#include "foundation/VxUrl.h"

#include <string>

#include "foundation/VxNumber.h"

namespace {

bool KeepsAsIs(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         c == u'-' || c == u'.' || c == u'_' || c == u'~';
}

}  // namespace

VxString VxUrlEncode(const VxString& text) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  VxString out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    // Encode runs of characters to escape together so surrogate pairs combine.
    if (KeepsAsIs(text[i])) {
      out.push_back(text[i++]);
      continue;
    }
    size_t end = i;
    while (end < text.size() && !KeepsAsIs(text[end]))
      ++end;
    const std::string bytes = VxString(text.substr(i, end - i)).ToUtf8();
    for (unsigned char b : bytes) {
      out.push_back(u'%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 15]);
    }
    i = end;
  }
  return out;
}

VxString VxUrlDecode(const VxString& text) {
  VxString decoded;
  decoded.reserve(text.size());
  bool highByte = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'+') {
      decoded.push_back(u' ');
    } else if (c == u'%' && i + 2 < text.size() && VxHexDigitValue(text[i + 1]) >= 0 &&
               VxHexDigitValue(text[i + 2]) >= 0) {
      const int b = VxHexDigitValue(text[i + 1]) * 16 + VxHexDigitValue(text[i + 2]);
      highByte = highByte || b >= 0x80;
      decoded.push_back(static_cast<char16_t>(b));
      i += 2;
    } else {
      decoded.push_back(c);
    }
  }
  if (!highByte)
    return decoded;
  // Read as UTF-8, one byte per code unit; code units above 0xFF cannot be
  // bytes and pass through between the decoded runs.
  VxString out;
  out.reserve(decoded.size());
  size_t i = 0;
  while (i < decoded.size()) {
    if (decoded[i] > 0xFF) {
      out.push_back(decoded[i++]);
      continue;
    }
    std::string bytes;
    for (; i < decoded.size() && decoded[i] <= 0xFF; ++i)
      bytes.push_back(static_cast<char>(decoded[i]));
    out += VxString::FromUtf8(bytes);
  }
  return out;
}
