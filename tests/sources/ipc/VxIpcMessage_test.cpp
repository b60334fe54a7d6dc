// The message handling and the reply packet, without a pipe (both builds).
#include "sources/ipc/VxIpcMessage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "live_Main/boundary/VxAudioFormat.h"
#include "sources/ipc/VxIpcPacket.h"
#include "tests/sources/ipc/VxIpcExpectedReply.h"

namespace {

using vxtest::ResultReply;

std::string Text(const VxByteBuffer& b) {
  return std::string(reinterpret_cast<const char*>(b.Data()), b.Length());
}

struct Sink final : IVxAudioLiveSink {
  int32_t SetFormat(const VxAudioFormat* format) override {
    formats.push_back(*format);
    return answer;
  }
  void Write(const void* data, int32_t byteCount, bool flag) override {
    writes.push_back({static_cast<const uint8_t*>(data), byteCount, flag});
  }
  void SourceEnded() override { ++ended; }
  struct Block {
    const uint8_t* data;
    int32_t size;
    bool flag;
  };
  int32_t answer = 0;
  std::vector<VxAudioFormat> formats;
  std::vector<Block> writes;
  int ended = 0;
};

VxByteBuffer Message(const char* tag, size_t payloadSize, uint64_t lengthField) {
  VxByteBuffer b;
  EXPECT_TRUE(b.SetLength(16 + payloadSize));
  VxIpcMessage::WriteHeader(b.Data(), tag, lengthField);
  for (size_t i = 0; i < payloadSize; ++i)
    b.Data()[16 + i] = static_cast<uint8_t>(i * 13 + 1);
  return b;
}
VxByteBuffer Message(const char* tag, size_t payloadSize) {
  return Message(tag, payloadSize, payloadSize);
}

struct Outcome {
  std::string reply;
  bool keepReading;
};
Outcome Handle(Sink* sink, bool streaming, const VxByteBuffer& input) {
  VxByteBuffer output;
  bool keepReading = true;
  VxIpcMessage::Process(sink, streaming, input, output, keepReading);
  return {Text(output), keepReading};
}

}  // namespace

TEST(IpcPacket, RepliesAreTheExactBytesWithEachCodeUnitEncodedByItself) {
  VxIpcPacket packet;
  packet.SetInt(VxString(u"Result"), 1);
  VxByteBuffer out;
  ASSERT_TRUE(out.SetLength(500));  // serialising replaces what was there
  ASSERT_TRUE(packet.Serialise(out));
  ASSERT_EQ(out.Length(), kVxIpcResultReplySize);
  EXPECT_EQ(Text(out), ResultReply('1'));

  // U+00E9 two bytes, U+20AC three, the surrogate pair as two three-byte units.
  packet.SetString(VxString(u"Result"), VxString(u"\u00e9\u20ac\U0001F600"), false);
  ASSERT_TRUE(packet.Serialise(out));
  EXPECT_EQ(Text(out),
            "<VXIPC version=\"1.0\">\r\n<Item Name=\"Result\">"
            "\xC3\xA9\xE2\x82\xAC\xED\xA0\xBD\xED\xB8\x80</Item>\r\n</VXIPC>" +
                std::string(1, '\0'));
}

TEST(IpcMessage, DataGoesToTheSinkStraightFromTheInputWithTheModeFlag) {
  for (size_t size : {size_t{1000}, size_t{0}, kVxIpcMaxMessageSize - 16}) {
    for (bool streaming : {false, true}) {
      Sink sink;
      const VxByteBuffer input = Message("data", size);
      const Outcome o = Handle(&sink, streaming, input);
      ASSERT_EQ(sink.writes.size(), 1u);
      EXPECT_EQ(sink.writes[0].data, input.Data() + 16);  // no copy
      EXPECT_EQ(sink.writes[0].size, static_cast<int32_t>(size));
      EXPECT_EQ(sink.writes[0].flag, !streaming);
      EXPECT_EQ(o.reply, streaming ? "" : ResultReply('1'));
      EXPECT_TRUE(o.keepReading);
    }
  }
}

