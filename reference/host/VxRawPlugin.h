// The plug-in's objects as a host built by another compiler reaches them: a
// source is a pointer to a table of functions called by slot number with the
// object first (the x64 convention passes it where a member function gets
// `this`), and the host's sink is a table the host fills in itself. Nothing
// here uses the module's C++ declarations of these interfaces, so a plug-in
// whose tables are out of order or short is caught, not compiled around.
//
// Source slots: 0 scalar deleting destructor (flags bit 0 frees; returns the
// object), 1 Open, 2 GetInfo, 3 Reserved, 4 Configure.
// Sink slots: 0 SetFormat, 1 Write (one-byte flag), 2 SourceEnded.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "foundation/VxHandle.h"
#include "live_Main/boundary/VxAudioFormat.h"

using VxRawFactory = int32_t (*)(int32_t index, void** out);
using VxRawRegisterServer = HRESULT (*)();

struct VxRawSource {
  void* object = nullptr;

  template <typename F>
  F Slot(int slot) const {
    return reinterpret_cast<F>((*static_cast<void* const* const*>(object))[slot]);
  }
  void* Delete() const { return Slot<void* (*)(void*, unsigned)>(0)(object, 1); }
  int32_t Open(const wchar_t* parameters, void* sink) const {
    return Slot<int32_t (*)(void*, const wchar_t*, void*)>(1)(object, parameters, sink);
  }
  int32_t GetInfo(int32_t code, void* buffer) const {
    return Slot<int32_t (*)(void*, int32_t, void*)>(2)(object, code, buffer);
  }
  int32_t Reserved(int32_t code, void* argument) const {
    return Slot<int32_t (*)(void*, int32_t, void*)>(3)(object, code, argument);
  }
  int32_t Configure(int32_t code, HWND parent) const {
    return Slot<int32_t (*)(void*, int32_t, HWND)>(4)(object, code, parent);
  }
};

// A sink that counts what the source hands it and checks the order: formats
// before blocks, whole frames, one calling thread for Write, no two calls at
// once, no call after the source was deleted. Any thread may call it; the
// host reads the counters once the source was deleted or while it streams.
struct VxRawSink {
  VxRawSink();

  const void* const* table;  // first: the sink's table
  std::atomic<int> formats{0};
  std::atomic<int> writes{0};
  std::atomic<uint64_t> bytes{0};
  std::atomic<int> writesBeforeFormat{0};
  std::atomic<int> partialFrames{0};
  std::atomic<int> writeThreads{0};  // distinct threads seen calling Write (1 expected)
  std::atomic<int> overlaps{0};
  std::atomic<int> ended{0};
  std::atomic<int> callsAfterDelete{0};
  std::atomic<bool> deleted{false};
  std::atomic<int> inCall{0};
  std::atomic<DWORD> writeThread{0};
  VxAudioFormat format;  // the last accepted one, under lock
  std::mutex lock;
  // `reached` is set once this much audio of the last format arrived.
  std::atomic<double> targetSeconds{0};
  std::atomic<uint64_t> targetBytes{0};
  VxHandle reached{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  // The next Write is held this long (a switch stalled inside the host);
  // `holding` is set when it begins.
  std::atomic<DWORD> holdNextWriteMs{0};
  VxHandle holding{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};
