#include "foundation/VxPropertyMap.h"

#include <charconv>
#include <utility>

#include "foundation/VxFormat.h"
#include "foundation/VxNumber.h"
#include "foundation/VxXmlDocument.h"

namespace {

// The version attribute: one decimal place, always with "." whatever the C
// runtime's locale: the module sets the user's locale at start-up, and the
// producer on the other end of the pipe compares the reply byte for byte.
VxString FormatVersion(double version) {
  char buffer[512];
  const auto r =
      std::to_chars(buffer, buffer + sizeof buffer, version, std::chars_format::fixed, 1);
  return VxString::FromAscii(
      std::string_view(buffer, r.ec == std::errc() ? static_cast<size_t>(r.ptr - buffer) : 0));
}

// Output text grows in steps of 1,024 code units.
void ReserveInSteps(VxString& out, size_t extra) {
  const size_t need = out.size() + extra;
  if (need > out.capacity())
    out.reserve((need + 1023) / 1024 * 1024);
}

size_t TokenLength(size_t textLength) {
  size_t digits = 1;
  for (size_t v = textLength; v >= 10; v /= 10)
    ++digits;
  return textLength + digits + 3;
}

void AppendToken(VxString& out, std::u16string_view text) {
  out.push_back(u'(');
  out += VxFormatInt64(static_cast<int64_t>(text.size()));
  out.push_back(u':');
  out.append(text);
  out.push_back(u')');
}

// Reads one "(n:text)" token at `position`. On success stores the text and
// moves past ")"; on failure leaves both `text` empty and `position` unchanged.
bool ReadToken(const VxString& in, size_t& position, VxString& text) {
  text.clear();
  size_t i = position;
  if (i >= in.size() || in[i] != u'(')
    return false;
  ++i;
  const size_t digitsStart = i;
  const size_t available = in.size();
  size_t length = 0;
  for (; i < in.size() && in[i] >= u'0' && in[i] <= u'9'; ++i) {
    length = length * 10 + static_cast<size_t>(in[i] - u'0');
    if (length > available)
      return false;  // cannot fit in the input
  }
  if (i == digitsStart || i >= in.size() || in[i] != u':')
    return false;
  ++i;
  if (length >= in.size() - i || in[i + length] != u')')
    return false;
  text.assign(in, i, length);
  position = i + length + 1;
  return true;
}

}  // namespace

VxPropertyMap::VxPropertyMap(const VxPropertyMap& other) {
  Assign(other);
}

VxPropertyMap::VxPropertyMap(VxPropertyMap&& other) noexcept
    : map_(std::exchange(other.map_, nullptr)) {}

VxPropertyMap& VxPropertyMap::operator=(const VxPropertyMap& other) {
  Assign(other);
  return *this;
}

VxPropertyMap& VxPropertyMap::operator=(VxPropertyMap&& other) noexcept {
  if (this != &other) {
    delete map_;
    map_ = std::exchange(other.map_, nullptr);
  }
  return *this;
}

VxPropertyMap::~VxPropertyMap() {
  delete map_;
}

bool VxPropertyMap::Contains(const VxString& key) const {
  return map_ && map_->Find(key);
}

VxString& VxPropertyMap::GetString(VxString& out,
                                   const VxString& key,
                                   const char16_t* defaultValue) const {
  const VxStringMap::Node* node = map_ ? map_->Find(key) : nullptr;
  if (node)
    out = node->value;
  else if (defaultValue)
    out = defaultValue;
  else
    out.clear();
  return out;
}

VxString VxPropertyMap::Get(const VxString& key, const char16_t* defaultValue) const {
  VxString out;
  GetString(out, key, defaultValue);
  return out;
}

// The numeric getters behave as if the default were written as text and read
// back; only the most negative integers change on that trip (they saturate).
int32_t VxPropertyMap::GetInt(const VxString& key, int32_t defaultValue) const {
  const VxStringMap::Node* node = map_ ? map_->Find(key) : nullptr;
  if (node)
    return VxParseInt32(node->value);
  return defaultValue == INT32_MIN ? -INT32_MAX : defaultValue;
}

int64_t VxPropertyMap::GetInt64(const VxString& key, int64_t defaultValue) const {
  const VxStringMap::Node* node = map_ ? map_->Find(key) : nullptr;
  if (node)
    return VxParseInt64(node->value);
  return defaultValue == INT64_MIN ? -INT64_MAX : defaultValue;
}

int64_t VxPropertyMap::GetInt64Alt(const VxString& key, int64_t defaultValue) const {
  return VxPropertyMap::GetInt64(key, defaultValue);
}

double VxPropertyMap::GetDouble(const VxString& key, double defaultValue) const {
  const VxStringMap::Node* node = map_ ? map_->Find(key) : nullptr;
  if (node)
    return VxParseDouble(node->value);
  return VxParseDouble(VxFormatDouble(defaultValue));
}

uint64_t VxPropertyMap::GetPointer(const VxString& key, uint64_t defaultValue) const {
  const VxStringMap::Node* node = map_ ? map_->Find(key) : nullptr;
  if (!node)
    return defaultValue;
  std::u16string_view text = node->value;
  if (text.substr(0, 2) == u"0x")
    text.remove_prefix(2);
  return VxParseHex64(text);
}

