// One move-only holder for every platform handle the module owns.
//
// VxUniqueHandle<Traits> owns one value of Traits::Type and closes it with
// Traits::Close when reset or destroyed. Copying is deleted, moving transfers
// ownership. Closing keeps the thread's last error unchanged, because the
// module's foundation routines report failure as false plus the last error and
// typically close their handles on the way out.
//
// Windows only.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <utility>

template <typename Traits>
class VxUniqueHandle {
 public:
  using Type = typename Traits::Type;

  VxUniqueHandle() noexcept = default;
  explicit VxUniqueHandle(Type value) noexcept : value_(value) {}
  VxUniqueHandle(const VxUniqueHandle&) = delete;
  VxUniqueHandle& operator=(const VxUniqueHandle&) = delete;
  VxUniqueHandle(VxUniqueHandle&& other) noexcept : value_(other.release()) {}
  VxUniqueHandle& operator=(VxUniqueHandle&& other) noexcept {
    if (this != &other)
      reset(other.release());
    return *this;
  }
  ~VxUniqueHandle() { reset(); }

  Type get() const noexcept { return value_; }
  // For pointer holders (COM interfaces): calls through the held pointer.
  Type operator->() const noexcept { return value_; }
  explicit operator bool() const noexcept { return Traits::IsValid(value_); }
  // Gives up ownership without closing.
  [[nodiscard]] Type release() noexcept { return std::exchange(value_, Traits::Invalid()); }
  void reset(Type value = Traits::Invalid()) noexcept {
    Type old = std::exchange(value_, value);
    if (Traits::IsValid(old)) {
      const DWORD lastError = ::GetLastError();
      Traits::Close(old);
      ::SetLastError(lastError);
    }
  }
  // For out-parameters of creation calls: closes the current value first.
  Type* put() noexcept {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Invalid();
};

struct VxKernelHandleTraits {  // events, threads, mappings: null means none
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};
struct VxFileHandleTraits {  // files and pipes: INVALID_HANDLE_VALUE means none
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};
struct VxRegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::RegCloseKey(h); }
};
struct VxModuleTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::FreeLibrary(h); }
};
struct VxMappedViewTraits {
  using Type = void*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::UnmapViewOfFile(h); }
};

struct VxCoTaskMemTraits {  // memory that a COM call hands over (CoTaskMemAlloc)
  using Type = void*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type p) { return p != nullptr; }
  static void Close(Type p) { ::CoTaskMemFree(p); }
};
struct VxWindowTraits {  // a window this object created; destroyed with it
  using Type = HWND;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::DestroyWindow(h); }
};
struct VxGdiObjectTraits {  // fonts, brushes, pens
  using Type = HGDIOBJ;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::DeleteObject(h); }
};

using VxHandle = VxUniqueHandle<VxKernelHandleTraits>;
using VxFileHandle = VxUniqueHandle<VxFileHandleTraits>;
using VxRegKey = VxUniqueHandle<VxRegKeyTraits>;
using VxModule = VxUniqueHandle<VxModuleTraits>;
using VxMappedView = VxUniqueHandle<VxMappedViewTraits>;
using VxCoTaskMem = VxUniqueHandle<VxCoTaskMemTraits>;
using VxWindow = VxUniqueHandle<VxWindowTraits>;
using VxGdiObject = VxUniqueHandle<VxGdiObjectTraits>;

// COM interface pointer: Release on reset, last error kept.
template <typename I>
struct VxComTraits {
  using Type = I*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type p) { return p != nullptr; }
  static void Close(Type p) { p->Release(); }
};
// Unlike the other holders, a COM pointer can be shared: a copy, or a pointer
// borrowed from someone who keeps their own reference, takes a reference of
// its own (AddRef here, Release on reset), so no caller counts by hand.
template <typename I>
class VxComPtr : public VxUniqueHandle<VxComTraits<I>> {
  using Base = VxUniqueHandle<VxComTraits<I>>;

 public:
  VxComPtr() noexcept = default;
  // Adopts a reference the caller already owns (for example a creation call's).
  explicit VxComPtr(I* owned) noexcept : Base(owned) {}
  VxComPtr(const VxComPtr& other) noexcept : Base(AddRefed(other.get())) {}
  VxComPtr& operator=(const VxComPtr& other) noexcept {
    if (this != &other)
      this->reset(AddRefed(other.get()));
    return *this;
  }
  VxComPtr(VxComPtr&&) noexcept = default;
  VxComPtr& operator=(VxComPtr&&) noexcept = default;

  // Shares a pointer its owner keeps.
  static VxComPtr Borrow(I* borrowed) noexcept { return VxComPtr(AddRefed(borrowed)); }

 private:
  static I* AddRefed(I* p) noexcept {
    if (p)
      p->AddRef();
    return p;
  }
};
