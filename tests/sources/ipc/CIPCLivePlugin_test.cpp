// The IPC source end to end: real pipes, a worker thread, the producer program
// as a second process, and a sink that records what arrives.
#include "sources/ipc/CIPCLivePlugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "tests/sources/ipc/VxIpcTestSupport.h"
#include "tests/support/VxFunctionPatch.h"

using namespace vxtest;

namespace {

CIPCLivePlugin* Ipc(const SourcePtr& source) {
  return static_cast<CIPCLivePlugin*>(source.get());
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
  VxPatternChecker checker;
  VxTestSink sink([&checker](uint64_t, const void* data, size_t size) {
    checker.Check(data, size);
    return true;
  });
  // Until the "stop" message.
  ASSERT_TRUE(RunSource(
      kIpc, pipe.HandOver(streaming ? "&streaming=1" : "").c_str(), sink,
      [](const VxTestSink& s) { return s.ended > 0; }, 0, 600000));
  EXPECT_EQ(producer.Wait(60000), 0);  // 0: every reply said "accepted"

  EXPECT_EQ(sink.ended, 1);
  EXPECT_EQ(checker.Position(), bytes);
  EXPECT_EQ(checker.Mismatches(), 0u);
  EXPECT_EQ(static_cast<uint64_t>(sink.writes), (bytes + messageBytes - 1) / messageBytes);
  EXPECT_EQ(sink.flagSet, streaming ? 0 : sink.writes);
  ASSERT_EQ(sink.formats.size(), 1u);
  EXPECT_EQ(sink.formats[0].sampleRate, 192000u);
  EXPECT_EQ(sink.formats[0].channels, 32);
  EXPECT_EQ(sink.threads.size(), 1u);
  EXPECT_FALSE(sink.calledFromTestThread);
}

// Records the task a worker registers under with the multimedia scheduler.
struct SchedulerHook {
  static constexpr uintptr_t kTask = 0x7A5C;
  static HANDLE WINAPI Set(LPCWSTR name, LPDWORD index) {
    std::lock_guard<std::mutex> lock(mutex);
    task = name ? name : L"(null)";
    *index = 1;
    return reinterpret_cast<HANDLE>(kTask);
  }
  static BOOL WINAPI Revert(HANDLE handle) {
    reverts += handle == reinterpret_cast<HANDLE>(kTask);
    return TRUE;
  }
  VxFunctionPatch set{L"Avrt.dll", "AvSetMmThreadCharacteristicsW", reinterpret_cast<void*>(&Set)};
  VxFunctionPatch revert{L"Avrt.dll", "AvRevertMmThreadCharacteristics",
                         reinterpret_cast<void*>(&Revert)};
  static inline std::mutex mutex;
  static inline std::wstring task;
  static inline std::atomic<int> reverts{0};
};

HANDLE WINAPI
NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
  ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

}  // namespace

TEST(IpcSourceStream, BothModesDeliverALongStreamByteExact) {
  StreamThroughProducer(false, 16ull << 20, 4093);     // odd, small messages, each answered
  StreamThroughProducer(true, 128ull << 20, 1048560);  // largest messages
}

TEST(IpcSourceReplies, EachMessageGetsOneReplyOrNoneWhenStreaming) {
  for (bool streaming : {false, true}) {
    SCOPED_TRACE(streaming);
    PipePair pipe;
    VxTestSink sink;
    SourcePtr source = NewSource(kIpc);
    ASSERT_EQ(source->Open(pipe.HandOver(streaming ? "&streaming" : "").c_str(), &sink), 0);
    // Tags, verdicts and bad messages are the message unit's business; here: one
    // reply per message (a refused one too), in order, "strt"/"stop" never answered.
    const std::vector<std::pair<std::vector<uint8_t>, char>> exchange = {
        {FormatMessage(48000, 16, 2), '1'},
        {Message("strt"), 0},
        {Message("DATA", PatternBytes(0, 8)), '0'},
        {Message("data", PatternBytes(0, 4000)), '1'},
        {Message("data"), '1'},
    };
    for (const auto& [message, reply] : exchange) {
      ASSERT_TRUE(pipe.Write(message));
      if (reply && !streaming) {
        EXPECT_EQ(pipe.ReadReply(), ResultReply(reply));
      }
    }
    ASSERT_TRUE(pipe.Write(Message("stop")));
    ASSERT_TRUE(sink.WaitEnded());
    EXPECT_EQ(pipe.PendingForClient(), 0u);
    source.reset();
    EXPECT_EQ(sink.ended, 1);
    EXPECT_EQ(sink.bytes, PatternBytes(0, 4000));
    EXPECT_EQ(sink.writes, 2);
    EXPECT_EQ(sink.flagSet, streaming ? 0 : 2);
    ASSERT_EQ(sink.formats.size(), 1u);
    EXPECT_EQ(sink.formats[0].sampleRate, 48000u);
  }
}

TEST(IpcSourceReplies, WorkerRegistersWithTheSchedulerAsProAudioAndReverts) {
  SchedulerHook hook;
  ASSERT_TRUE(hook.set.Installed() && hook.revert.Installed());
  const int reverts = SchedulerHook::reverts;
  PipePair pipe;
  VxTestSink sink;
  SourcePtr source = NewSource(kIpc);
  ASSERT_EQ(source->Open(pipe.HandOver().c_str(), &sink), 0);
  ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(0, 8))));
  ASSERT_EQ(pipe.ReadReply(), ResultReply('1'));  // the worker has registered by now
  {
    std::lock_guard<std::mutex> lock(SchedulerHook::mutex);
    EXPECT_EQ(SchedulerHook::task, L"Pro Audio");
  }
  EXPECT_EQ(::GetThreadPriority(Ipc(source)->GetHandle()), THREAD_PRIORITY_TIME_CRITICAL);
  source.reset();
  EXPECT_EQ(SchedulerHook::reverts, reverts + 1);
}

