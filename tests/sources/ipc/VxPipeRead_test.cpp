#include "sources/ipc/VxPipeRead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "tests/sources/ipc/VxIpcTestSupport.h"

using vxtest::ElapsedMs;
using vxtest::PatternBytes;
using vxtest::PipePair;
using Clock = std::chrono::steady_clock;

namespace {

// Runs `action` on another thread after the read has had time to go pending.
std::thread Later(std::function<void()> action) {
  return std::thread([action] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    action();
  });
}

}  // namespace

// A quiet producer (the 2,500 ms limit) and a stop request both abandon the
// pending read: false with the cancelled read's own error, the buffer never
// written, and the next message intact.
TEST(PipeRead, TimeOutAndStopCancelThePendingRead) {
  for (const bool byStop : {false, true}) {
    SCOPED_TRACE(byStop ? "stop event" : "time-out");
    PipePair pipe;
    VxHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread stopper;
    if (byStop)
      stopper = Later([&] { ::SetEvent(stop.get()); });
    std::vector<uint8_t> in(1000, 0xAB);
    uint32_t got = 777;
    const auto start = Clock::now();
    ::SetLastError(0);
    EXPECT_FALSE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 1000, &got, stop.get()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    const auto elapsed = ElapsedMs(start);
    if (byStop) {
      stopper.join();
      EXPECT_LT(elapsed, 2000);
    } else {
      EXPECT_GE(elapsed, 2300);
      EXPECT_LT(elapsed, 15000);
    }
    EXPECT_EQ(got, 777u);
    EXPECT_EQ(in, std::vector<uint8_t>(1000, 0xAB));
    // The cancelled read neither consumed nor split the next message.
    const auto message = PatternBytes(9, 300);
    ASSERT_TRUE(pipe.Write(message));
    ASSERT_TRUE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 1000, &got, nullptr));
    ASSERT_EQ(got, 300u);
    EXPECT_TRUE(std::equal(message.begin(), message.end(), in.begin()));
  }
}

TEST(PipeRead, DataArrivingWithStopSignalledFailsWithOperationAborted) {
  PipePair pipe;
  VxHandle stop(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  const auto message = PatternBytes(5, 64);
  ASSERT_TRUE(pipe.Write(message));
  std::vector<uint8_t> in(1000);
  uint32_t got = 0;
  ::SetLastError(0);
  EXPECT_FALSE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 1000, &got, stop.get()));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  EXPECT_EQ(got, 64u);  // the count is filled in all the same
  EXPECT_TRUE(std::equal(message.begin(), message.end(), in.begin()));
  // With nothing in the pipe the signalled stop ends the read at once.
  const auto start = Clock::now();
  EXPECT_FALSE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 1000, nullptr, stop.get()));
  EXPECT_LT(ElapsedMs(start), 2000);
}

// Failures keep the platform's error: an oversized message waiting or
// arriving, a writer that closes while the read waits and after, a handle that
// is not a pipe.
TEST(PipeRead, FailuresLeaveThePlatformsError) {
  std::vector<uint8_t> in(100);
  PipePair waiting;
  ASSERT_TRUE(waiting.Write(PatternBytes(6, 101)));
  EXPECT_FALSE(VxReadFileWithTimeout(waiting.server.get(), in.data(), 100, nullptr, nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));

  PipePair arriving;
  std::thread writer = Later([&] { arriving.Write(PatternBytes(7, 5000)); });
  EXPECT_FALSE(VxReadFileWithTimeout(arriving.server.get(), in.data(), 100, nullptr, nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  writer.join();

  PipePair closing;
  std::thread closer = Later([&] { closing.client.reset(); });
  const auto start = Clock::now();
  EXPECT_FALSE(VxReadFileWithTimeout(closing.server.get(), in.data(), 100, nullptr, nullptr));
  EXPECT_LT(ElapsedMs(start), 2000);
  closer.join();
  EXPECT_FALSE(VxReadFileWithTimeout(closing.server.get(), in.data(), 100, nullptr, nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));

  VxHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  for (HANDLE notAPipe : {event.get(), reinterpret_cast<HANDLE>(0x7FFFFFF0)}) {
    EXPECT_FALSE(VxReadFileWithTimeout(notAPipe, in.data(), 100, nullptr, nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
}

TEST(PipeRead, InvalidHandleAndNothingToReadTouchNothing) {
  uint32_t got = 5;
  ::SetLastError(12345);  // no platform call may change it
  EXPECT_FALSE(VxReadFileWithTimeout(INVALID_HANDLE_VALUE, &got, 4, &got, nullptr));
  EXPECT_EQ(::GetLastError(), 12345u);
  PipePair pipe;
  ASSERT_TRUE(pipe.Write(PatternBytes(8, 10)));
  EXPECT_TRUE(VxReadFileWithTimeout(pipe.server.get(), nullptr, 0, &got, nullptr));
  EXPECT_TRUE(VxReadFileWithTimeout(pipe.server.get(), nullptr, -1, &got, nullptr));
  EXPECT_EQ(got, 5u);
  // The message is still there for a real read.
  std::vector<uint8_t> in(100);
  ASSERT_TRUE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 100, &got, nullptr));
  EXPECT_EQ(got, 10u);
}

TEST(PipeShutdown, ClientSeesTheEndAfterReadingWhatWasSent) {
  PipePair pipe;
  const std::string reply = vxtest::ResultReply('0');
  ASSERT_TRUE(VxWritePipeReply(pipe.server.get(), reply.data(), reply.size()));
  std::thread reader([&] { EXPECT_EQ(pipe.ReadReply(), reply); });  // the flush waits for this
  VxShutdownPipe(pipe.server.release());
  reader.join();
  char c;
  DWORD n = 0;
  EXPECT_FALSE(::ReadFile(pipe.client.get(), &c, 1, &n, nullptr));
  const DWORD e = ::GetLastError();
  EXPECT_TRUE(e == ERROR_PIPE_NOT_CONNECTED || e == ERROR_BROKEN_PIPE) << e;
}
