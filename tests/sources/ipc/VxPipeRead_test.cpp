#include "sources/ipc/VxPipeRead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "tests/sources/ipc/VxIpcTestSupport.h"

using vxtest::ElapsedMs;
using vxtest::PipePair;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = static_cast<uint8_t>(seed + i * 7);
  return v;
}

// After a read gave up, the pipe must still deliver the next message whole:
// the cancelled read neither consumed nor split it.
void ExpectNextMessageIntact(PipePair& pipe) {
  const auto message = Bytes(300, 9);
  ASSERT_TRUE(pipe.Write(message));
  std::vector<uint8_t> in(1000, 0xEE);
  uint32_t got = 0;
  ASSERT_TRUE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 1000, &got, nullptr));
  ASSERT_EQ(got, 300u);
  EXPECT_TRUE(std::equal(message.begin(), message.end(), in.begin()));
}

}  // namespace

TEST(PipeRead, ReadsOneWholeMessagePerCall) {
  PipePair pipe;
  const auto a = Bytes(1, 1), b = Bytes(4000, 2), c = Bytes(16, 3);
  ASSERT_TRUE(pipe.Write(a) && pipe.Write(b) && pipe.Write(c));
  std::vector<uint8_t> in(8192);
  for (const auto* expected : {&a, &b, &c}) {
    uint32_t got = 0;
    ASSERT_TRUE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 8192, &got, nullptr));
    ASSERT_EQ(got, expected->size());
    EXPECT_TRUE(std::equal(expected->begin(), expected->end(), in.begin()));
  }
}

TEST(PipeRead, CompletesAPendingReadWhenTheMessageArrives) {
  PipePair pipe;
  VxHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const auto message = Bytes(5000, 4);
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the read go pending
    pipe.Write(message);
  });
  std::vector<uint8_t> in(65536);
  uint32_t got = 0;
  const bool ok = VxReadFileWithTimeout(pipe.server.get(), in.data(), 65536, &got, stop.get());
  writer.join();
  ASSERT_TRUE(ok);
  ASSERT_EQ(got, message.size());
  EXPECT_TRUE(std::equal(message.begin(), message.end(), in.begin()));
}

TEST(PipeRead, QuietWriterTimesOutAndTheReadIsCancelled) {
  PipePair pipe;
  VxHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::vector<uint8_t> in(1000, 0xAB);
  uint32_t got = 777;
  const auto start = Clock::now();
  ::SetLastError(0);
  EXPECT_FALSE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 1000, &got, stop.get()));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));  // the cancelled read's
  const auto elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 2300);
  EXPECT_LT(elapsed, 15000);
  EXPECT_EQ(got, 777u);
  // A message written now goes to the next read, not into the abandoned buffer.
  ExpectNextMessageIntact(pipe);
  EXPECT_EQ(in, std::vector<uint8_t>(1000, 0xAB));
}

TEST(PipeRead, StopEventAbandonsAPendingReadPromptly) {
  PipePair pipe;
  VxHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ::SetEvent(stop.get());
  });
  std::vector<uint8_t> in(1000, 0xAB);
  const auto start = Clock::now();
  EXPECT_FALSE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 1000, nullptr, stop.get()));
  const auto elapsed = ElapsedMs(start);
  stopper.join();
  EXPECT_LT(elapsed, 2000);  // well before the 2,500 ms limit
  ExpectNextMessageIntact(pipe);
  EXPECT_EQ(in, std::vector<uint8_t>(1000, 0xAB));

  // A stop that is already signalled when nothing is waiting ends the read at once.
  const auto again = Clock::now();
  EXPECT_FALSE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 1000, nullptr, stop.get()));
  EXPECT_LT(ElapsedMs(again), 2000);
}

TEST(PipeRead, DataArrivingWithStopSignalledFailsWithOperationAborted) {
  PipePair pipe;
  VxHandle stop(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  const auto message = Bytes(64, 5);
  ASSERT_TRUE(pipe.Write(message));
  std::vector<uint8_t> in(1000);
  uint32_t got = 0;
  ::SetLastError(0);
  EXPECT_FALSE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 1000, &got, stop.get()));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  EXPECT_EQ(got, 64u);  // the count is filled in all the same
  EXPECT_TRUE(std::equal(message.begin(), message.end(), in.begin()));
}

TEST(PipeRead, MessageLargerThanTheBufferFailsWithMoreData) {
  PipePair pipe;
  std::vector<uint8_t> in(100);
  // Already waiting in the pipe.
  ASSERT_TRUE(pipe.Write(Bytes(101, 6)));
  EXPECT_FALSE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 100, nullptr, nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));

  // Arriving while the read is pending.
  PipePair pending;
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pending.Write(Bytes(5000, 7));
  });
  EXPECT_FALSE(VxReadFileWithTimeout(pending.server.get(), in.data(), 100, nullptr, nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  writer.join();
}

TEST(PipeRead, InvalidHandleFailsWithoutTouchingAnything) {
  uint32_t got = 5;
  ::SetLastError(12345);  // no platform call may change it
  EXPECT_FALSE(VxReadFileWithTimeout(INVALID_HANDLE_VALUE, &got, 4, &got, nullptr));
  EXPECT_EQ(::GetLastError(), 12345u);
  EXPECT_EQ(got, 5u);
}

TEST(PipeRead, NothingToReadSucceedsWithoutReading) {
  PipePair pipe;
  const auto message = Bytes(10, 8);
  ASSERT_TRUE(pipe.Write(message));
  uint32_t got = 5;
  EXPECT_TRUE(VxReadFileWithTimeout(pipe.server.get(), nullptr, 0, &got, nullptr));
  EXPECT_TRUE(VxReadFileWithTimeout(pipe.server.get(), nullptr, -1, &got, nullptr));
  EXPECT_EQ(got, 5u);
  // The message is still there for a real read.
  std::vector<uint8_t> in(100);
  ASSERT_TRUE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 100, &got, nullptr));
  EXPECT_EQ(got, 10u);
}

TEST(PipeRead, ClosedWriterEndsReadsImmediatelyAndWhilePending) {
  PipePair pipe;
  std::vector<uint8_t> in(100);
  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pipe.client.reset();
  });
  const auto start = Clock::now();
  EXPECT_FALSE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 100, nullptr, nullptr));
  EXPECT_LT(ElapsedMs(start), 2000);
  closer.join();
  EXPECT_FALSE(VxReadFileWithTimeout(pipe.server.get(), in.data(), 100, nullptr, nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
}

TEST(PipeRead, NotAPipeFailsWithInvalidHandle) {
  VxHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::vector<uint8_t> in(100);
  EXPECT_FALSE(VxReadFileWithTimeout(event.get(), in.data(), 100, nullptr, nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(VxReadFileWithTimeout(reinterpret_cast<HANDLE>(0x7FFFFFF0), in.data(), 100, nullptr,
                                     nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
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