TEST(IpcSourceMalformed, OversizedOrEmptyMessageEndsTheStream) {
  for (size_t size : {size_t{0x100001}, size_t{0}}) {
    PipePair pipe(true, 1 << 20);
    VxTestSink sink;
    SourcePtr source = NewSource(kIpc);
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

TEST(IpcSourceMalformed, HandleThatIsNoPipeEndsTheStreamAndIsNotClosed) {
  // A value that is no handle at all, and a real handle of another kind.
  VxHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  for (const std::u16string& settings : {U16("pipe=7ffffff0"), PipeSettings(event.get())}) {
    VxTestSink sink;
    SourcePtr source = NewSource(kIpc);
    ASSERT_EQ(source->Open(settings.c_str(), &sink), 0);
    ASSERT_TRUE(sink.WaitEnded());
    EXPECT_EQ(Ipc(source)->GetPipe(), INVALID_HANDLE_VALUE);
    source.reset();
    EXPECT_EQ(sink.ended, 1);
    EXPECT_EQ(sink.writes + static_cast<int>(sink.formats.size()), 0);
  }
  EXPECT_TRUE(::SetEvent(event.get()));  // still ours, still open
}

TEST(IpcSourceOpen, SettingsGiveTheHexPipeAndTheStreamingSwitch) {
  struct Case {
    const char* format;  // %llx: the pipe's handle value
    int32_t expected;
    bool streaming = false;
  };
  for (const Case& c :
       {Case{"pipe=0x%llx", 0, false}, Case{"pipe=%llX&Streaming=2", 0, true},
        Case{"x?y=1&pipe=%llx&streaming=0", 0, false}, Case{"PIPE=+%llx&streaming", 0, true},
        Case{"pipe=%llx&streaming=no", 0, false}, Case{"pipe=%llx&name=%%FF%%C3%%BF", 0, false},
        Case{"pipe=0X%llx", -1}, Case{"pipe=0", -1}, Case{"pipe=", -1}, Case{"streaming=1", -1},
        Case{"", -1}, Case{"pipe=zz", -1}, Case{"pipe=0x", -1}}) {
    PipePair pipe;
    const HANDLE server = pipe.server.get();
    char text[96];
    std::snprintf(text, sizeof text, c.format,
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(server)));
    VxTestSink sink;
    SourcePtr source = NewSource(kIpc);
    ASSERT_EQ(source->Open(U16(text).c_str(), &sink), c.expected) << text;
    EXPECT_EQ(Ipc(source)->IsRunning(), c.expected == 0) << text;
    if (c.expected == 0) {
      (void)pipe.server.release();  // the source owns it now
      EXPECT_EQ(Ipc(source)->GetPipe(), server);
      EXPECT_EQ(Ipc(source)->IsStreaming(), c.streaming) << text;
      ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(0, 8))));
      if (!c.streaming) {
        EXPECT_EQ(pipe.ReadReply(), ResultReply('1')) << text;
      }
      EXPECT_TRUE(sink.WaitTotal(8)) << text;
    }
  }
}

TEST(IpcSourceOpen, SecondOpenFailsAndKeepsTheFirstSink) {
  PipePair pipe;
  PipePair other;
  VxTestSink first, second;
  SourcePtr source = NewSource(kIpc);
  ASSERT_EQ(source->Open(pipe.HandOver().c_str(), &first), 0);
  EXPECT_EQ(source->Open(PipeSettings(other.server.get()).c_str(), &second), -1);
  ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(0, 64))));
  EXPECT_EQ(pipe.ReadReply(), ResultReply('1'));
  source.reset();
  EXPECT_EQ(first.bytes, PatternBytes(0, 64));
  EXPECT_EQ(second.writes, 0);

  // A worker that cannot start fails Open, and that failed Open also counts.
  VxTestSink failed;
  SourcePtr unopened = NewSource(kIpc);
  PipePair third;
  int32_t result = 0;
  {
    // Nothing may create a thread meanwhile, not even a failing assertion.
    VxFunctionPatch noThreads(L"kernel32.dll", "CreateThread", reinterpret_cast<void*>(&NoThread));
    ASSERT_TRUE(noThreads.Installed());
    result = unopened->Open(third.HandOver().c_str(), &failed);
  }
  EXPECT_EQ(result, -1);
  EXPECT_FALSE(Ipc(unopened)->IsRunning());
  EXPECT_EQ(unopened->Open(PipeSettings(other.server.get()).c_str(), &failed), -1);
}

// Its name and the codes every source shares are the factory's business.
TEST(IpcSourceInfo, NoSettingsAndTheSixthSlotOfTheSourceTableHandlesAMessage) {
  SourcePtr source = NewSource(kIpc);
  EXPECT_EQ(source->GetInfo(2, nullptr), 0);
  EXPECT_EQ(source->Configure(0, nullptr), -1);
  // Called the way a caller of the raw table would: slot 5, `this` first.
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
