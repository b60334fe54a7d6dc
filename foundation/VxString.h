// VxString: the module's UTF-16 text class, and VxStringArray.
//
// Contract: a VxString is a std::u16string with a few conversions added; it adds
// no data members, so it can be sliced to and from std::u16string freely. The
// code unit type is char16_t on every platform so that the same sources build
// for Windows (where wchar_t is 16 bits) and for Linux (where it is 32 bits).
// On Windows, Wide() hands the text to Win32 and to the host's interfaces,
// which take const wchar_t*.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using VxChar = char16_t;

class VxString : public std::u16string {
 public:
  using std::u16string::u16string;
  VxString() = default;
  VxString(const std::u16string& s) : std::u16string(s) {}
  VxString(std::u16string&& s) noexcept : std::u16string(std::move(s)) {}
  explicit VxString(std::u16string_view v) : std::u16string(v) {}
  // A null pointer gives the empty string.
  static VxString From(const char16_t* s) { return s ? VxString(s) : VxString(); }
  // Each byte of `s` becomes one code unit (Latin-1); for ASCII literals.
  static VxString FromAscii(std::string_view s);
  // Decodes UTF-8; malformed sequences become U+FFFD.
  static VxString FromUtf8(std::string_view s);
  // Encodes each code unit on its own (one, two or three bytes); a surrogate
  // pair becomes two three-byte sequences. This is the byte form of IPC replies.
  std::string ToUtf8PerUnit() const;
  // Standard UTF-8: surrogate pairs are combined; a lone surrogate becomes U+FFFD.
  std::string ToUtf8() const;

  bool IsEmpty() const { return empty(); }
  int Length() const { return static_cast<int>(size()); }

#ifdef _WIN32
  VxString(const wchar_t* s) {
    if (s)
      assign(reinterpret_cast<const char16_t*>(s));
  }
  VxString(const wchar_t* s, size_t n) : std::u16string(reinterpret_cast<const char16_t*>(s), n) {}
  const wchar_t* Wide() const {
    return reinterpret_cast<const wchar_t*>(c_str());
  }
  wchar_t* WideData() {
    return reinterpret_cast<wchar_t*>(data());
  }
#endif
};

using VxStringArray = std::vector<VxString>;

// Compares without regard to case using the module's lower-case table (VxLower).
bool VxEqualsNoCase(std::u16string_view a, std::u16string_view b);
// True when `text` begins with `prefix`, compared without regard to case.
bool VxStartsWithNoCase(std::u16string_view text, std::u16string_view prefix);
