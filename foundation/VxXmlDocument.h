// VxXmlDocument: the module's XML document, built in memory and written out,
// or parsed from text (VxXmlParser) and read by walking it.
//
// Contract:
// - Element and attribute names are compared without regard to case.
// - An element keeps its attributes in order and its text: the concatenation
//   of all character data directly inside it (entities decoded, CDATA kept
//   verbatim, white space kept). Comments, processing instructions and the
//   doctype are checked for syntax and dropped.
// - Navigation has a current level (the children of one element, or the top
//   level) and a current element within it. FindElement moves forward from the
//   current element; IntoElement makes the current element the level;
//   OutOfElement goes back up with the element that was entered current again.
// - Building: AddElement appends after the last element of the current level
//   and makes the new one current.
// - Writing: every element is written followed by CR LF: "<name a="v">text</name>",
//   "<name a="v"/>" when it has neither text nor children, and with children
//   "<name>" text CR LF, the children, "</name>". Text and attribute values are
//   escaped (VxXml.h); names are written as they are.
// - The document owns its nodes; deep nesting is handled without recursion.
//   Not locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/VxString.h"

class VxXmlDocument {
 public:
  struct Attribute {
    VxString name;
    VxString value;
  };
  struct Node {
    VxString name;
    std::vector<Attribute> attributes;
    VxString text;
    std::vector<int32_t> children;
    int32_t parent = -1;
    size_t offset = 0;  // of the start tag's "<" in parsed text
  };

  VxXmlDocument();

  void Clear();
  // Replaces the content with the parse of `text`. False when the parser found
  // a problem (ErrorText says which); the elements read before it stay, open
  // elements closed, so a reader can still use what was well formed.
  [[nodiscard]] bool Parse(const VxString& text);
  const VxString& ErrorText() const { return error_; }

  // Building.
  void AddElement(const VxString& name, const VxString& text = VxString());
  // Sets (or replaces) an attribute of the current element; false without one.
  [[nodiscard]] bool SetAttribute(const VxString& name, const VxString& value);
  void AppendText(VxString& out) const;
  VxString ToText() const;

  // Navigation.
  void ResetPosition();  // back to the top level, no current element
  void ResetLevel();     // no current element at the current level
  // Next element at the current level after the current one whose name
  // matches (an empty name matches any); it becomes current.
  [[nodiscard]] bool FindElement(const VxString& name);
  [[nodiscard]] bool IntoElement();
  [[nodiscard]] bool OutOfElement();
  // Of the current element (empty without one; attribute: empty when missing).
  VxString ElementName() const;
  VxString GetAttribute(const VxString& name) const;
  VxString GetText() const;
  int ElementCount() const { return static_cast<int>(nodes_.size()) - 1; }

  // For the parser: adds an element under `parent` (0 = top level).
  int32_t AppendNode(int32_t parent, VxString name, size_t offset);
  Node& NodeAt(int32_t index) { return nodes_[static_cast<size_t>(index)]; }
  const Node& NodeAt(int32_t index) const { return nodes_[static_cast<size_t>(index)]; }

 private:
  std::vector<Node> nodes_;  // nodes_[0] is the document, parent of the top level
  int32_t level_ = 0;        // node whose children form the current level
  int32_t current_ = -1;     // position within the level's children, -1 before the first
  VxString error_;
};