TEST(IpcMessage, FormatIsBuiltFromThePayloadAndAnsweredByTheSinksVerdict) {
  VxByteBuffer input = Message("fmt1", 12);
  const uint32_t fields[3] = {96000, 24, 6};  // rate, format word, channels
  std::memcpy(input.Data() + 16, fields, 12);
  for (int32_t answer : {0, -1, 5}) {
    Sink sink;
    sink.answer = answer;
    const Outcome o = Handle(&sink, false, input);
    ASSERT_EQ(sink.formats.size(), 1u);
    VxAudioFormat expected;
    expected.Set(24, 96000, 6, 0, false, kVxGuidNull);
    EXPECT_EQ(std::memcmp(&sink.formats[0], &expected, sizeof expected), 0);
    EXPECT_EQ(sink.formats[0].blockAlign, 18);
    EXPECT_EQ(o.reply, ResultReply(answer == 0 ? '1' : '0'));
    EXPECT_TRUE(sink.writes.empty());
  }
  Sink quiet;
  EXPECT_EQ(Handle(&quiet, true, input).reply, "");  // refused or not, streaming sends nothing
  EXPECT_EQ(quiet.formats.size(), 1u);
}

TEST(IpcMessage, ShortFormatReadsOnFromTheBufferAndZerosBeyondIt) {
  // Fields past a short payload come from the rest of the allocation...
  VxByteBuffer input;
  ASSERT_TRUE(input.SetLength(64));
  const uint32_t stale[3] = {44100, 32, 4};
  std::memcpy(input.Data() + 16, stale, 12);
  ASSERT_TRUE(input.SetLength(20));  // a "fmt1" with a 4-byte payload (rate only)
  VxIpcMessage::WriteHeader(input.Data(), "fmt1", 4);
  const uint32_t rate = 22050;
  std::memcpy(input.Data() + 16, &rate, 4);
  Sink sink;
  EXPECT_EQ(Handle(&sink, false, input).reply, ResultReply('1'));
  ASSERT_EQ(sink.formats.size(), 1u);
  EXPECT_EQ(sink.formats[0].sampleRate, 22050u);
  EXPECT_EQ(sink.formats[0].bitsPerSample, 32);
  EXPECT_EQ(sink.formats[0].channels, 4);

  // ...and what lies beyond the allocation reads as zero.
  VxByteBuffer tight = Message("fmt1", 0);
  ASSERT_EQ(tight.Allocated(), 16u);
  Sink zero;
  Handle(&zero, false, tight);
  ASSERT_EQ(zero.formats.size(), 1u);
  EXPECT_EQ(zero.formats[0].sampleRate, 0u);
  EXPECT_EQ(zero.formats[0].channels, 0);
}

// Everything but well-formed data and format: nothing reaches the sink; bad
// and unknown messages are refused, start and stop (any payload) never
// answered, and only stop ends the reading.
TEST(IpcMessage, ControlBadAndUnknownMessagesDeliverNothing) {
  std::vector<std::pair<VxByteBuffer, char>> cases;  // message, reply ('s': none, stop)
  const auto add = [&](VxByteBuffer message, char reply) {
    cases.emplace_back(std::move(message), reply);
  };
  for (size_t payload : {size_t{0}, size_t{300}}) {
    add(Message("strt", payload), 0);
    add(Message("stop", payload), 's');
  }
  add(Message("data", 99, 100), '0');   // one byte missing
  add(Message("data", 101, 100), '0');  // one byte too many
  add(Message("data", 0, 1), '0');
  add(Message("data", 10, ~0ull), '0');  // a length that wraps
  add(Message("fmt1", 12, 11), '0');
  add(Message("stop", 0, 5), '0');  // a bad stop does not stop
  add(Message("strt", 4, 0), '0');
  for (const char* unknown : {"DATA", "Data", "xyzw", "fmt2"})
    add(Message(unknown, 10), '0');
  VxByteBuffer short15;
  ASSERT_TRUE(short15.Assign("data\0\0\0\0\0\0\0\0\0\0\0", 15));
  add(std::move(short15), '0');
  add(Message("data", kVxIpcMaxMessageSize - 15), '0');  // cannot come from a 1 MiB read
  add(VxByteBuffer(), '0');                              // nothing at all

  for (size_t i = 0; i < cases.size(); ++i) {
    const char reply = cases[i].second;
    for (bool streaming : {false, true}) {
      Sink sink;
      const Outcome o = Handle(&sink, streaming, cases[i].first);
      EXPECT_EQ(o.reply, reply == '0' && !streaming ? ResultReply('0') : "") << "case " << i;
      EXPECT_EQ(o.keepReading, reply != 's') << "case " << i;
      EXPECT_TRUE(sink.writes.empty() && sink.formats.empty()) << "case " << i;
      EXPECT_EQ(sink.ended, 0);  // ending the stream is the thread's business
    }
  }
}
