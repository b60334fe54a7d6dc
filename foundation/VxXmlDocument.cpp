#include "foundation/VxXmlDocument.h"

#include <utility>

#include "foundation/VxXml.h"
#include "foundation/VxXmlParser.h"

VxXmlDocument::VxXmlDocument() {
  nodes_.emplace_back();
}

void VxXmlDocument::Clear() {
  nodes_.clear();
  nodes_.emplace_back();
  level_ = 0;
  current_ = -1;
  error_.clear();
}

bool VxXmlDocument::Parse(const VxString& text) {
  Clear();
  return VxXmlParser::Parse(text, *this, error_);
}

int32_t VxXmlDocument::AppendNode(int32_t parent, VxString name, size_t offset) {
  const int32_t index = static_cast<int32_t>(nodes_.size());
  Node node;
  node.name = std::move(name);
  node.parent = parent;
  node.offset = offset;
  nodes_.push_back(std::move(node));
  NodeAt(parent).children.push_back(index);
  return index;
}

void VxXmlDocument::AddElement(const VxString& name, const VxString& text) {
  const int32_t index = AppendNode(level_, name, 0);
  NodeAt(index).text = text;
  current_ = static_cast<int32_t>(NodeAt(level_).children.size()) - 1;
}

bool VxXmlDocument::SetAttribute(const VxString& name, const VxString& value) {
  if (current_ < 0)
    return false;
  Node& node = NodeAt(NodeAt(level_).children[static_cast<size_t>(current_)]);
  for (Attribute& a : node.attributes) {
    if (VxEqualsNoCase(a.name, name)) {
      a.value = value;
      return true;
    }
  }
  node.attributes.push_back({name, value});
  return true;
}

void VxXmlDocument::AppendText(VxString& out) const {
  // Iterative walk: a stack of (node, next child) frames.
  std::vector<std::pair<int32_t, size_t>> stack;
  auto open = [&](int32_t index) {
    const Node& node = NodeAt(index);
    out.push_back(u'<');
    out += node.name;
    for (const Attribute& a : node.attributes) {
      out.push_back(u' ');
      out += a.name;
      out += u"=\"";
      VxXmlAppendEscaped(out, a.value, true);
      out.push_back(u'"');
    }
    if (node.children.empty()) {
      if (node.text.empty()) {
        out += u"/>\r\n";
      } else {
        out.push_back(u'>');
        VxXmlAppendEscaped(out, node.text, false);
        out += u"</";
        out += node.name;
        out += u">\r\n";
      }
      return;
    }
    out.push_back(u'>');
    VxXmlAppendEscaped(out, node.text, false);
    out += u"\r\n";
    stack.emplace_back(index, 0);
  };
  for (int32_t top : NodeAt(0).children) {
    open(top);
    while (!stack.empty()) {
      auto& [index, next] = stack.back();
      const Node& node = NodeAt(index);
      if (next < node.children.size()) {
        open(node.children[next++]);  // may grow the stack; the reference is not used afterwards
      } else {
        out += u"</";
        out += node.name;
        out += u">\r\n";
        stack.pop_back();
      }
    }
  }
}

VxString VxXmlDocument::ToText() const {
  VxString out;
  AppendText(out);
  return out;
}

void VxXmlDocument::ResetPosition() {
  level_ = 0;
  current_ = -1;
}

void VxXmlDocument::ResetLevel() {
  current_ = -1;
}

bool VxXmlDocument::FindElement(const VxString& name) {
  const std::vector<int32_t>& children = NodeAt(level_).children;
  for (size_t k = static_cast<size_t>(current_ + 1); k < children.size(); ++k) {
    if (name.empty() || VxEqualsNoCase(NodeAt(children[k]).name, name)) {
      current_ = static_cast<int32_t>(k);
      return true;
    }
  }
  return false;
}

bool VxXmlDocument::IntoElement() {
  if (current_ < 0)
    return false;
  level_ = NodeAt(level_).children[static_cast<size_t>(current_)];
  current_ = -1;
  return true;
}

bool VxXmlDocument::OutOfElement() {
  if (level_ == 0)
    return false;
  const int32_t entered = level_;
  level_ = NodeAt(entered).parent;
  const std::vector<int32_t>& children = NodeAt(level_).children;
  current_ = -1;
  for (size_t k = 0; k < children.size(); ++k)
    if (children[k] == entered)
      current_ = static_cast<int32_t>(k);
  return true;
}

VxString VxXmlDocument::ElementName() const {
  if (current_ < 0)
    return VxString();
  return NodeAt(NodeAt(level_).children[static_cast<size_t>(current_)]).name;
}

VxString VxXmlDocument::GetAttribute(const VxString& name) const {
  if (current_ < 0)
    return VxString();
  const Node& node = NodeAt(NodeAt(level_).children[static_cast<size_t>(current_)]);
  for (const Attribute& a : node.attributes)
    if (VxEqualsNoCase(a.name, name))
      return a.value;
  return VxString();
}

VxString VxXmlDocument::GetText() const {
  if (current_ < 0)
    return VxString();
  return NodeAt(NodeAt(level_).children[static_cast<size_t>(current_)]).text;
}
