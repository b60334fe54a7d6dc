// The ASIO source against the ways real drivers differ, deleting sources while
// their driver switches as fast as it can, and running out of memory.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>

#include "reference/host/VxProcessProbe.h"
#include "sources/asio/CASIOLivePlugin.h"
#include "tests/reference/host/VxHostRun.h"
#include "tests/sources/asio/VxAsioTestSupport.h"

using namespace vxasiotest;

namespace {

constexpr int kSwitches = 16;

}  // namespace

TEST_F(AsioSourceTest, WorksWithEachWayARealDriverBehaves) {
  struct Case {
    const char* name;
    void (*configure)(VxTestAsioConfig&);
    int rate;
    const char* expectedCall;  // a call log line that shows the behaviour
    bool silentHalf = false;   // a channel reads as silence in every other block
  } cases[] = {
      {"only bufferSwitch",
       [](VxTestAsioConfig& c) { c.switchCallback = VxTestAsioSwitchCallback::kBufferSwitch; },
       48000, "bufferSwitch(0, 1) thread=driver"},
      {"only bufferSwitchTimeInfo",
       [](VxTestAsioConfig& c) { c.switchCallback = VxTestAsioSwitchCallback::kTimeInfo; }, 48000,
       "bufferSwitchTimeInfo(0, 1) thread=driver"},
      {"as the host answers", [](VxTestAsioConfig&) {}, 48000, "asioMessage("},
      {"first switch inside start()", [](VxTestAsioConfig& c) { c.firstSwitchInStart = true; },
       48000, "thread=caller"},
      {"stop() returns while a switch runs",
       [](VxTestAsioConfig& c) {
         c.stopWhileSwitching = true;
         c.switchLimit = 0;
       },
       48000, "LATE: "},
      {"one clock rate only", [](VxTestAsioConfig& c) { c.sampleRates = {88200}; }, 88200,
       "setSampleRate(88200) = 0"},
      {"one fixed buffer size",
       [](VxTestAsioConfig& c) {
         c.minBufferSize = c.maxBufferSize = c.preferredBufferSize = 96;
         c.granularity = 0;
       },
       48000, "createBuffers(4, 96,"},
      {"preferred size above the maximum",
       [](VxTestAsioConfig& c) {
         c.minBufferSize = 32;
         c.maxBufferSize = 100;
         c.preferredBufferSize = 1000;
       },
       48000, "createBuffers(4, 64,"},
      {"takes outputReady", [](VxTestAsioConfig& c) { c.outputReadyResult = ASE_OK; }, 48000,
       "outputReady() = 0"},
      // Acknowledged; the stream goes on in the format it announced.
      {"rate change and reset request mid-stream",
       [](VxTestAsioConfig& c) {
         c.runMessages = {{-1, 44100}, {kAsioResetRequest, 0}};
       },
       48000, "asioMessage(3, 0) = 1 thread=driver"},
      {"one buffer half missing",
       [](VxTestAsioConfig& c) {
         c.nullBufferChannel = 3;
         c.nullBufferHalves = 1;
       },
       48000, "createBuffers(4, 64,", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VxTestAsioConfig config = FastDriver(ASIOSTInt24LSB, 8, kSwitches);
    c.configure(config);
    Configure(2, config);
    VxTestSink sink = CheckingSink(ASIOSTInt24LSB, 2, 4);
    ASSERT_TRUE(RunSource(kAsio, Parameters(2, c.rate, 4, 2).c_str(), sink, Writes(kSwitches)));
    EXPECT_GE(sink.writes, kSwitches);
    EXPECT_EQ(sink.mismatches != 0, c.silentHalf);
    EXPECT_EQ(sink.formats.size(), 1u);
    const auto calls = CallLog(2);
    ExpectCleanDriverLog(calls);
    bool seen = false;
    for (const auto& line : calls)
      seen = seen || line.text.find(c.expectedCall) != std::string::npos;
    EXPECT_TRUE(seen) << "no call log line with " << c.expectedCall;
  }
}

TEST_F(AsioSourceTest, DeletingWhileTheDriverSwitchesFastLeavesNothingBehind) {
  constexpr int kRounds = 1000;
  auto round = [&](int i) {
    VxTestAsioConfig config = FastDriver(ASIOSTFloat32LSB, 8, 0);
    config.stopWhileSwitching = i % 2 == 1;
    config.firstSwitchInStart = i % 3 == 0;
    config.switchCallback =
        i % 4 < 2 ? VxTestAsioSwitchCallback::kBufferSwitch : VxTestAsioSwitchCallback::kTimeInfo;
    config.logFile = configs_[3].logFile;  // one log for every round
    ASSERT_TRUE(config.Save(3));
    VxTestSink sink = CheckingSink(ASIOSTFloat32LSB, 0, 8);
    ASSERT_TRUE(RunSource(kAsio, Parameters(3, 48000, 8, 0).c_str(), sink, Writes(1 + i % 3)));
    ASSERT_EQ(sink.mismatches, 0u);
  };
  Configure(3, FastDriver(ASIOSTFloat32LSB, 8, 0));
  // Warm up: the first rounds load the driver DLL and lazy system state.
  for (int i = 0; i < 5; ++i)
    round(i);
  const VxProcessProbe before = VxProcessProbe::Take();
  for (int i = 0; i < kRounds; ++i) {
    round(i);
    if (HasFatalFailure())
      return;
  }
  // The driver's threads end at the final release; give them a moment to leave.
  EXPECT_TRUE(VxProcessProbe::ThreadsSettleAtMost(before.threads));
  // Measured before the call log is read into memory.
  const VxProcessProbe after = VxProcessProbe::Take();
  EXPECT_LE(after.handleSlot, before.handleSlot + 4) << "handles before " << before.handleSlot;
  // A leak of one block per round (8 x 64 x 4 bytes) would add up to 2 MB;
  // Wine answers private bytes with 0, so its resident set counts too.
  EXPECT_LT(after.privateBytes, before.privateBytes + (1u << 20)) << "private bytes grew";
  EXPECT_LT(after.residentBytes, before.residentBytes + (1u << 20)) << "resident bytes grew";
  const auto calls = CallLog(3);
  ExpectCleanDriverLog(calls);
  EXPECT_EQ(VxTestAsioFind(calls, "created").size(), size_t{kRounds + 5});
  EXPECT_GE(VxTestAsioFind(calls, "LATE").size() + VxTestAsioFind(calls, "bufferSwitch").size(),
            1u);
}

// A switch that outlasts the delete's wait (the host's sink holds it 3 s,
// and stop() returns while it runs) must not call outputReady() once the
// driver's buffers or the driver itself are gone.
TEST_F(AsioSourceTest, ASwitchThatOutlastsTheDeleteNeverReachesTheReleasedDriver) {
  struct HoldingSink final : IVxAudioLiveSink {
    int32_t SetFormat(const VxAudioFormat*) noexcept override { return 0; }
    void Write(const void*, int32_t, bool) noexcept override {
      ++writes;
      if (hold.exchange(false)) {
        holding = true;
        ::Sleep(3000);
      }
    }
    void SourceEnded() noexcept override {}
    std::atomic<int> writes{0};
    std::atomic<bool> hold{false}, holding{false};
  } sink;
  VxTestAsioConfig config = FastDriver(ASIOSTInt32LSB, 2, 0);
  config.pace = VxTestAsioPace::kRealTime;
  config.outputReadyResult = ASE_OK;
  config.stopDuringSwitch = true;
  Configure(1, config);
  SourcePtr source = NewSource(kAsio);
  ASSERT_EQ(source->Open(Parameters(1, 48000, 2, 0).c_str(), &sink), 0);
  for (int i = 0; i < 500 && sink.writes < 4; ++i)
    ::Sleep(10);
  ASSERT_GE(sink.writes, 4);
  sink.hold = true;
  for (int i = 0; i < 500 && !sink.holding; ++i)
    ::Sleep(10);
  ASSERT_TRUE(sink.holding);
  source.reset();
  const auto calls = CallLog(1);
  ExpectCleanDriverLog(calls);
  const auto stops = VxTestAsioFind(calls, "stop");
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_NE(stops[0].text.find("returning while a switch runs"), std::string::npos)
      << "the switch did not outlast stop(): " << stops[0].text;
}

// Most drivers take one client per device, and a second instance of those
// that take more may drive the same hardware: a second source of the device
// is refused cleanly and the first streams on, whoever is deleted first.
TEST_F(AsioSourceTest, ASecondSourceOfADeviceIsRefusedAndTheFirstStreamsOn) {
  const char* const kRefused = "Open|ASIOInit(...) failed with code -1000 and message";
  for (const bool shared : {false, true}) {
    SCOPED_TRACE(shared ? "shared hardware" : "single client");
    VxTestAsioConfig config = FastDriver(ASIOSTInt32LSB, 8, 0);
    config.singleClient = !shared;
    config.sharedHardware = shared;
    Configure(4, config);
    VxTestSink first = CheckingSink(ASIOSTInt32LSB, 0, 2);
    VxTestSink second = CheckingSink(ASIOSTInt32LSB, 2, 2);
    SourcePtr a = NewSource(kAsio);
    ASSERT_EQ(a->Open(Parameters(4, 48000, 2, 0).c_str(), &first), 0);
    ASSERT_TRUE(first.WaitWrites(4));
    const size_t logFrom = VxToolsTestEnv::Instance().LogLineCount();
    SourcePtr b = NewSource(kAsio);
    EXPECT_EQ(b->Open(Parameters(4, 48000, 2, 2).c_str(), &second), -1);
    const auto lines = PluginLogLines(logFrom);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[2].rfind(kRefused, 0), 0u) << lines[2];
    EXPECT_EQ(lines[3], "Open|Failed to start ASIO");
    EXPECT_EQ(lines[4], "Open|ASIO result (0 is success): -1");
    b.reset();
    const int before = first.Locked([](const VxTestSink& s) { return s.writes; });
    EXPECT_TRUE(first.WaitWrites(before + 8)) << "the first source stopped streaming";
    a.reset();
    EXPECT_EQ(first.mismatches, 0u);
    EXPECT_EQ(second.writes, 0);
    // Once the first is gone the device is free again.
    VxTestSink third = CheckingSink(ASIOSTInt32LSB, 2, 2);
    ASSERT_TRUE(RunSource(kAsio, Parameters(4, 48000, 2, 2).c_str(), third, Writes(4)));
    EXPECT_EQ(third.mismatches, 0u);
    ExpectCleanDriverLog(CallLog(4));
  }
}

