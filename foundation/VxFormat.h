// The typed argument list that travels with log messages and text formatting
// (its entries are declared in VxHostTypes.h), and the printf-style formatter
// that reads it.
//
// Binary layout (shared with the host's tools library): an array of pointers to
// 16-byte entries, passed with the array's length (4 or 20). Pointers past the
// last argument point at zeroed entries (type 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "foundation/VxHostTypes.h"
#include "foundation/VxString.h"

// One argument as written at a call site; converts from the usual types.
class VxArgValue {
 public:
  VxArgValue(const char16_t* s) : entry_{kVxArgWideString, 0, reinterpret_cast<uintptr_t>(s)} {}
  VxArgValue(const VxString& s) : VxArgValue(s.c_str()) {}
  VxArgValue(const IVxDllString* t) : entry_{kVxArgTextObject, 0, reinterpret_cast<uintptr_t>(t)} {}
  VxArgValue(int v) : entry_{kVxArgInt64, 0, static_cast<uint64_t>(static_cast<int64_t>(v))} {}
  VxArgValue(long v) : entry_{kVxArgInt64, 0, static_cast<uint64_t>(static_cast<int64_t>(v))} {}
  VxArgValue(long long v) : entry_{kVxArgInt64, 0, static_cast<uint64_t>(v)} {}
  VxArgValue(unsigned v) : entry_{kVxArgInt64, 0, v} {}
  VxArgValue(unsigned long v) : entry_{kVxArgInt64, 0, v} {}
  VxArgValue(unsigned long long v) : entry_{kVxArgInt64, 0, v} {}
  VxArgValue(const void* p) : entry_{kVxArgInt64, 0, reinterpret_cast<uintptr_t>(p)} {}
  const VxArg& Entry() const { return entry_; }

 private:
  VxArg entry_;
};

// Owns a typed argument list of capacity 4 (up to four arguments) or 20.
class VxArgList {
 public:
  VxArgList(std::initializer_list<VxArgValue> values);
  VxArgList(const VxArgList&) = delete;
  VxArgList& operator=(const VxArgList&) = delete;
  const VxArg* const* List() const { return pointers_; }
  int Capacity() const { return capacity_; }

 private:
  static constexpr int kMax = 20;
  VxArg entries_[kMax] = {};
  const VxArg* pointers_[kMax] = {};
  int capacity_ = 4;
};

// printf-style formatting over a typed argument list. Conversions: d i u x X p
// c s and %%, with flags "-", "0", "+", " ", a width, a precision, and the
// length modifiers h l ll I64 z (read and ignored: every integer is 64-bit).
// %s takes a wide string or a text object; %d and friends take integers. An
// argument of the wrong type formats as 0 or the empty string.
VxString VxFormatArgs(const char16_t* format, const VxArg* const* args, int count);
VxString VxFormat(const char16_t* format, std::initializer_list<VxArgValue> values);
