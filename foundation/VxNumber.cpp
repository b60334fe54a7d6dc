#include "foundation/VxNumber.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <string>

namespace {

std::u16string_view View(const char16_t* text) {
  return text ? std::u16string_view(text) : std::u16string_view();
}

bool IsSpace(char16_t c) {
  if (c == 0x20 || (c >= 0x09 && c <= 0x0D))
    return true;
  if (c < 0x85)
    return false;
  return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Skips white space and one sign; returns true for a minus sign.
bool SkipPrefix(std::u16string_view t, size_t& i) {
  while (i < t.size() && IsSpace(t[i]))
    ++i;
  if (i < t.size() && (t[i] == u'-' || t[i] == u'+'))
    return t[i++] == u'-';
  return false;
}

int AsciiDigit(char16_t c) {
  return c >= u'0' && c <= u'9' ? c - u'0' : -1;
}

// Reads a signed decimal number saturating at +-max.
template <typename DigitFn>
int64_t ParseSigned(std::u16string_view t, int64_t max, DigitFn digit) {
  size_t i = 0;
  const bool negative = SkipPrefix(t, i);
  const uint64_t limit = static_cast<uint64_t>(max);
  uint64_t value = 0;
  bool overflow = false;
  for (; i < t.size(); ++i) {
    const int d = digit(t[i]);
    if (d < 0)
      break;
    if (!overflow) {
      if (value > (limit - static_cast<uint64_t>(d)) / 10)
        overflow = true;
      else
        value = value * 10 + static_cast<uint64_t>(d);
    }
  }
  if (overflow)
    value = limit;
  return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

// Zero digits of the BMP's decimal-digit blocks; each block holds ten digits.
constexpr char16_t kDigitZeros[] = {
    0x0030, 0x0660, 0x06F0, 0x07C0, 0x0966, 0x09E6, 0x0A66, 0x0AE6, 0x0B66, 0x0BE6,
    0x0C66, 0x0CE6, 0x0D66, 0x0DE6, 0x0E50, 0x0ED0, 0x0F20, 0x1040, 0x1090, 0x17E0,
    0x1810, 0x1946, 0x19D0, 0x1A80, 0x1A90, 0x1B50, 0x1BB0, 0x1C40, 0x1C50, 0xA620,
    0xA8D0, 0xA900, 0xA9D0, 0xA9F0, 0xAA50, 0xABF0, 0xFF10,
};

}  // namespace

int VxDecimalDigitValue(char16_t c) {
  if (c < 0x80)
    return AsciiDigit(c);
  for (char16_t zero : kDigitZeros) {
    if (c < zero)
      return -1;
    if (c < zero + 10)
      return c - zero;
  }
  return -1;
}

int32_t VxParseInt32(std::u16string_view text) {
  return static_cast<int32_t>(ParseSigned(text, INT32_MAX, AsciiDigit));
}
int32_t VxParseInt32(const char16_t* text) {
  return VxParseInt32(View(text));
}

int64_t VxParseInt64(std::u16string_view text) {
  return ParseSigned(text, INT64_MAX, AsciiDigit);
}
int64_t VxParseInt64(const char16_t* text) {
  return VxParseInt64(View(text));
}

int32_t ToInt(std::u16string_view text) {
  return static_cast<int32_t>(ParseSigned(text, INT32_MAX, VxDecimalDigitValue));
}
int32_t ToInt(const char16_t* text) {
  return ToInt(View(text));
}

uint64_t VxParseHex64(std::u16string_view t) {
  size_t i = 0;
  const bool negative = SkipPrefix(t, i);
  uint64_t value = 0;
  for (; i < t.size(); ++i) {
    const int d = VxHexDigitValue(t[i]);
    if (d < 0)
      break;
    if (value >> 60)
      value = UINT64_MAX;  // sticks: further digits cannot lower it
    else
      value = (value << 4) | static_cast<uint64_t>(d);
  }
  return negative ? 0 - value : value;
}
uint64_t VxParseHex64(const char16_t* text) {
  return VxParseHex64(View(text));
}

double VxParseDouble(std::u16string_view t) {
  size_t i = 0;
  const bool negative = SkipPrefix(t, i);
  // Copy the number's characters as ASCII with "." as the decimal point and let
  // from_chars (locale-free, correctly rounded) do the arithmetic.
  std::string ascii;
  size_t digits = 0;
  for (; i < t.size() && AsciiDigit(t[i]) >= 0; ++i, ++digits)
    ascii.push_back(static_cast<char>(t[i]));
  if (i < t.size() && (t[i] == u'.' || t[i] == u',')) {
    ascii.push_back('.');
    for (++i; i < t.size() && AsciiDigit(t[i]) >= 0; ++i, ++digits)
      ascii.push_back(static_cast<char>(t[i]));
  }
  if (digits == 0)
    return 0.0;
  if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
    size_t j = i + 1;
    if (j < t.size() && (t[j] == u'+' || t[j] == u'-'))
      ++j;
    if (j < t.size() && AsciiDigit(t[j]) >= 0) {
      // Clamp the exponent's digits so that from_chars sees a sane length.
      ascii.push_back('e');
      if (t[i + 1] == u'-')
        ascii.push_back('-');
      int64_t exponent = 0;
      for (; j < t.size() && AsciiDigit(t[j]) >= 0; ++j)
        if (exponent < 100000)
          exponent = exponent * 10 + AsciiDigit(t[j]);
      ascii += std::to_string(exponent);
    }
  }
  double value = 0.0;
  const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone on a range error: decide by the sign
    // of the exponent whether it was too large or too small.
    const size_t e = ascii.find('e');
    const bool tiny = e != std::string::npos && ascii[e + 1] == '-';
    value = tiny ? 0.0 : DBL_MAX;
  } else if (result.ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}
double VxParseDouble(const char16_t* text) {
  return VxParseDouble(View(text));
}

VxString VxFormatDouble(double value) {
  if (value == 0.0)
    return VxString(u"0");  // negative zero included
  char buffer[512];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  std::string text(buffer, r.ec == std::errc() ? r.ptr : buffer);
  const size_t point = text.find('.');
  if (point != std::string::npos && text.size() - point - 1 > 16) {
    r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 16);
    text.assign(buffer, r.ec == std::errc() ? r.ptr : buffer);
    while (!text.empty() && text.back() == '0')
      text.pop_back();
    if (!text.empty() && text.back() == '.')
      text.pop_back();
    if (text == "-0")
      text = "0";
  }
  return VxString::FromAscii(text);
}

VxString VxFormatInt64(int64_t value) {
  char buffer[24];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return VxString::FromAscii(std::string_view(buffer, static_cast<size_t>(r.ptr - buffer)));
}

VxString VxFormatPointer(uint64_t value) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  VxString out(16, u'0');
  for (int k = 15; k >= 0; --k, value >>= 4)
    out[static_cast<size_t>(k)] = kHex[value & 15];
  return out;
}

int VxHexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9')
    return c - u'0';
  if (c >= u'a' && c <= u'f')
    return c - u'a' + 10;
  if (c >= u'A' && c <= u'F')
    return c - u'A' + 10;
  return -1;
}
