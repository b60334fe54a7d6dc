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
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "foundation/VxHandle.h"
#include "live_Main/boundary/IVxAudioLive.h"
#include "live_Main/boundary/IVxAudioLiveSink.h"
#include "live_Main/boundary/VxAudioFormat.h"
#include "testdevices/endpoint/VxTestEndpointControl.h"
#include "tests/support/VxProcessProbe.h"
#include "tests/support/VxTestSink.h"
#include "tests/support/VxToolsTestEnv.h"

namespace vxtest {

// Checks every Write against the endpoint's signal for `config` as it comes
// (long streams are not kept), whatever the packets' flags said, and notes the
// thread, its priority and its COM state on every call. A Write of zero bytes
// (a stop ended the wait on an empty endpoint) may only be the last call.
class LoopbackSink final : public IVxAudioLiveSink, public VxSinkCallers {
 public:
  explicit LoopbackSink(const VxTestEndpointConfig& config) : config_(config) {}

  int32_t SetFormat(const VxAudioFormat* format) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Note();
    formats.push_back(*format);
    return refuseFormat ? -1 : 0;
  }
  void Write(const void* data, int32_t byteCount, bool flag) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Note();
    ++writes;
    if (zeroWrites > 0)
      ++badWrites;
    if (byteCount == 0 && !flag) {
      ++zeroWrites;
      return;
    }
    if (flag || byteCount < 0 || !data || formats.empty() ||
        byteCount % formats.back().blockAlign != 0) {
      ++badWrites;
    } else {
      const uint32_t frames = static_cast<uint32_t>(byteCount) / formats.back().blockAlign;
      writeFrames.push_back(frames);
      const std::vector<uint8_t> expected =
          VxTestEndpointControl::ExpectedBytes(config_, this->frames, frames);
      if (expected.size() != static_cast<size_t>(byteCount) ||
          std::memcmp(expected.data(), data, expected.size()) != 0)
        ++mismatches;
      this->frames += frames;
    }
    cv_.notify_all();
  }
  // The loopback source never ends a stream: counted as a stray call.
  void SourceEnded() override { ++badWrites; }

  bool WaitFrames(uint64_t n, int timeoutMs = 60000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return frames >= n; });
  }

  bool refuseFormat = false;
  std::vector<VxAudioFormat> formats;
  std::vector<uint32_t> writeFrames;
  uint64_t frames = 0;
  int writes = 0, badWrites = 0, mismatches = 0, zeroWrites = 0;

 private:
  VxTestEndpointConfig config_;
  std::mutex mutex_;
  std::condition_variable cv_;
};

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

inline IVxAudioLive* CreateSource() {
  IVxAudioLive* source = nullptr;
  EXPECT_EQ(GetLivePlugin(1, &source), 0);
  return source;
}

// Opens a source on `sink`, expecting `opened`, and deletes it at once: that
// takes under 10 s, no block with audio arrives, and the capture's log runs
// from Start to Finish. Gives the messages logged in between.
inline std::vector<std::string> OpenAndDelete(LoopbackSink& sink, int32_t opened) {
  constexpr const char* kSource = "CLoopbackLivePlugin::LoopbackCapture";
  const size_t from = VxToolsTestEnv::Instance().LogLineCount();
  IVxAudioLive* source = CreateSource();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(source->Open(u"", &sink), opened);
  VxDeleteSource(source);
  EXPECT_LT(ElapsedMs(start), 10000);
  EXPECT_EQ(sink.writes - sink.zeroWrites, 0);
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
  LoopbackSink sink{config};
};

}  // namespace vxtest
