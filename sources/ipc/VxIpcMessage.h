// VxIpcMessage: the framing of producer messages and their handling.
//
// A message is one pipe read: a 16-byte header (4 tag bytes, 4 reserved bytes,
// a little-endian unsigned 64-bit payload length) and the payload. It is well
// formed when it holds at least the header, its total length equals payload
// length + 16 and it fits the 1 MiB read buffer. Tags are compared as four
// bytes, so "DATA" is not "data".
//
// Process() is the platform-free part of the IPC source's message handling,
// shared by the source's worker thread and by the Linux tests and fuzzer:
// - "data": the payload goes to sink->Write straight out of `input` (no copy),
//   with flag = !streaming; answered "Result" = 1 whatever the sink does.
// - "fmt1": a VxAudioFormat built from the payload's rate (bytes 0-3), format
//   word (4-7) and channel count (8-11) goes to sink->SetFormat; "Result" is 1
//   when the sink returns 0, else 0. A payload shorter than 12 bytes is not
//   refused: the fields are read from the bytes that follow the message inside
//   `input`'s allocation (the source's 1 MiB read buffer, so stale or zero
//   bytes); any byte beyond the allocation reads as zero, so no read ever
//   leaves the buffer.
// - "strt": nothing, no reply. "stop": clears keepReading, no reply.
// - malformed, no sink, or another tag: "Result" = 0.
// In streaming mode no reply is ever built. The reply goes to `output` (which
// the caller has emptied); an empty `output` means "send nothing".
//
// Threads: called on the source's worker thread only; the sink is borrowed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/VxByteBuffer.h"
#include "live_Main/boundary/IVxAudioLiveSink.h"

inline constexpr size_t kVxIpcHeaderSize = 16;
inline constexpr size_t kVxIpcMaxMessageSize = 0x100000;  // the source's read buffer
inline constexpr size_t kVxIpcFormatPayloadSize = 12;

class VxIpcMessage {
 public:
  static void Process(IVxAudioLiveSink* sink,
                      bool streaming,
                      const VxByteBuffer& input,
                      VxByteBuffer& output,
                      bool& keepReading) noexcept;

  // Writes a header for `tag` (4 bytes) with a zero reserved field.
  static void WriteHeader(uint8_t* at, const char* tag, uint64_t payloadLength) noexcept;

  // Little-endian unsigned 32-bit value at `offset` of `buffer`'s allocation;
  // bytes beyond the allocation read as zero.
  static uint32_t ReadU32(const VxByteBuffer& buffer, size_t offset) noexcept;
};
