// VxByteBuffer: a growable block of bytes with a length and an allocated size.
//
// Contract: the buffer owns its storage. SetLength() grows the allocation when
// the new length does not fit (keeping the old bytes and zero-filling the new
// ones) and never shrinks it, so a buffer that once held a large message keeps
// that allocation for every later, shorter one. Free() frees the storage and
// leaves length and allocated size at 0. Data() is null while nothing is
// allocated. Bytes between Length() and Allocated() stay readable: they hold
// zeros or whatever a longer earlier content left there.
//
// Not thread-safe; portable; move-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

class VxByteBuffer {
 public:
  VxByteBuffer() noexcept = default;
  ~VxByteBuffer() { Free(); }
  VxByteBuffer(const VxByteBuffer&) = delete;
  VxByteBuffer& operator=(const VxByteBuffer&) = delete;
  VxByteBuffer(VxByteBuffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        length_(std::exchange(other.length_, 0)),
        allocated_(std::exchange(other.allocated_, 0)) {}
  VxByteBuffer& operator=(VxByteBuffer&& other) noexcept {
    if (this != &other) {
      Free();
      data_ = std::exchange(other.data_, nullptr);
      length_ = std::exchange(other.length_, 0);
      allocated_ = std::exchange(other.allocated_, 0);
    }
    return *this;
  }

  uint8_t* Data() noexcept { return data_; }
  const uint8_t* Data() const noexcept { return data_; }
  size_t Length() const noexcept { return length_; }
  size_t Allocated() const noexcept { return allocated_; }
  bool IsEmpty() const noexcept { return length_ == 0; }

  // False (and nothing changed) when the allocation cannot grow.
  [[nodiscard]] bool SetLength(size_t length) noexcept {
    if (length > allocated_) {
      auto* grown = static_cast<uint8_t*>(std::realloc(data_, length));
      if (!grown)
        return false;
      std::memset(grown + allocated_, 0, length - allocated_);
      data_ = grown;
      allocated_ = length;
    }
    length_ = length;
    return true;
  }

  // Replaces the content with a copy of `size` bytes.
  [[nodiscard]] bool Assign(const void* bytes, size_t size) noexcept {
    if (!SetLength(size))
      return false;
    if (size)
      std::memcpy(data_, bytes, size);
    return true;
  }

  void Free() noexcept {
    std::free(data_);
    data_ = nullptr;
    length_ = 0;
    allocated_ = 0;
  }

 private:
  uint8_t* data_ = nullptr;
  size_t length_ = 0;
  size_t allocated_ = 0;
};
