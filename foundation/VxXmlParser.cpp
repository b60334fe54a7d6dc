#include "foundation/VxXmlParser.h"

#include <string_view>
#include <utility>
#include <vector>

#include "foundation/VxFormat.h"
#include "foundation/VxXml.h"

namespace {

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool IsNameStart(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u':' ||
         c >= 0x80;
}

bool IsNameChar(char16_t c) {
  return IsNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
}

bool StartsWithNoCase(std::u16string_view text, size_t at, std::u16string_view prefix) {
  return VxStartsWithNoCase(text.substr(at), prefix);
}

// True when the rest of the text from `at` is a proper beginning of `prefix`.
bool IsCutPrefix(std::u16string_view text, size_t at, std::u16string_view prefix) {
  const std::u16string_view rest = text.substr(at);
  return rest.size() < prefix.size() && VxStartsWithNoCase(prefix, rest);
}

class Reader {
 public:
  Reader(std::u16string_view text, VxXmlDocument& document) : t_(text), doc_(document) {}

  bool Run(VxString& error);

 private:
  struct Open {
    int32_t node;
    size_t offset;
  };

  // Each returns false after setting the error.
  bool Unterminated(const char16_t* what, size_t at) {
    return Fail(VxFormat(u"%s at offset %d unterminated", {what, static_cast<long long>(at)}));
  }
  bool Incorrect(const char16_t* what, size_t at) {
    return Fail(VxFormat(u"Incorrect %s at offset %d", {what, static_cast<long long>(at)}));
  }
  bool Fail(VxString message) {
    if (error_.empty())
      error_ = std::move(message);
    return false;
  }

  bool ReadMarkup();
  bool ReadBang(size_t start);
  bool ReadEndTag(size_t start);
  bool ReadStartTag(size_t start);
  // Reads a name at i_; false (with the error) when there is none.
  bool ReadName(VxString& name, const char16_t* construct, size_t start);
  void AddText(std::u16string_view raw, bool decode);

