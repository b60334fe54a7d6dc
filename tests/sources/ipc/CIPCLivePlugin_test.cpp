// The IPC source end to end: real pipes, a worker thread, the producer program
// as a second process, and a sink that records what arrives.
#include "sources/ipc/CIPCLivePlugin.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "tests/sources/ipc/VxIpcTestSupport.h"

using namespace vxtest;
using Clock = std::chrono::steady_clock;

namespace {

struct SourceDeleter {
  void operator()(IVxAudioLive* p) const { VxDeleteSource(p); }
};
using SourcePtr = std::unique_ptr<IVxAudioLive, SourceDeleter>;

SourcePtr NewSource() {
  return SourcePtr(VxCreateIpcLivePlugin());
}

std::u16string U16(const char* s) {
  return std::u16string(s, s + std::strlen(s));
}

// Runs the producer against a fresh source and checks a byte-exact stream.
void StreamThroughProducer(bool streaming, uint64_t bytes, size_t messageBytes) {
  PipePair pipe(false, 1 << 20);
  ProducerProcess producer;
  wchar_t args[256];
  std::swprintf(args, 256,
                L"--pipe %ls --pattern --rate 192000 --channels 32 --bits 32 --bytes %llu "
                L"--message-bytes %zu --start --quiet%ls",
                pipe.name.c_str(), static_cast<unsigned long long>(bytes), messageBytes,
                streaming ? L" --streaming" : L"");
  ASSERT_TRUE(producer.Start(args));
  ASSERT_TRUE(pipe.WaitConnected(30000));
  RecordingSink sink(false);
  SourcePtr source = NewSource();
  ASSERT_EQ(source->Open(pipe.HandOver(streaming ? "&streaming=1" : "").c_str(), &sink), 0);
  EXPECT_EQ(producer.Wait(600000), 0) << producer.Output();
  ASSERT_TRUE(sink.WaitEnded(60000));  // the "stop" message
  source.reset();

  EXPECT_EQ(sink.ended, 1);
  EXPECT_EQ(sink.total, bytes);
  EXPECT_EQ(sink.checker.Position(), bytes);
  EXPECT_EQ(sink.checker.Mismatches(), 0u);
  const uint64_t messages = (bytes + messageBytes - 1) / messageBytes;
  EXPECT_EQ(static_cast<uint64_t>(sink.writes), messages);
  EXPECT_EQ(sink.flagSet, streaming ? 0 : sink.writes);
  EXPECT_EQ(sink.flagClear, streaming ? sink.writes : 0);
  ASSERT_EQ(sink.formats.size(), 1u);
  EXPECT_EQ(sink.formats[0].sampleRate, 192000u);
  EXPECT_EQ(sink.formats[0].channels, 32);
  EXPECT_EQ(sink.formats[0].bitsPerSample, 32);
  EXPECT_FALSE(sink.formats[0].IsFloat());
  EXPECT_EQ(sink.callerThreads, 1);
  EXPECT_FALSE(sink.calledFromTestThread);
  EXPECT_NE(producer.Output().find("refused: 0"), std::string::npos) << producer.Output();
}

}  // namespace

TEST(IpcSourceStream, RequestReplyDeliversALongStreamByteExact) {
  StreamThroughProducer(false, 384ull << 20, 1048560);  // largest messages
  StreamThroughProducer(false, 64ull << 20, 4093);      // odd, small messages
}

TEST(IpcSourceStream, StreamingDeliversALongStreamByteExact) {
  StreamThroughProducer(true, 512ull << 20, 1048560);
  StreamThroughProducer(true, 96ull << 20, 65536);
}

