// VxXmlParser: reads XML text into a VxXmlDocument.
//
// Contract: one pass over the text with an explicit stack (no recursion, so
// nesting depth costs memory only). The first problem is reported with the
// texts below, offsets counted in UTF-16 code units from the start of the text:
//   "Empty document", "No root element", "Root element has sibling",
//   "Element '%s' at offset %d not ended",
//   "No start tag for end tag '%s' at offset %d",
//   "End tag '%s' at offset %d does not match start tag '%s' at offset %d",
//   "%s at offset %d unterminated" and "Incorrect %s at offset %d", naming the
//   construct ("tag", "Doctype", "Element tag", "Element end tag",
//   "CDATA Section", "Processing instruction", "Comment",
//   "tag name character", "! tag", "comment tag").
// A second top-level element is reported but read, so that a reader can still
// pick the element it wants; any other problem ends the reading.
#pragma once

#include "foundation/VxString.h"
#include "foundation/VxXmlDocument.h"

class VxXmlParser {
 public:
  // Fills `document` (which must be empty); false with `error` set on a problem.
  [[nodiscard]] static bool Parse(const VxString& text, VxXmlDocument& document, VxString& error);
};