  std::u16string_view t_;
  VxXmlDocument& doc_;
  size_t i_ = 0;
  std::vector<Open> open_;
  int topElements_ = 0;
  bool content_ = false;  // anything but white space seen
  VxString error_;
};

bool Reader::Run(VxString& error) {
  bool ok = true;
  while (ok && i_ < t_.size()) {
    if (t_[i_] == u'<') {
      content_ = true;
      ok = ReadMarkup();
    } else {
      size_t end = t_.find(u'<', i_);
      if (end == std::u16string_view::npos)
        end = t_.size();
      const std::u16string_view raw = t_.substr(i_, end - i_);
      for (char16_t c : raw)
        content_ = content_ || !IsSpace(c);
      AddText(raw, true);
      i_ = end;
    }
  }
  if (ok && !open_.empty()) {
    const Open& last = open_.back();
    Fail(VxFormat(u"Element '%s' at offset %d not ended",
                  {doc_.NodeAt(last.node).name, static_cast<long long>(last.offset)}));
  }
  if (topElements_ == 0)
    Fail(VxString(content_ ? u"No root element" : u"Empty document"));
  error = error_;
  return error_.empty();
}

void Reader::AddText(std::u16string_view raw, bool decode) {
  if (open_.empty())
    return;  // character data outside the root element is not kept
  VxString& text = doc_.NodeAt(open_.back().node).text;
  if (decode)
    VxXmlAppendUnescaped(text, raw);
  else
    text.append(raw);
}

bool Reader::ReadMarkup() {
  const size_t start = i_;
  if (start + 1 >= t_.size())
    return Unterminated(u"tag", start);
  switch (t_[start + 1]) {
    case u'?': {
      const size_t end = t_.find(u"?>", start + 2);
      if (end == std::u16string_view::npos)
        return Unterminated(u"Processing instruction", start);
      i_ = end + 2;
      return true;
    }
    case u'!':
      return ReadBang(start);
    case u'/':
      return ReadEndTag(start);
    default:
      return ReadStartTag(start);
  }
}

bool Reader::ReadBang(size_t start) {
  if (t_.substr(start, 4) == u"<!--") {
    const size_t end = t_.find(u"-->", start + 4);
    if (end == std::u16string_view::npos)
      return Unterminated(u"Comment", start);
    i_ = end + 3;
    return true;
  }
  if (IsCutPrefix(t_, start, u"<!--"))
    return Unterminated(u"Comment", start);
  if (t_.substr(start, 3) == u"<!-")
    return Incorrect(u"comment tag", start);
  if (t_.substr(start, 9) == u"<![CDATA[") {
    const size_t end = t_.find(u"]]>", start + 9);
    if (end == std::u16string_view::npos)
      return Unterminated(u"CDATA Section", start);
    AddText(t_.substr(start + 9, end - start - 9), false);
    i_ = end + 3;
    return true;
  }
  if (IsCutPrefix(t_, start, u"<![CDATA["))
    return Unterminated(u"CDATA Section", start);
  if (StartsWithNoCase(t_, start, u"<!DOCTYPE")) {
    // The internal subset in brackets may hold ">" of its own; quoted text too.
    int depth = 0;
    char16_t quote = 0;
    for (size_t k = start + 9; k < t_.size(); ++k) {
      const char16_t c = t_[k];
      if (quote) {
        if (c == quote)
          quote = 0;
      } else if (c == u'"' || c == u'\'') {
        quote = c;
      } else if (c == u'[') {
        ++depth;
      } else if (c == u']') {
        if (depth > 0)
          --depth;
      } else if (c == u'>' && depth == 0) {
        i_ = k + 1;
        return true;
      }
    }
    return Unterminated(u"Doctype", start);
  }
  if (IsCutPrefix(t_, start, u"<!DOCTYPE"))
    return Unterminated(u"Doctype", start);
  return Incorrect(u"! tag", start);
}

bool Reader::ReadName(VxString& name, const char16_t* construct, size_t start) {
  if (i_ >= t_.size())
    return Unterminated(construct, start);
  if (!IsNameStart(t_[i_]))
    return Incorrect(u"tag name character", i_);
  const size_t from = i_;
  while (i_ < t_.size() && IsNameChar(t_[i_]))
    ++i_;
  name.assign(t_.substr(from, i_ - from));
  return true;
}

bool Reader::ReadEndTag(size_t start) {
  i_ = start + 2;
  VxString name;
  if (!ReadName(name, u"Element end tag", start))
    return false;
  while (i_ < t_.size() && IsSpace(t_[i_]))
    ++i_;
  if (i_ >= t_.size())
    return Unterminated(u"Element end tag", start);
  if (t_[i_] != u'>')
    return Incorrect(u"Element end tag", start);
  ++i_;
  if (open_.empty())
    return Fail(VxFormat(u"No start tag for end tag '%s' at offset %d",
                         {name, static_cast<long long>(start)}));
  const Open& top = open_.back();
  const VxString& startName = doc_.NodeAt(top.node).name;
  if (!VxEqualsNoCase(startName, name)) {
    return Fail(VxFormat(
        u"End tag '%s' at offset %d does not match start tag '%s' at offset %d",
        {name, static_cast<long long>(start), startName, static_cast<long long>(top.offset)}));
  }
  open_.pop_back();
  return true;
}

bool Reader::ReadStartTag(size_t start) {
  i_ = start + 1;
  VxString name;
  if (!ReadName(name, u"Element tag", start))
    return false;
  // The element joins the document only once its start tag is complete.
  std::vector<VxXmlDocument::Attribute> attributes;
  for (;;) {
    const size_t before = i_;
    while (i_ < t_.size() && IsSpace(t_[i_]))
      ++i_;
    if (i_ >= t_.size())
      return Unterminated(u"Element tag", start);
    const char16_t c = t_[i_];
    if (c == u'>' || c == u'/') {
      if (c == u'/') {
        if (i_ + 1 >= t_.size())
          return Unterminated(u"Element tag", start);
        if (t_[i_ + 1] != u'>')
          return Incorrect(u"Element tag", start);
        ++i_;
      }
      ++i_;
      const int32_t parent = open_.empty() ? 0 : open_.back().node;
      if (parent == 0 && ++topElements_ == 2)
        Fail(VxString(u"Root element has sibling"));
      const int32_t node = doc_.AppendNode(parent, std::move(name), start);
      doc_.NodeAt(node).attributes = std::move(attributes);
      if (c == u'>')
        open_.push_back({node, start});
      return true;
    }
    // An attribute must be separated from what precedes it by white space.
    if (i_ == before)
      return Incorrect(u"tag name character", i_);
    VxString attribute;
    if (!ReadName(attribute, u"Element tag", start))
      return false;
    while (i_ < t_.size() && IsSpace(t_[i_]))
      ++i_;
    if (i_ >= t_.size())
      return Unterminated(u"Element tag", start);
    if (t_[i_] != u'=')
      return Incorrect(u"Element tag", start);
    ++i_;
    while (i_ < t_.size() && IsSpace(t_[i_]))
      ++i_;
    if (i_ >= t_.size())
      return Unterminated(u"Element tag", start);
    const char16_t quote = t_[i_];
    if (quote != u'"' && quote != u'\'')
      return Incorrect(u"Element tag", start);
    const size_t end = t_.find(quote, i_ + 1);
    if (end == std::u16string_view::npos)
      return Unterminated(u"Element tag", start);
    bool repeated = false;
    for (const VxXmlDocument::Attribute& a : attributes)
      repeated = repeated || VxEqualsNoCase(a.name, attribute);
    // A repeated attribute keeps its first value.
    if (!repeated)
      attributes.push_back({std::move(attribute), VxXmlUnescape(t_.substr(i_ + 1, end - i_ - 1))});
    i_ = end + 1;
  }
}

}  // namespace

bool VxXmlParser::Parse(const VxString& text, VxXmlDocument& document, VxString& error) {
  Reader reader(text, document);
  return reader.Run(error);
}
