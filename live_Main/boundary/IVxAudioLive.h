// IVxAudioLive: the interface of every live source, and VxAudioLiveBase, the
// part every source shares.
//
// The host creates a source through GetLivePlugin, calls Open once with a sink
// of its own, and deletes the source (slot 0) to stop it. This table crosses
// the module boundary: slot 0 is the platform compiler's scalar deleting
// destructor (flags bit 0 = free the memory; returns the object pointer),
// declared explicitly because a GCC virtual destructor would take two slots
// and move Open. All operations are called on the host's thread and never throw.
#pragma once

#include <windows.h>

#include <cstdint>

#include "live_Main/boundary/IVxAudioLiveSink.h"
#include "live_Main/boundary/VxAudioFormat.h"

class IVxAudioLive {
 public:
  virtual void* DeletingDestructor(unsigned int flags) noexcept = 0;                      // slot 0
  virtual int32_t Open(const char16_t* parameters, IVxAudioLiveSink* sink) noexcept = 0;  // slot 1
  // Slot 2. Code 0 writes the source's name (the buffer holds at least 1024
  // wide characters); codes 1 to 3 as each source states; others -1.
  virtual int32_t GetInfo(int32_t code, void* buffer) noexcept = 0;
  virtual int32_t Reserved(int32_t code, void* argument) noexcept = 0;  // slot 3: -1
  virtual int32_t Configure(int32_t code, HWND parent) noexcept = 0;    // slot 4
 protected:
  ~IVxAudioLive() = default;
};

// What every source answers the same way whatever its state: its name
// (GetInfo code 0) and the fixed answers to info codes 1 and 2.
struct VxSourceInfo {
  const char16_t* name;
  int32_t info1;
  int32_t info2;
};

// The shared part of every source: GetInfo answers codes 0 to 2 from the
// source's VxSourceInfo and -1 for others; Reserved answers -1; Configure
// answers -1 (no settings). A source overrides what differs and hands the
// rest back to this class. Open stays pure.
class VxAudioLiveBase : public IVxAudioLive {
 public:
  explicit VxAudioLiveBase(const VxSourceInfo& info) : info_(info) {}
  int32_t GetInfo(int32_t code, void* buffer) noexcept override;
  int32_t Reserved(int32_t, void*) noexcept override { return -1; }
  int32_t Configure(int32_t, HWND) noexcept override { return -1; }

 protected:
  ~VxAudioLiveBase() = default;

 private:
  const VxSourceInfo& info_;
};

// Deletes a source the way the host does: through slot 0 with flags 1.
inline void VxDeleteSource(IVxAudioLive* source) noexcept {
  if (source)
    source->DeletingDestructor(1);
}

// Implements slot 0 for a final class T whose C++ destructor does the work.
#define VX_SCALAR_DELETING_DESTRUCTOR(T)                           \
  void* DeletingDestructor(unsigned int flags) noexcept override { \
    this->~T();                                                    \
    if (flags & 1)                                                 \
      ::operator delete(static_cast<void*>(this));                 \
    return this;                                                   \
  }

extern "C" {
// Exported factory: 0 ASIO, 1 Loopback, 2 IPC. Sets *out to null first; -1 for
// an index that yields no source.
__declspec(dllexport) int32_t GetLivePlugin(int32_t index, IVxAudioLive** out) noexcept;
__declspec(dllexport) HRESULT DllRegisterServer() noexcept;
}
