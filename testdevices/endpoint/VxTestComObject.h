// Base of every COM object the test endpoint hands out: reference counting,
// QueryInterface for IUnknown and the one interface, and a process-wide list
// of live objects so that the record can say what a caller left behind.
//
// Each object records "create" when made and "destroy" when its count reaches
// zero, with its kind and a process-unique id. WriteLive appends one "live" line
// per object still alive, with its reference count. Thread-safe.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <atomic>
#include <cstdint>

class VxTestObjectTracker {
 public:
  static uint32_t Add(const char* kind, const std::atomic<ULONG>* refs) noexcept;
  static void Remove(uint32_t id) noexcept;
  // Appends "live" lines and a "live-total" line; returns the number of live objects.
  static uint32_t WriteLive() noexcept;
  static uint32_t LiveCount() noexcept;
};

// COM interfaces have no virtual destructor by design: objects end through
// Release, never through delete on an interface pointer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
template <typename I>
class VxTestComObject : public I {
 public:
  VxTestComObject(const VxTestComObject&) = delete;
  VxTestComObject& operator=(const VxTestComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
    if (out == nullptr)
      return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(I)) {
      *out = static_cast<I*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const ULONG n = --refs_;
    if (n == 0)
      delete this;
    return n;
  }
  uint32_t Id() const noexcept { return id_; }

 protected:
  explicit VxTestComObject(const char* kind) noexcept
      : id_(VxTestObjectTracker::Add(kind, &refs_)) {}
  virtual ~VxTestComObject() { VxTestObjectTracker::Remove(id_); }

 private:
  std::atomic<ULONG> refs_{1};
  const uint32_t id_;
};
#pragma GCC diagnostic pop