TEST(IpcSourceReplies, EachFormatDataAndBadMessageGetsExactlyOneReply) {
  PipePair pipe;
  RecordingSink sink;
  SourcePtr source = NewSource();
  ASSERT_EQ(source->Open(pipe.HandOver().c_str(), &sink), 0);

  ASSERT_TRUE(pipe.Write(FormatMessage(48000, 16, 2)));
  EXPECT_EQ(pipe.ReadReply(), ResultReply('1'));
  ASSERT_TRUE(
      pipe.Write(Message("strt")));  // never answered: the next reply belongs to the bad tag
  ASSERT_TRUE(pipe.Write(Message("DATA", PatternBytes(0, 8))));
  EXPECT_EQ(pipe.ReadReply(), ResultReply('0'));
  ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(0, 4000))));
  EXPECT_EQ(pipe.ReadReply(), ResultReply('1'));
  ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(4000, 100), 101)));
  EXPECT_EQ(pipe.ReadReply(), ResultReply('0'));
  ASSERT_TRUE(pipe.Write(Message("data")));  // header only: delivered as an empty block
  EXPECT_EQ(pipe.ReadReply(), ResultReply('1'));
  ASSERT_TRUE(pipe.Write(Message("stop")));
  ASSERT_TRUE(sink.WaitEnded());
  EXPECT_EQ(pipe.PendingForClient(), 0u);  // no reply to "stop" (nor to "strt")
  source.reset();

  EXPECT_EQ(sink.ended, 1);
  EXPECT_EQ(sink.bytes, PatternBytes(0, 4000));
  EXPECT_EQ(sink.writes, 2);
  EXPECT_EQ(sink.flagSet, 2);
  ASSERT_EQ(sink.formats.size(), 1u);
  EXPECT_EQ(sink.formats[0].sampleRate, 48000u);
}

TEST(IpcSourceReplies, RefusedFormatIsAnsweredWithZeroAndTheProducerReportsIt) {
  PipePair pipe(false);
  ProducerProcess producer;
  ASSERT_TRUE(
      producer.Start(L"--pipe " + pipe.name + L" --sine --rate 44100 --bits 24 --duration 0.5"));
  ASSERT_TRUE(pipe.WaitConnected(30000));
  RecordingSink sink;
  sink.refuseFormats = true;
  SourcePtr source = NewSource();
  ASSERT_EQ(source->Open(pipe.HandOver().c_str(), &sink), 0);
  EXPECT_EQ(producer.Wait(), 2);  // everything sent, one message refused
  ASSERT_TRUE(sink.WaitEnded());
  source.reset();
  const std::string out = producer.Output();
  EXPECT_NE(out.find("refused: fmt1 message 0"), std::string::npos) << out;
  EXPECT_NE(out.find("refused: 1"), std::string::npos) << out;
  ASSERT_EQ(sink.formats.size(), 1u);
  EXPECT_EQ(sink.formats[0].bitsPerSample, 24);
  EXPECT_EQ(sink.total, 44100u / 2 * 6);  // data still flows; the host decides what to do with it
}

TEST(IpcSourceMalformed, StreamingDropsBadMessagesSilently) {
  PipePair pipe;
  RecordingSink sink;
  SourcePtr source = NewSource();
  ASSERT_EQ(source->Open(pipe.HandOver("&streaming").c_str(), &sink), 0);
  ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(0, 10))));
  for (const auto& bad :
       {Message("data", PatternBytes(0, 99), 100), Message("Data", PatternBytes(0, 5)),
        Message("xxxx"), std::vector<uint8_t>{'d', 'a', 't', 'a', 0, 0, 0}})
    ASSERT_TRUE(pipe.Write(bad));
  ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(10, 20))));
  ASSERT_TRUE(pipe.Write(Message("stop")));
  ASSERT_TRUE(sink.WaitEnded());
  EXPECT_EQ(pipe.PendingForClient(), 0u);
  source.reset();
  EXPECT_EQ(sink.bytes, PatternBytes(0, 30));
  EXPECT_EQ(sink.flagClear, 2);
  EXPECT_EQ(sink.ended, 1);
}

