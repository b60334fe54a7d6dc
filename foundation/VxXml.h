// Escaping rules of the module's XML text forms.
//
// Writing: "&", "<" and ">" become entity references; in attribute values a
// double quote and an apostrophe too. Control characters below 0x20 other than
// tab, line feed and carriage return cannot be written and become "?", except
// U+0001, which is written as the reference "&#x1;". Everything else, non-ASCII
// included, is written as it is.
// Reading: the five entities "&lt;" "&amp;" "&gt;" "&apos;" "&quot;", and
// "&#digits;" or "&#xhex;" with one to seven characters between the number sign
// (or the x) and the semicolon, give that code unit (values above 0xFFFF up to
// 0x10FFFF give a surrogate pair). Any other "&", a reference to 0 among them,
// stays a literal character. Decoding is a single pass.
#pragma once

#include <string_view>

#include "foundation/VxString.h"

void VxXmlAppendEscaped(VxString& out, std::u16string_view text, bool attribute);
VxString VxXmlEscape(std::u16string_view text, bool attribute);
void VxXmlAppendUnescaped(VxString& out, std::u16string_view text);
VxString VxXmlUnescape(std::u16string_view text);