// vxhost record tells the user what a driver did: a stream that stops after a
// reset request (as many drivers' streams do) ends the recording with a valid
// file of what arrived, and a single-client device held by another process is
// refused with the driver's reason while the holder streams on.
TEST_F(AsioSourceTest, VxhostRecordTellsAStallAndADeviceInUse) {
  VxTestAsioConfig config = FastDriver(ASIOSTInt32LSB, 8, 0);
  config.pace = VxTestAsioPace::kRealTime;
  config.preferredBufferSize = 256;
  config.runMessages = {{kAsioResetRequest, 0}};
  config.stallAfterRunMessages = true;
  config.singleClient = true;
  Configure(5, config);
  const std::wstring vxhost = VxToolsTestEnv::ExeFolder() + L"vxhost.exe";
  const std::wstring wav = VxToolsTestEnv::ExeFolder() + L"stalled.wav";
  const std::wstring record = L"record \"" + wav + L"\" --source asio --quiet --seconds 30 " +
                              L"--channels 2 --device " + VxTestAsioClassIdText(5);
  const ProgramRun stalled = RunProgram(vxhost, record);
  EXPECT_EQ(stalled.exitCode, 1) << stalled.output;
  for (const char* text : {"The stream stalled: no audio for ", "Stopped: the stream stalled",
                           "record: the stream stalled after 0.0 s; ", "Wrote " /* the summary */,
                           "(2048 data bytes)"})
    EXPECT_TRUE(Contains(stalled.output, text)) << text << " in:\n" << stalled.output;
  // One switch of 256 frames of 2 channels, under a header that counts it.
  VxFileHandle file(
      ::CreateFileW(wav.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  uint8_t bytes[8192];
  DWORD n = 0;
  ASSERT_TRUE(::ReadFile(file.get(), bytes, sizeof bytes, &n, nullptr));
  uint32_t riff = 0;
  std::memcpy(&riff, bytes + 4, 4);
  EXPECT_EQ(riff + 8, n);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes + n - 2048 - 8), 4), "data");
  file.reset();
  ::DeleteFileW(wav.c_str());

  config.stallAfterRunMessages = false;
  Configure(5, config);
  VxTestSink sink = CheckingSink(ASIOSTInt32LSB, 0, 2);
  SourcePtr holder = NewSource(kAsio);
  ASSERT_EQ(holder->Open(Parameters(5, 48000, 2, 0).c_str(), &sink), 0);
  const ProgramRun busy = RunProgram(vxhost, record);
  EXPECT_EQ(busy.exitCode, 1);
  EXPECT_TRUE(Contains(busy.output,
                       "  CASIOLivePlugin::Open: ASIOInit(...) failed with code -1000 and message "
                       "\"The device is in use by another client\""))
      << busy.output;
  const int before = sink.Locked([](const VxTestSink& s) { return s.writes; });
  EXPECT_TRUE(sink.WaitWrites(before + 8));
  holder.reset();
  EXPECT_EQ(sink.mismatches, 0u);
  ExpectCleanDriverLog(CallLog(5));
}