TEST(IpcSourceMalformed, OversizedOrEmptyMessageEndsTheStream) {
  for (size_t size : {size_t{0x100001}, size_t{0}}) {
    PipePair pipe(true, 1 << 20);
    RecordingSink sink;
    SourcePtr source = NewSource();
    ASSERT_EQ(source->Open(pipe.HandOver().c_str(), &sink), 0);
    ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(0, 100))));
    EXPECT_EQ(pipe.ReadReply(), ResultReply('1'));
    std::vector<uint8_t> message =
        size ? Message("data", PatternBytes(100, size - 16)) : std::vector<uint8_t>{};
    std::thread writer([&] {
      DWORD n;
      ::WriteFile(pipe.client.get(), message.data(), static_cast<DWORD>(message.size()), &n,
                  nullptr);
    });
    EXPECT_TRUE(sink.WaitEnded()) << size;
    source.reset();  // disconnecting also frees a writer still stuck in its write
    writer.join();
    EXPECT_EQ(sink.ended, 1);
    EXPECT_EQ(sink.bytes, PatternBytes(0, 100)) << size;
    EXPECT_EQ(pipe.PendingForClient(), 0u);
  }
}

TEST(IpcSourceMalformed, ProducerKilledMidStreamEndsWithAnExactPrefix) {
  PipePair pipe(false, 1 << 20);
  ProducerProcess producer;
  ASSERT_TRUE(producer.Start(L"--pipe " + pipe.name +
                             L" --pattern --streaming --bytes 100000000000 "
                             L"--message-bytes 65536 --quiet"));
  ASSERT_TRUE(pipe.WaitConnected(30000));
  RecordingSink sink(false);
  SourcePtr source = NewSource();
  ASSERT_EQ(source->Open(pipe.HandOver("&streaming=1").c_str(), &sink), 0);
  ASSERT_TRUE(sink.WaitTotal(8 << 20));
  producer.Kill();
  EXPECT_NE(producer.Wait(), -1);
  ASSERT_TRUE(sink.WaitEnded());
  source.reset();
  EXPECT_EQ(sink.ended, 1);
  EXPECT_EQ(sink.checker.Mismatches(), 0u);
  for (int32_t size : sink.writeSizes)
    ASSERT_EQ(size, 65536);  // only whole messages
}

TEST(IpcSourceMalformed, HandleThatIsNoPipeEndsTheStreamAndIsNotClosed) {
  // A value that is no handle at all, and a real handle of another kind.
  VxHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  char text[64];
  std::snprintf(text, sizeof text, "pipe=%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(event.get())));
  for (const std::u16string& settings : {U16("pipe=7ffffff0"), U16(text)}) {
    RecordingSink sink;
    SourcePtr source = NewSource();
    ASSERT_EQ(source->Open(settings.c_str(), &sink), 0);
    ASSERT_TRUE(sink.WaitEnded());
    EXPECT_EQ(static_cast<CIPCLivePlugin*>(source.get())->GetPipe(), INVALID_HANDLE_VALUE);
    source.reset();
    EXPECT_EQ(sink.ended, 1);
    EXPECT_EQ(sink.writes + static_cast<int>(sink.formats.size()), 0);
  }
  EXPECT_TRUE(::SetEvent(event.get()));  // still ours, still open
}

TEST(IpcSourceOpen, PipeSettingIsHexWithAnOptionalLowerCaseXPrefix) {
  struct Case {
    const char* format;
    int32_t expected;
  };
  for (const Case& c :
       {Case{"pipe=0x%llx", 0}, Case{"pipe=%llX", 0}, Case{"x?y=1&pipe=%llx&streaming=0", 0},
        Case{"PIPE=+%llx", 0}, Case{"pipe=0X%llx", -1}}) {
    PipePair pipe;
    const HANDLE server = pipe.server.get();
    char text[96];
    std::snprintf(text, sizeof text, c.format,
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(server)));
    RecordingSink sink;
    SourcePtr source = NewSource();
    ASSERT_EQ(source->Open(U16(text).c_str(), &sink), c.expected) << text;
    if (c.expected == 0) {
      (void)pipe.server.release();  // the source owns it now
      EXPECT_EQ(static_cast<CIPCLivePlugin*>(source.get())->GetPipe(), server);
      ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(0, 8))));
      EXPECT_EQ(pipe.ReadReply(), ResultReply('1')) << text;
    }
  }
  for (const char* text : {"pipe=0", "pipe=", "streaming=1", "", "pipe=zz", "pipe=0x"}) {
    RecordingSink sink;
    SourcePtr source = NewSource();
    EXPECT_EQ(source->Open(U16(text).c_str(), &sink), -1) << text;
    EXPECT_FALSE(static_cast<CIPCLivePlugin*>(source.get())->IsRunning()) << text;
  }
}

