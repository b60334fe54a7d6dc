// Test helpers for the ASIO source: the test driver's configuration and call
// log, a sink that checks what arrives against the driver's signal, and the
// plug-in's log lines of one stretch of a test.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/VxUrl.h"
#include "live_Main/boundary/IVxAudioLive.h"
#include "live_Main/host/VxHostLibraries.h"
#include "sources/asio/CASIOLivePlugin.h"
#include "testdevices/asio/VxTestAsioControl.h"
#include "tests/support/VxTestSink.h"
#include "tests/support/VxToolsTestEnv.h"

namespace vxasiotest {

using vxtest::kAsio;
using vxtest::NewSource;
using vxtest::RunSource;
using vxtest::SourcePtr;
using vxtest::VxTestSink;
using vxtest::Writes;

// A sink that checks every block against the driver's signal, from input
// `firstChannel` on.
inline VxTestSink CheckingSink(ASIOSampleType type, int firstChannel, int channels) {
  auto checker = std::make_shared<VxTestAsioSignalChecker>(type, firstChannel, channels);
  return VxTestSink([checker](uint64_t, const void* data, size_t bytes) {
    const uint64_t before = checker->Mismatches();
    checker->Check(data, bytes);
    return checker->Mismatches() == before;
  });
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
struct Translations {
  Translations();
  ~Translations();
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
