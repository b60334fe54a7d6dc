// The IPC source end to end: real pipes, a worker thread, the producer program
// as a second process, and a sink that records what arrives.
#include "sources/ipc/CIPCLivePlugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "tests/sources/ipc/VxIpcTestSupport.h"

using namespace vxtest;

namespace {

struct SourceDeleter {
  void operator()(IVxAudioLive* p) const { VxDeleteSource(p); }
};
using SourcePtr = std::unique_ptr<IVxAudioLive, SourceDeleter>;

SourcePtr NewSource() {
  return SourcePtr(VxCreateIpcLivePlugin());
}

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
  EXPECT_EQ(static_cast<uint64_t>(sink.writes), (bytes + messageBytes - 1) / messageBytes);
  EXPECT_EQ(sink.flagSet, streaming ? 0 : sink.writes);
  ASSERT_EQ(sink.formats.size(), 1u);
  EXPECT_EQ(sink.formats[0].sampleRate, 192000u);
  EXPECT_EQ(sink.formats[0].channels, 32);
  EXPECT_EQ(sink.callerThreads, 1);
  EXPECT_FALSE(sink.calledFromTestThread);
  EXPECT_NE(producer.Output().find("refused: 0"), std::string::npos) << producer.Output();
}

// Replaces the scheduler entry points of the system's Avrt.dll in this process
// with recorders, so that the task a worker registers under can be seen.
class SchedulerHook {
 public:
  SchedulerHook() : avrt_(::LoadLibraryExW(L"Avrt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    Patch("AvSetMmThreadCharacteristicsW", reinterpret_cast<void*>(&Set), set_);
    Patch("AvRevertMmThreadCharacteristics", reinterpret_cast<void*>(&Revert), revert_);
  }
  ~SchedulerHook() {
    Restore(set_);
    Restore(revert_);
  }
  bool Installed() const { return set_.at && revert_.at; }
  static std::wstring TaskName() {
    std::lock_guard<std::mutex> lock(mutex_);
    return task_;
  }
  static int Reverts() { return reverts_; }
  static constexpr uintptr_t kTask = 0x7A5C;

 private:
  struct Saved {
    uint8_t* at = nullptr;
    uint8_t bytes[12] = {};
  };
  static HANDLE WINAPI Set(LPCWSTR name, LPDWORD index) {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = name ? name : L"(null)";
    *index = 1;
    return reinterpret_cast<HANDLE>(kTask);
  }
  static BOOL WINAPI Revert(HANDLE task) {
    reverts_ += task == reinterpret_cast<HANDLE>(kTask);
    return TRUE;
  }
  // mov rax, target; jmp rax
  void Patch(const char* name, void* target, Saved& saved) {
    auto* at =
        reinterpret_cast<uint8_t*>(reinterpret_cast<void*>(::GetProcAddress(avrt_.get(), name)));
    if (!at)
      return;
    uint8_t code[12] = {0x48, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xE0};
    std::memcpy(code + 2, &target, 8);
    std::memcpy(saved.bytes, at, sizeof code);
    if (Write(at, code))
      saved.at = at;
  }
  static void Restore(Saved& saved) {
    if (saved.at)
      Write(saved.at, saved.bytes);
  }
  static bool Write(uint8_t* at, const uint8_t (&code)[12]) {
    DWORD old = 0;
    if (!::VirtualProtect(at, sizeof code, PAGE_EXECUTE_READWRITE, &old))
      return false;
    std::memcpy(at, code, sizeof code);
    ::VirtualProtect(at, sizeof code, old, &old);
    return ::FlushInstructionCache(::GetCurrentProcess(), at, sizeof code) != FALSE;
  }
  VxModule avrt_;
  Saved set_, revert_;
  static inline std::mutex mutex_;
  static inline std::wstring task_;
  static inline std::atomic<int> reverts_{0};
};

}  // namespace

TEST(IpcSourceStream, BothModesDeliverALongStreamByteExact) {
  StreamThroughProducer(false, 16ull << 20, 4093);     // odd, small messages, each answered
  StreamThroughProducer(true, 128ull << 20, 1048560);  // largest messages
}

TEST(IpcSourceReplies, EachMessageGetsOneReplyOrNoneWhenStreaming) {
  for (bool streaming : {false, true}) {
    SCOPED_TRACE(streaming);
    PipePair pipe;
    RecordingSink sink;
    SourcePtr source = NewSource();
    ASSERT_EQ(source->Open(pipe.HandOver(streaming ? "&streaming" : "").c_str(), &sink), 0);
    // Tags and the sink's verdicts are the message unit's business; here: one
    // reply per message, in order, and "strt"/"stop" never answered.
    const std::vector<std::pair<std::vector<uint8_t>, char>> exchange = {
        {FormatMessage(48000, 16, 2), '1'},
        {Message("strt"), 0},
        {Message("DATA", PatternBytes(0, 8)), '0'},
        {Message("data", PatternBytes(0, 4000)), '1'},
        {Message("data", PatternBytes(0, 7), 8), '0'},
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
  ASSERT_TRUE(hook.Installed());
  const int reverts = SchedulerHook::Reverts();
  PipePair pipe;
  RecordingSink sink;
  SourcePtr source = NewSource();
  ASSERT_EQ(source->Open(pipe.HandOver().c_str(), &sink), 0);
  ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(0, 8))));
  ASSERT_EQ(pipe.ReadReply(), ResultReply('1'));  // the worker has registered by now
  EXPECT_EQ(SchedulerHook::TaskName(), L"Pro Audio");
  EXPECT_EQ(::GetThreadPriority(Ipc(source)->GetHandle()), THREAD_PRIORITY_TIME_CRITICAL);
  source.reset();
  EXPECT_EQ(SchedulerHook::Reverts(), reverts + 1);
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

TEST(IpcSourceMalformed, HandleThatIsNoPipeEndsTheStreamAndIsNotClosed) {
  // A value that is no handle at all, and a real handle of another kind.
  VxHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  for (const std::u16string& settings : {U16("pipe=7ffffff0"), PipeSettings(event.get())}) {
    RecordingSink sink;
    SourcePtr source = NewSource();
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
    const char* format;
    int32_t expected;
    bool streaming;
  };
  for (const Case& c :
       {Case{"pipe=0x%llx", 0, false}, Case{"pipe=%llX&Streaming=2", 0, true},
        Case{"x?y=1&pipe=%llx&streaming=0", 0, false}, Case{"PIPE=+%llx&streaming", 0, true},
        Case{"pipe=%llx&streaming=no", 0, false}, Case{"pipe=0X%llx", -1, false}}) {
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
      EXPECT_EQ(Ipc(source)->GetPipe(), server);
      EXPECT_EQ(Ipc(source)->IsStreaming(), c.streaming) << text;
      ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(0, 8))));
      if (!c.streaming) {
        EXPECT_EQ(pipe.ReadReply(), ResultReply('1')) << text;
      }
      EXPECT_TRUE(sink.WaitTotal(8)) << text;
    }
  }
  for (const char* text : {"pipe=0", "pipe=", "streaming=1", "", "pipe=zz", "pipe=0x"}) {
    RecordingSink sink;
    SourcePtr source = NewSource();
    EXPECT_EQ(source->Open(U16(text).c_str(), &sink), -1) << text;
    EXPECT_FALSE(Ipc(source)->IsRunning()) << text;
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
  EXPECT_EQ(Ipc(unopened)->GetPipe(), INVALID_HANDLE_VALUE);
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
