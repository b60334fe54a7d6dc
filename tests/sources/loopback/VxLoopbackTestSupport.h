// Test helpers for the loopback source: the test endpoint with a sink that
// checks what arrives against its signal, and a source opened and deleted at
// once with its capture log.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "live_Main/boundary/IVxAudioLive.h"
#include "reference/host/VxProcessProbe.h"
#include "testdevices/endpoint/VxTestEndpointControl.h"
#include "tests/support/VxTestSink.h"
#include "tests/support/VxToolsTestEnv.h"

namespace vxtest {

// A sink that checks every block against the endpoint's signal for `config`
// as it comes (long streams are not kept): whole frames, byte exact, whatever
// the packets' flags said.
inline VxTestSink EndpointSink(const VxTestEndpointConfig& config) {
  return VxTestSink([config](uint64_t offset, const void* data, size_t bytes) {
    const uint32_t align = config.BlockAlign();
    if (offset % align != 0 || bytes % align != 0)
      return false;
    const auto expected = VxTestEndpointControl::ExpectedBytes(
        config, offset / align, static_cast<uint32_t>(bytes / align));
    return expected.size() == bytes && std::memcmp(expected.data(), data, bytes) == 0;
  });
}

// Calls a loopback stream may not make: a set flag, a stream end (the source
// never ends one), a negative byte count, a write before the format, or any
// call after a Write of zero bytes (a stop that ended the wait on an empty
// endpoint writes one, last).
inline int StrayCalls(const VxTestSink& sink) {
  const auto& b = sink.blockBytes;
  const auto empty = std::find(b.begin(), b.end(), 0);
  return sink.flagSet + sink.ended + sink.writesBeforeFormat +
         static_cast<int>(std::count_if(b.begin(), b.end(), [](int32_t n) { return n < 0; })) +
         (empty == b.end() ? 0 : static_cast<int>(b.end() - empty) - 1);
}
inline int EmptyWrites(const VxTestSink& sink) {
  return static_cast<int>(std::count(sink.blockBytes.begin(), sink.blockBytes.end(), 0));
}

// The record's lines of one event, in order.
inline std::vector<VxTestRecordLine> Events(const std::vector<VxTestRecordLine>& lines,
                                            const char* event) {
  std::vector<VxTestRecordLine> out;
  for (const VxTestRecordLine& line : lines)
    if (line.event == event)
      out.push_back(line);
  return out;
}

// User plus kernel time of the whole process, in milliseconds.
inline double ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) {
    return ((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 10000.0;
  };
  return ms(kernel) + ms(user);
}

// Opens a source on `sink`, expecting `opened`, and deletes it at once: that
// takes under 10 s, no block with audio arrives, and the capture's log runs
// from Start to Finish. Gives the messages logged in between.
inline std::vector<std::string> OpenAndDelete(VxTestSink& sink, int32_t opened) {
  constexpr const char* kSource = "CLoopbackLivePlugin::LoopbackCapture";
  const size_t from = VxToolsTestEnv::Instance().LogLineCount();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(NewSource(kLoopback)->Open(u"", &sink), opened);
  EXPECT_LT(ElapsedMs(start), 10000);
  EXPECT_EQ(sink.writes - EmptyWrites(sink), 0);
  std::vector<std::string> log;
  for (const std::string& line : VxToolsTestEnv::Instance().FindLogLines(kSource, from)) {
    VxLogEntry entry;
    EXPECT_TRUE(VxParseLogLine(line, entry) && entry.category == 64 && entry.source == kSource)
        << line;
    log.push_back(entry.message);
  }
  if (log.size() < 2) {
    ADD_FAILURE() << log.size() << " capture log lines";
    return log;
  }
  EXPECT_EQ(log.front(), "Start");
  EXPECT_TRUE(std::regex_match(log.back(), std::regex(R"(Finish \(\d+ ms\))"))) << log.back();
  return {log.begin() + 1, log.end() - 1};
}

// The test endpoint installed as `config` says, with a fresh record of its
// own, and a sink that checks what arrives against its signal.
struct EndpointRun {
  explicit EndpointRun(const VxTestEndpointConfig& c) : config(Recorded(c)), endpoint(config) {}
  std::vector<VxTestRecordLine> Record() const {
    return VxTestEndpointControl::ReadRecord(config.recordFile);
  }
  static VxTestEndpointConfig Recorded(VxTestEndpointConfig c) {
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    c.recordFile =
        std::wstring(dir) + L"vxloop" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    EXPECT_TRUE(VxTestEndpointControl::ResetRecord(c.recordFile));
    return c;
  }

  const VxTestEndpointConfig config;
  VxTestEndpointScope endpoint;
  VxTestSink sink = EndpointSink(config);
};

}  // namespace vxtest
