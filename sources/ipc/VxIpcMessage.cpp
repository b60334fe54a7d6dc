#include "sources/ipc/VxIpcMessage.h"

#include <cstring>
#include <new>

#include "live_Main/boundary/VxAudioFormat.h"
#include "sources/ipc/VxIpcPacket.h"

namespace {

bool TagIs(const uint8_t* message, const char* tag) {
  return std::memcmp(message, tag, 4) == 0;
}

uint64_t ReadU64(const uint8_t* at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i)
    value = (value << 8) | at[i];
  return value;
}

bool IsWellFormed(const VxByteBuffer& input) {
  const size_t length = input.Length();
  if (length < kVxIpcHeaderSize || length > kVxIpcMaxMessageSize)
    return false;
  return ReadU64(input.Data() + 8) == length - kVxIpcHeaderSize;
}

void Reply(int32_t result, VxByteBuffer& output) {
  try {
    VxIpcPacket packet;
    packet.SetInt(VxString(u"Result"), result);
    if (!packet.Serialise(output))
      output.Free();
  } catch (const std::bad_alloc&) {
    output.Free();
  }
}

}  // namespace

uint32_t VxIpcMessage::ReadU32(const VxByteBuffer& buffer, size_t offset) noexcept {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    const size_t at = offset + static_cast<size_t>(i);
    value = (value << 8) | (at < buffer.Allocated() ? buffer.Data()[at] : 0u);
  }
  return value;
}

void VxIpcMessage::WriteHeader(uint8_t* at, const char* tag, uint64_t payloadLength) noexcept {
  std::memcpy(at, tag, 4);
  std::memset(at + 4, 0, 4);
  for (int i = 0; i < 8; ++i)
    at[8 + i] = static_cast<uint8_t>(payloadLength >> (8 * i));
}

void VxIpcMessage::Process(IVxAudioLiveSink* sink,
                           bool streaming,
                           const VxByteBuffer& input,
                           VxByteBuffer& output,
                           bool& keepReading) noexcept {
  int32_t result = 0;
  if (sink && IsWellFormed(input)) {
    const uint8_t* message = input.Data();
    const size_t payloadLength = input.Length() - kVxIpcHeaderSize;
    if (TagIs(message, "data")) {
      sink->Write(message + kVxIpcHeaderSize, static_cast<int32_t>(payloadLength), !streaming);
      result = 1;
    } else if (TagIs(message, "strt")) {
      return;
    } else if (TagIs(message, "fmt1")) {
      VxAudioFormat format;
      format.Set(ReadU32(input, kVxIpcHeaderSize + 4), ReadU32(input, kVxIpcHeaderSize),
                 ReadU32(input, kVxIpcHeaderSize + 8), 0, false, kVxGuidNull);
      result = sink->SetFormat(&format) == 0 ? 1 : 0;
    } else if (TagIs(message, "stop")) {
      keepReading = false;
      return;
    }
  }
  if (streaming)
    return;
  Reply(result, output);
}