void VxPropertyMap::SetString(const VxString& key, const VxString& value, bool removeIfEmpty) {
  if (removeIfEmpty && value.empty()) {
    Remove(key);
    return;
  }
  if (!map_)
    map_ = new VxStringMap;
  map_->Set(key, value);
}

void VxPropertyMap::SetInt(const VxString& key, int32_t value) {
  SetString(key, VxFormatInt64(value), false);
}

void VxPropertyMap::SetInt64(const VxString& key, int64_t value) {
  SetString(key, VxFormatInt64(value), false);
}

void VxPropertyMap::SetInt64Alt(const VxString& key, int64_t value) {
  VxPropertyMap::SetInt64(key, value);
}

void VxPropertyMap::SetPointer(const VxString& key, uint64_t value) {
  SetString(key, VxFormatPointer(value), false);
}

void VxPropertyMap::SetDouble(const VxString& key, double value) {
  SetString(key, VxFormatDouble(value), false);
}

void VxPropertyMap::Clear() {
  delete map_;
  map_ = nullptr;
}

void VxPropertyMap::Remove(const VxString& key) {
  if (map_ && map_->Remove(key) && map_->Count() == 0)
    Clear();
}

bool VxPropertyMap::Assign(const VxPropertyMap& other) {
  if (&other == this)
    return true;
  Clear();
  other.ForEach([this](const VxString& k, const VxString& v) { SetString(k, v, false); });
  return true;
}

bool VxPropertyMap::Merge(const VxPropertyMap& other) {
  if (&other == this || other.IsEmpty())
    return true;
  other.ForEach([this](const VxString& k, const VxString& v) { SetString(k, v, false); });
  return true;
}

bool VxPropertyMap::Equals(const VxPropertyMap& other) const {
  if (&other == this)
    return true;
  if (Count() != other.Count())
    return false;
  bool equal = true;
  VxString theirs;
  ForEach([&](const VxString& k, const VxString& v) {
    if (equal)
      equal = other.GetString(theirs, k, nullptr) == v;
  });
  return equal;
}

void VxPropertyMap::WriteTokens(VxString& out, bool includePairs) const {
  if (!includePairs || !map_) {
    ReserveInSteps(out, 5);
    out += u"(1:0)";
    return;
  }
  const VxString count = VxFormatInt64(Count());
  size_t total = TokenLength(count.size());
  map_->ForEachNode([&](const VxStringMap::Node& n) {
    total += TokenLength(n.key.size()) + TokenLength(n.value.size());
  });
  ReserveInSteps(out, total);
  AppendToken(out, count);
  map_->ForEachNode([&](const VxStringMap::Node& n) {
    AppendToken(out, n.key);
    AppendToken(out, n.value);
  });
}

void VxPropertyMap::ReadTokens(const VxString& in, size_t& position) {
  Clear();
  VxString key;
  VxString value;
  const int32_t count = ReadToken(in, position, key) ? VxParseInt32(key) : 0;
  for (int32_t k = 0; k < count; ++k) {
    const bool keyRead = ReadToken(in, position, key);
    const bool valueRead = ReadToken(in, position, value);
    SetString(key, value, false);
    // A failed token leaves the position unchanged, so once both fail every
    // remaining pair would read the same empty key and value: stop early.
    if (!keyRead && !valueRead)
      break;
  }
}

void VxPropertyMap::ReadTokens(const VxString& in) {
  size_t position = 0;
  ReadTokens(in, position);
}

VxString& VxPropertyMap::ToXml(VxString& out,
                               const VxString& rootName,
                               bool onlyIfNotEmpty,
                               double version) const {
  out.clear();
  if (onlyIfNotEmpty && IsEmpty())
    return out;
  VxXmlDocument document;
  WriteXmlItems(document);
  out.push_back(u'<');
  out += rootName;
  out += u" version=\"";
  out += FormatVersion(version);
  out += u"\">\r\n";
  document.AppendText(out);
  out += u"</";
  out += rootName;
  out.push_back(u'>');
  return out;
}

bool VxPropertyMap::FromXml(const VxString& text, const VxString& rootName, double version) {
  Clear();
  if (text.empty())
    return true;
  VxXmlDocument document;
  // A damaged document is still searched: the parser keeps what it read.
  (void)document.Parse(text);
  if (document.ElementCount() == 0)
    return false;
  if (!document.FindElement(rootName))
    return false;
  if (VxParseDouble(document.GetAttribute(VxString(u"version"))) != version)
    return false;
  if (!document.IntoElement())
    return false;
  ReadXmlItems(document);
  return true;
}

void VxPropertyMap::WriteXmlItems(VxXmlDocument& document) const {
  static const VxString kItem(u"Item");
  static const VxString kName(u"Name");
  ForEach([&](const VxString& k, const VxString& v) {
    document.AddElement(kItem, v);
    (void)document.SetAttribute(kName, k);  // the element was just added
  });
}

void VxPropertyMap::ReadXmlItems(VxXmlDocument& document) {
  static const VxString kItem(u"Item");
  static const VxString kName(u"Name");
  Clear();
  document.ResetLevel();
  while (document.FindElement(kItem))
    SetString(document.GetAttribute(kName), document.GetText(), false);
}

VxString& VxPropertyMap::ToText(VxString& out,
                                const VxString& prefix,
                                const VxString& suffix) const {
  out.clear();
  ForEach([&](const VxString& k, const VxString& v) {
    out += VxFormat(u"%s%s: %s%s", {prefix, k, v, suffix});
  });
  return out;
}
