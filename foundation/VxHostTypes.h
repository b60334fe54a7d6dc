// The types that cross the host boundary beside the interfaces themselves:
// typed argument entries, and the text and byte-buffer objects the module hands
// to host services, with the module's adapters for both.
//
// Binary layout (shared with the host's tools library): a typed argument entry
// is a u32 type, four zero bytes and an 8-byte value. The adapters' tables have
// no destructor slot: the host never deletes one. The host calls into the
// adapters, so their operations never throw; an allocation that fails leaves
// the object as it was and reports failure where the slot can.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/VxString.h"

enum VxArgType : uint32_t {
  kVxArgNone = 0,
  kVxArgWideString = 2,  // value: const char16_t*, zero-terminated (null allowed)
  kVxArgTextObject = 3,  // value: const IVxDllString*
  kVxArgInt64 = 4,       // value: the integer, sign-extended to 64 bits
};

struct VxArg {
  uint32_t type;
  uint32_t zero;
  uint64_t value;
};
static_assert(sizeof(VxArg) == 16, "typed argument entries are 16 bytes");
static_assert(offsetof(VxArg, value) == 8, "the value sits at byte 8");

// Text object handed to host services: the module's string adapter. The host
// calls these slots in this order; the table has no destructor slot because
// the host never deletes one.
class IVxDllString {
 public:
  virtual const char16_t* GetText() const = 0;                 // never null
  virtual void SetText(const char16_t* text, int length) = 0;  // length -1: up to the terminator
  virtual void Clear() = 0;
  virtual void Reserve(int length) = 0;

 protected:
  ~IVxDllString() = default;
};

// The module's adapter: an IVxDllString over a VxString it owns.
class VxDllString final : public IVxDllString {
 public:
  VxDllString() = default;
  explicit VxDllString(VxString text) : text_(std::move(text)) {}
  const char16_t* GetText() const override { return text_.c_str(); }
  void SetText(const char16_t* text, int length) noexcept override;
  void Clear() noexcept override { text_.clear(); }
  void Reserve(int length) noexcept override;
  const VxString& Text() const { return text_; }
  VxString& Text() { return text_; }

 private:
  VxString text_;
};

// Byte buffer adapter the module hands to IVxSettingsKey::ReadBinary: the host
// sets the size, then writes into the data.
class IVxDllBuffer {
 public:
  virtual bool SetSize(uint32_t size) = 0;  // slot 0
  virtual void* GetData() = 0;              // slot 1: null while empty
  virtual uint32_t GetSize() const = 0;     // slot 2
 protected:
  ~IVxDllBuffer() = default;
};

// The module's byte-buffer adapter handed to IVxSettingsKey::ReadBinary: the
// host sets the size, then writes into the data.
class VxDllBuffer final : public IVxDllBuffer {
 public:
  bool SetSize(uint32_t size) noexcept override;
  void* GetData() noexcept override { return bytes_.empty() ? nullptr : bytes_.data(); }
  uint32_t GetSize() const noexcept override { return static_cast<uint32_t>(bytes_.size()); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};