// Running out of memory at any allocation of an entry point the host calls
// gives that entry point's failure value, never an exception into the host,
// and leaves a source that can be deleted. Configure runs out at its first
// allocation (with more it would show its dialog).
TEST_F(AsioSourceTest, RunningOutOfMemoryAnywhereGivesTheFailureValue) {
  Configure(0, FastDriver(ASIOSTInt32LSB, 8, 2));
  const std::u16string parameters = Parameters(0, 48000, 2, 0);
  VxTestSink sink = CheckingSink(ASIOSTInt32LSB, 0, 2);
  sink.formats.reserve(1);  // the host's sink must not run out itself
  sink.threads.reserve(8);
  wchar_t text[1024];
  const std::function<int32_t(IVxAudioLive*)> calls[] = {
      [&](IVxAudioLive* s) { return s->Configure(0, nullptr) == -1 ? 0 : -2; },
      [&](IVxAudioLive* s) {
        const int32_t result = s->GetInfo(3, text);
        return result == 1 ? 0 : result;
      },
      [&](IVxAudioLive* s) {
        sink.formats.clear();
        return s->Open(parameters.c_str(), &sink);
      }};
  for (const auto& call : calls) {
    long allowed = 0;
    for (int32_t result = -1; result != 0; ++allowed) {
      SourcePtr source = NewSource(kAsio);
      FailAllocationsAfter(allowed);
      result = call(source.get());
      FailAllocationsAfter(-1);
      ASSERT_TRUE(result == 0 || result == -1) << "after " << allowed << " allocations";
    }
  }
}
