// The host's sink that every live source feeds.
//
// Owned by the host, passed to IVxAudioLive::Open, valid until the host deletes
// the source; the module never deletes it. A source calls its sink from one
// thread only. The table has no destructor slot; slots keep declaration order.
#pragma once

#include <cstdint>

struct VxAudioFormat;

class IVxAudioLiveSink {
 public:
  // Slot 0. The record stays owned by the source. 0 accepts the format.
  virtual int32_t SetFormat(const VxAudioFormat* format) = 0;
  // Slot 1. `byteCount` bytes of whole interleaved frames in the last accepted
  // format; `data` is null only when byteCount is 0. `flag` is one byte: 1
  // when the producer waits for a reply to each block (IPC request/reply).
  virtual void Write(const void* data, int32_t byteCount, bool flag) = 0;
  // Slot 2. The stream ended without the host asking (IPC source only).
  virtual void SourceEnded() = 0;

 protected:
  ~IVxAudioLiveSink() = default;
};
