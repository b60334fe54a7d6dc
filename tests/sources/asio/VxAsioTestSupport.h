// Test helpers for the ASIO source: the test driver's configuration and call
// log, a sink that checks what arrives against the driver's signal, and the
// plug-in's log lines of one stretch of a test.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/VxHandle.h"
#include "foundation/VxUrl.h"
#include "live_Main/boundary/IVxAudioLive.h"
#include "live_Main/host/VxHostLibraries.h"
#include "sources/asio/CASIOLivePlugin.h"
#include "testdevices/asio/VxTestAsioControl.h"
#include "tests/support/VxToolsTestEnv.h"

namespace vxasiotest {

inline constexpr DWORD kWaitMs = 60000;

// Records formats and checks every block against the driver's signal.
class CheckingSink final : public IVxAudioLiveSink {
 public:
  CheckingSink(ASIOSampleType type, int firstChannel, int channels)
      : checker_(type, firstChannel, channels),
        wanted_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  int32_t SetFormat(const VxAudioFormat* format) noexcept override {
    std::lock_guard<std::mutex> lock(mutex_);
    formats.push_back(*format);
    return setFormatResult;
  }
  void Write(const void* data, int32_t byteCount, bool flag) noexcept override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++writes;
    flags += flag ? 1 : 0;
    bytes += byteCount;
    checker_.Check(data, static_cast<size_t>(byteCount));
    if (writes >= writesWanted)
      ::SetEvent(wanted_.get());
  }
  void SourceEnded() noexcept override {}

  bool WaitForWrites(int count) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      writesWanted = count;
      if (writes >= count)
        return true;
    }
    return ::WaitForSingleObject(wanted_.get(), kWaitMs) == WAIT_OBJECT_0;
  }
  uint64_t Mismatches() {
    std::lock_guard<std::mutex> lock(mutex_);
    return checker_.Mismatches();
  }

  std::vector<VxAudioFormat> formats;
  int32_t setFormatResult = 0;  // anything but 0 refuses the format
  int writes = 0;
  int flags = 0;
  uint64_t bytes = 0;

 private:
  std::mutex mutex_;
  VxTestAsioSignalChecker checker_;
  VxHandle wanted_;
  int writesWanted = 1 << 30;
};

struct SourceDeleter {
  void operator()(IVxAudioLive* p) const { VxDeleteSource(p); }
};
using SourcePtr = std::unique_ptr<IVxAudioLive, SourceDeleter>;

inline SourcePtr NewSource() {
  IVxAudioLive* source = nullptr;
  EXPECT_EQ(GetLivePlugin(0, &source), 0);
  return SourcePtr(source);
}
inline CASIOLivePlugin* AsAsio(const SourcePtr& p) {
  return static_cast<CASIOLivePlugin*>(p.get());
}

// "deviceid=<driver index's class ID>&samplerate=..&channels=..&channelshift=.."
std::u16string Parameters(int driver, int rate, int channels, int shift);
// "source|message" of every ASIO source log line from line `from` on, in
// order; each must be of category 64.
std::vector<std::string> PluginLogLines(size_t from);

// From now on, on this thread, the allocation after `count` more succeed
// throws std::bad_alloc, and so does every one after it; -1 ends that.
void FailAllocationsAfter(long count);

// A translation table for the reference tools library whose entries are keyed
// on the unformatted texts and hold "%%": a text formatted before it is
// translated is not found, and one read as a format a second time loses its
// "%". Switched on for the lifetime of the object.
class Translations {
 public:
  Translations();
  ~Translations();
  // "<prefix> <formatted translation>" of the rate and channel messages.
  static std::string Rate(const char* rate);
  static std::string Channels(const char* asked, const char* has);
};

// Registers the test driver in this prefix, keeps its configuration apart
// under a root of this process, and initialises COM on the test thread.
class AsioSourceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Saves `config` for driver `index` with a fresh call log; returns it.
  VxTestAsioConfig& Configure(int index, VxTestAsioConfig config);
  std::vector<VxTestAsioLogLine> CallLog(int index) const;
  static VxTestAsioConfig FastDriver(ASIOSampleType type, long inputs, long switches);

  VxTestAsioConfig configs_[kVxTestAsioDriverCount];
};

// Checks the driver's call log: no FAULT line and the last reference gone.
void ExpectCleanDriverLog(const std::vector<VxTestAsioLogLine>& log);

}  // namespace vxasiotest
