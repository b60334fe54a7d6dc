// Stopping the IPC source and what a long life of create/open/stream/delete
// cycles leaves behind.
#include <windows.h>

#include <gtest/gtest.h>

#include "live_Main/boundary/IVxAudioLive.h"
#include "reference/host/VxProcessProbe.h"
#include "sources/ipc/CIPCLivePlugin.h"
#include "tests/sources/ipc/VxIpcTestSupport.h"

using namespace vxtest;
using Clock = std::chrono::steady_clock;

namespace {

// One full life of a source: open on a fresh pipe, a format and two blocks in
// the given mode, then either a "stop" or a deletion while a read is pending.
void OneCycle(int i) {
  PipePair pipe;
  VxTestSink sink;
  SourcePtr source = NewSource(kIpc);
  const bool streaming = i % 2 != 0;
  ASSERT_EQ(source->Open(pipe.HandOver(streaming ? "&streaming=1" : "").c_str(), &sink), 0);
  ASSERT_TRUE(pipe.Write(FormatMessage(48000, 16, 2)));
  for (int block = 0; block < 2; ++block)
    ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(block * 256, 256))));
  if (!streaming) {
    for (int reply = 0; reply < 3; ++reply)
      ASSERT_EQ(pipe.ReadReply(), ResultReply('1'));
  }
  if (i % 4 < 2) {
    ASSERT_TRUE(pipe.Write(Message("stop")));
    ASSERT_TRUE(sink.WaitEnded());
  } else {
    ASSERT_TRUE(sink.WaitTotal(512));
  }
  source.reset();
  ASSERT_EQ(sink.bytes, PatternBytes(0, 512));
}

}  // namespace

TEST(IpcSourceStop, DeletingDuringAPendingReadReturnsPromptlyWithoutSourceEnded) {
  for (int round = 0; round < 5; ++round) {
    PipePair pipe;
    VxTestSink sink;
    SourcePtr source = NewSource(kIpc);
    ASSERT_EQ(source->Open(pipe.HandOver().c_str(), &sink), 0);
    ASSERT_TRUE(pipe.Write(FormatMessage(44100, 16, 2)));
    ASSERT_EQ(pipe.ReadReply(), ResultReply('1'));  // the worker is now back in a read
    const auto start = Clock::now();
    source.reset();
    EXPECT_LT(ElapsedMs(start), 1000);
    EXPECT_EQ(sink.ended, 0);
    // The source flushed, disconnected and closed its end.
    char c;
    DWORD n = 0;
    EXPECT_FALSE(::WriteFile(pipe.client.get(), &c, 1, &n, nullptr));
  }
}

TEST(IpcSourceStop, QuietProducerEndsTheStreamOnceAfterTheReadTimeLimit) {
  PipePair pipe;
  VxTestSink sink;
  SourcePtr source = NewSource(kIpc);
  ASSERT_EQ(source->Open(pipe.HandOver().c_str(), &sink), 0);
  ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(0, 32))));
  ASSERT_EQ(pipe.ReadReply(), ResultReply('1'));
  const auto lastMessage = Clock::now();
  ASSERT_TRUE(sink.WaitEnded(20000));
  const auto quiet = ElapsedMs(lastMessage);  // the wait wakes as the stream ends
  EXPECT_GE(quiet, 2000);  // the 2,500 ms limit, less this thread's own delay in noticing the reply
  EXPECT_LT(quiet, 15000);
  // The ended stream keeps the pipe until deletion; nothing more is read from it.
  ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(32, 32))));
  source.reset();
  EXPECT_EQ(sink.ended, 1);
  EXPECT_EQ(sink.bytes, PatternBytes(0, 32));
}

TEST(IpcSourceStop, ClosedPipeEndsTheStreamOnceWithEverythingSentBefore) {
  PipePair pipe;
  VxTestSink sink;
  SourcePtr source = NewSource(kIpc);
  ASSERT_EQ(source->Open(pipe.HandOver("&streaming=1").c_str(), &sink), 0);
  for (int block = 0; block < 3; ++block)
    ASSERT_TRUE(pipe.Write(Message("data", PatternBytes(block * 1000, 1000))));
  pipe.client.reset();
  ASSERT_TRUE(sink.WaitEnded(20000));
  source.reset();
  EXPECT_EQ(sink.ended, 1);
  EXPECT_EQ(sink.bytes, PatternBytes(0, 3000));
}

TEST(IpcSourceLifetime, RepeatedCyclesLeaveThreadsHandlesAndMemoryAsTheyWere) {
  for (int i = 0; i < 20; ++i)
    OneCycle(i);  // warm up the runtime's own caches
  const VxProcessProbe before = VxProcessProbe::Take();
  for (int i = 0; i < 300; ++i) {
    OneCycle(i);
    if (HasFatalFailure())
      return;
  }
  EXPECT_TRUE(VxProcessProbe::ThreadsSettleAtMost(before.threads))
      << VxProcessProbe::ThreadCount() << " threads, " << before.threads << " before";
  const VxProcessProbe after = VxProcessProbe::Take();
  EXPECT_LE(after.handleSlot, before.handleSlot + 5);
  // A leaked 1 MiB read buffer per cycle would be 300 MiB; allow allocator slack.
  EXPECT_LT(after.privateBytes, before.privateBytes + 8 * 1024 * 1024)
      << "before " << before.privateBytes << " after " << after.privateBytes;
}
