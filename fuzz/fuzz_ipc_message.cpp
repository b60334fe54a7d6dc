// Fuzzes the IPC source's message handling with one received message. The
// first byte picks the mode and the spare allocation behind the message (the
// source's read buffer is larger than most messages); the checking sink and
// the checks after the call hold every block, format and reply to the header.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "live_Main/boundary/VxAudioFormat.h"
#include "sources/ipc/VxIpcMessage.h"
#include "tests/sources/ipc/VxIpcExpectedReply.h"

namespace {

#define CHECK(condition) \
  do {                   \
    if (!(condition))    \
      std::abort();      \
  } while (0)

struct CheckingSink final : IVxAudioLiveSink {
  const uint8_t* begin = nullptr;
  const uint8_t* end = nullptr;
  bool streaming = false;
  int writes = 0;
  int formats = 0;
  int32_t answer = 0;

  int32_t SetFormat(const VxAudioFormat* format) override {
    CHECK(format != nullptr);
    CHECK(format->extensionSize == 0 && format->channelMask == 0);
    ++formats;
    return answer;
  }
  void Write(const void* data, int32_t byteCount, bool flag) override {
    const auto* p = static_cast<const uint8_t*>(data);
    CHECK(byteCount >= 0);
    CHECK(p == begin + kVxIpcHeaderSize);
    CHECK(p + byteCount == end);
    CHECK(flag == !streaming);
    volatile uint8_t sum = 0;  // touch every byte: ASan reports any that is outside
    for (int32_t i = 0; i < byteCount; ++i)
      sum = static_cast<uint8_t>(sum + p[i]);
    ++writes;
  }
  void SourceEnded() override { CHECK(false); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size - 1 > kVxIpcMaxMessageSize + 64)
    return 0;
  const uint8_t control = data[0];
  const bool streaming = control & 1;
  const size_t spare = (control >> 1) & 31;  // allocation behind the message
  const size_t length = size - 1;

  VxByteBuffer input;
  if (!input.SetLength(length + spare))
    return 0;
  for (size_t i = 0; i < spare; ++i)
    input.Data()[length + i] = static_cast<uint8_t>(0xA5 ^ i);
  CHECK(input.SetLength(length));
  if (length)
    std::memcpy(input.Data(), data + 1, length);

  CheckingSink sink;
  sink.begin = input.Data();
  sink.end = input.Data() + length;
  sink.streaming = streaming;
  sink.answer = (control & 0x40) ? -1 : 0;
  VxByteBuffer output;
  bool keepReading = true;
  VxIpcMessage::Process(&sink, streaming, input, output, keepReading);

  uint64_t field = 0;
  for (int i = 7; length >= 16 && i >= 0; --i)
    field = (field << 8) | input.Data()[8 + i];
  const bool wellFormed = length >= 16 && length <= kVxIpcMaxMessageSize && field == length - 16;
  const auto tagIs = [&](const char* tag) {
    return wellFormed && std::memcmp(input.Data(), tag, 4) == 0;
  };

  CHECK(sink.writes == (tagIs("data") ? 1 : 0));
  CHECK(sink.formats == (tagIs("fmt1") ? 1 : 0));
  CHECK(keepReading == !tagIs("stop"));
  const std::string reply(reinterpret_cast<const char*>(output.Data()), output.Length());
  if (streaming || tagIs("strt") || tagIs("stop")) {
    CHECK(reply.empty());
  } else {
    const bool accepted = tagIs("data") || (tagIs("fmt1") && sink.answer == 0);
    CHECK(reply == vxtest::ResultReply(accepted ? '1' : '0'));
  }
  return 0;
}
