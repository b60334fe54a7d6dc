// VxParameterList: the reader of query-string parameters ("a=1&b=2", or any
// text ending in "?a=1&b=2").
//
// Contract: a plain pair of members that callers read directly. Parse empties
// both, then fills them: `keys` holds the decoded keys in the order of the text
// with repeats kept; `values` maps each key (case-insensitively) to its last
// decoded value. Only the part after the last "?" is read. Items are separated
// by "&"; an empty item (a leading "&" or "&&") counts, a final "&" does not.
// An item without "=" is a key with the value "1". Keys and values are decoded
// by VxUrlDecode. Not locked: one thread at a time.
#pragma once

#include "foundation/VxPropertyMap.h"
#include "foundation/VxString.h"

class VxParameterList {
 public:
  VxStringArray keys;
  VxPropertyMap values;

  void Parse(const VxString& text);
};