TEST(IpcSourceOpen, StreamingSettingReadsAsADecimalSwitch) {
  struct Case {
    const char* extra;
    bool streaming;
  };
  for (const Case& c :
       {Case{"&streaming", true}, Case{"&Streaming=2", true}, Case{"&streaming=0", false},
        Case{"&streaming=no", false}, Case{"", false}}) {
    PipePair pipe;
    RecordingSink sink;
    SourcePtr source = NewSource();
    ASSERT_EQ(source->Open(pipe.HandOver(c.extra).c_str(), &sink), 0);
    auto* ipc = static_cast<CIPCLivePlugin*>(source.get());
    EXPECT_EQ(ipc->IsStreaming(), c.streaming) << c.extra;
    // The worker is waiting for the quiet pipe, so its handle is still there.
    EXPECT_EQ(::GetThreadPriority(ipc->GetHandle()), THREAD_PRIORITY_TIME_CRITICAL);
  }
}

TEST(IpcSourceOpen, SecondOpenFailsAndKeepsTheFirstSink) {
  PipePair pipe;
  PipePair other;
  RecordingSink first, second;
  SourcePtr source = NewSource();
  ASSERT_EQ(source->Open(pipe.HandOver().c_str(), &first), 0);
  EXPECT_EQ(source->Open(PipeSettings(other.server.get()).c_str(), &second), -1);
  ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(0, 64))));
  EXPECT_EQ(pipe.ReadReply(), ResultReply('1'));
  source.reset();
  EXPECT_EQ(first.bytes, PatternBytes(0, 64));
  EXPECT_EQ(second.writes, 0);

  RecordingSink failed;  // a failed first Open also counts
  SourcePtr unopened = NewSource();
  EXPECT_EQ(unopened->Open(u"pipe=0", &failed), -1);
  PipePair third;
  EXPECT_EQ(unopened->Open(PipeSettings(third.server.get()).c_str(), &failed), -1);
  EXPECT_EQ(static_cast<CIPCLivePlugin*>(unopened.get())->GetPipe(), INVALID_HANDLE_VALUE);
}

TEST(IpcSourceInfo, FactoryIndexTwoAnswersNameAndCodes) {
  IVxAudioLive* made = nullptr;
  ASSERT_EQ(GetLivePlugin(2, &made), 0);
  ASSERT_NE(made, nullptr);
  SourcePtr source(made);
  char16_t buffer[1024];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(source->GetInfo(0, buffer), 0);
  EXPECT_EQ(std::u16string(buffer, 5), std::u16string(u"IPC\0#", 5));  // 8 bytes, nothing more
  EXPECT_EQ(source->GetInfo(1, buffer), 1);
  EXPECT_EQ(source->GetInfo(2, buffer), 0);
  EXPECT_EQ(source->GetInfo(3, buffer), -1);
  EXPECT_EQ(source->GetInfo(-1, buffer), -1);
  EXPECT_EQ(source->Reserved(0, nullptr), -1);
  EXPECT_EQ(source->Configure(0, nullptr), -1);
}

TEST(IpcSourceInfo, SixthSlotOfTheSourceTableHandlesAMessage) {
  // Called the way a caller of the raw table would: slot 5, `this` first.
  SourcePtr source = NewSource();
  using ProcessMessageSlot = void (*)(IVxAudioLive*, VxByteBuffer*, VxByteBuffer*, bool*);
  auto slot = (*reinterpret_cast<ProcessMessageSlot**>(source.get()))[5];
  VxByteBuffer input, output;
  const auto message = Message("stop");
  ASSERT_TRUE(input.Assign(message.data(), message.size()));
  bool keepReading = true;
  slot(source.get(), &input, &output, &keepReading);
  // Not opened: no sink, so even "stop" is refused rather than obeyed.
  EXPECT_TRUE(keepReading);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(output.Data()), output.Length()),
            ResultReply('0'));
}
