// The loopback source through its real path: the system's CoCreateInstance of
// the device enumerator reaches the test endpoint registered in the prefix.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <regex>
#include <string>

#include "live_Main/IVxAudioLive.h"
#include "live_Main/VxHostLibraries.h"
#include "tests/sources/loopback/VxLoopbackTestSupport.h"
#include "tests/support/VxToolsTestEnv.h"

using namespace vxtest;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kSource = "CLoopbackLivePlugin::LoopbackCapture";

class ToolsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    VxToolsTestEnv::Instance();
    ASSERT_TRUE(VxHostLibraries::Instance().LoadTools());
  }
};
const auto* const gToolsEnvironment = ::testing::AddGlobalTestEnvironment(new ToolsEnvironment);

IVxAudioLive* CreateSource() {
  IVxAudioLive* source = nullptr;
  EXPECT_EQ(GetLivePlugin(1, &source), 0);
  return source;
}

// Messages the capture logged from line `from` on (category and source checked).
std::vector<std::string> CaptureLog(size_t from) {
  std::vector<std::string> messages;
  for (const std::string& line : VxToolsTestEnv::Instance().FindLogLines(kSource, from)) {
    VxLogEntry entry;
    EXPECT_TRUE(VxParseLogLine(line, entry)) << line;
    EXPECT_EQ(entry.category, 64) << line;
    EXPECT_EQ(entry.source, kSource) << line;
    messages.push_back(entry.message);
  }
  return messages;
}

bool IsFinishLine(const std::string& message) {
  return std::regex_match(message, std::regex(R"(Finish \(\d+ ms\))"));
}

std::string Hex(const void* data, size_t size) {
  std::string text;
  char two[3];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(two, sizeof two, "%02x", static_cast<const uint8_t*>(data)[i]);
    text += two;
  }
  return text;
}

std::vector<VxTestRecordLine> Events(const std::vector<VxTestRecordLine>& lines,
                                     const char* event) {
  std::vector<VxTestRecordLine> out;
  for (const VxTestRecordLine& line : lines)
    if (line.event == event)
      out.push_back(line);
  return out;
}

// Polls the record until `event` shows up (the endpoint writes it on the
// capture thread; there is nothing else to wait on).
bool WaitForEvent(const std::wstring& record, const char* event, int timeoutMs = 20000) {
  const auto start = Clock::now();
  while (ElapsedMs(start) < timeoutMs) {
    if (!Events(VxTestEndpointControl::ReadRecord(record), event).empty())
      return true;
    ::Sleep(10);
  }
  return false;
}

struct FailureCase {
  const char* name;
  std::function<void(VxTestEndpointConfig&)> configure;
  const char* message;  // null: nothing between Start and Finish
};

// Every step before streaming that fails ends the capture with its own log
// line; Open answers -1 and the sink never gets a block.
TEST(LoopbackCapture, EachFailingStepLogsItsLineAndOpenFails) {
  const FailureCase cases[] = {
      {"enumerator", [](auto& c) { c.failCreate = 0x80040154; }, "No device"},
      {"no endpoints", [](auto& c) { c.endpoints.clear(); }, "No device"},
      {"no default", [](auto& c) { c.defaultEndpoint = kVxTestEndpointNoDefault; }, "No device"},
      {"activate", [](auto& c) { c.failActivate = 0x80070005; },
       "IMMDevice::Activate(IAudioClient) failed: hr = 0x80070005"},
      {"mix format", [](auto& c) { c.failGetMixFormat = 0x88890004; },
       "IAudioClient::GetMixFormat failed: hr = 0x88890004"},
      {"initialize", [](auto& c) { c.failInitialize = 0x88890008; },
       "IAudioClient::Initialize failed: hr = 0x88890008"},
      {"service", [](auto& c) { c.failGetService = 0x88890003; },
       "IAudioClient::GetService(IAudioCaptureClient) failed: hr 0x88890003"},
      {"start", [](auto& c) { c.failStart = 0x8889000A; },
       "IAudioClient::Start failed: hr = 0x8889000a"},
      {"volume interface", [](auto& c) { c.failActivateVolume = 0x80070005; }, nullptr},
  };
  for (const FailureCase& test : cases) {
    SCOPED_TRACE(test.name);
    VxTestEndpointConfig config;
    test.configure(config);
    VxTestEndpointScope endpoint(config);
    ASSERT_TRUE(endpoint.ok());
    LoopbackSink sink(config);
    const size_t logFrom = VxToolsTestEnv::Instance().LogLineCount();
    IVxAudioLive* source = CreateSource();
    const auto start = Clock::now();
    const int32_t opened = source->Open(u"", &sink);
    VxDeleteSource(source);
    EXPECT_LT(ElapsedMs(start), 10000);
    EXPECT_EQ(sink.writes, 0);
    const std::vector<std::string> log = CaptureLog(logFrom);
    if (!test.message) {
      // Without the volume interface the device still serves the capture.
      EXPECT_EQ(opened, 0);
      ASSERT_EQ(log.size(), 2u);
      continue;
    }
    EXPECT_EQ(opened, -1);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "Start");
    EXPECT_EQ(log[1], test.message);
    EXPECT_TRUE(IsFinishLine(log[2])) << log[2];
  }
}

TEST(LoopbackCapture, RefusedFormatFailsOpenSilentlyWithoutBlocks) {
  VxTestEndpointConfig config;
  config.recordFile = TempRecordPath(L"vxloop-refused");
  ASSERT_TRUE(VxTestEndpointControl::ResetRecord(config.recordFile));
  VxTestEndpointScope endpoint(config);
  LoopbackSink sink(config);
  sink.refuseFormat = true;
  const size_t logFrom = VxToolsTestEnv::Instance().LogLineCount();
  IVxAudioLive* source = CreateSource();
  EXPECT_EQ(source->Open(u"", &sink), -1);
  VxDeleteSource(source);
  EXPECT_EQ(sink.formats.size(), 1u);
  EXPECT_EQ(sink.writes, 0);
  const std::vector<std::string> log = CaptureLog(logFrom);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "Start");
  EXPECT_TRUE(IsFinishLine(log[1]));
  const auto record = VxTestEndpointControl::ReadRecord(config.recordFile);
  EXPECT_TRUE(Events(record, "Initialize").empty());
  EXPECT_EQ(VxTestEndpointControl::Summarize(record).callbacksLeft, 0u);
}

struct FormatCase {
  const char* name;
  std::function<void(VxTestEndpointConfig&)> configure;
  uint16_t tag;
  uint16_t subTag;  // of the record's sub-format {0000tttt-...}; 0: all-zero GUID
  uint32_t mask;
};

// The endpoint's mix format becomes the record handed to SetFormat and to
// Initialize, unchanged apart from the valid bits; every block is whole
// frames of the endpoint's signal, as many as each packet held.
TEST(LoopbackCapture, MixFormatBecomesTheRecordAndBlocksCarryWholePackets) {
  const FormatCase cases[] = {
      {"pcm16", [](auto& c) { c.formatTag = 1, c.bitsPerSample = 16, c.sampleRate = 44100; }, 1, 1,
       0},
      {"float", [](auto& c) { c.formatTag = 3; }, 3, 3, 0},
      {"ext float 7.1",
       [](auto& c) { c.subTag = 3, c.channels = 8, c.channelMask = 0x63F, c.sampleRate = 192000; },
       0xFFFE, 3, 0x63F},
      {"ext int 24 in 32", [](auto& c) { c.subTag = 1, c.validBitsPerSample = 24; }, 0xFFFE, 1, 3},
      {"ext mask mismatch", [](auto& c) { c.subTag = 1, c.bitsPerSample = 16, c.channelMask = 7; },
       0xFFFE, 1, 0},
      {"0x92", [](auto& c) { c.formatTag = 0x92, c.bitsPerSample = 16; }, 0x92, 0x92, 0},
      {"7", [](auto& c) { c.formatTag = 7, c.bitsPerSample = 8, c.channels = 1; }, 7, 7, 0},
      {"0x50", [](auto& c) { c.formatTag = 0x50, c.bitsPerSample = 16; }, 0x50, 0x50, 0},
      {"unknown tag", [](auto& c) { c.formatTag = 0x1234, c.bitsPerSample = 16; }, 1, 1, 0},
      {"failure with structure",
       [](auto& c) { c.failGetMixFormat = 0x80004005, c.mixFormatOnFailure = 1; }, 0xFFFE, 3, 3},
  };
  for (const FormatCase& test : cases) {
    SCOPED_TRACE(test.name);
    VxTestEndpointConfig config;
    config.realTime = 0;
    config.packetFrames = 333;  // odd, so a byte count built from anything else shows
    config.recordFile = TempRecordPath(L"vxloop-format");
    test.configure(config);
    ASSERT_TRUE(VxTestEndpointControl::ResetRecord(config.recordFile));
    VxTestEndpointScope endpoint(config);
    LoopbackSink sink(config);
    IVxAudioLive* source = CreateSource();
    ASSERT_EQ(source->Open(u"", &sink), 0);
    EXPECT_TRUE(sink.WaitFrames(3000));
    VxDeleteSource(source);

    ASSERT_EQ(sink.formats.size(), 1u);
    const VxAudioFormat& format = sink.formats[0];
    const bool extensible = test.tag == 0xFFFE;
    EXPECT_EQ(format.formatTag, test.tag);
    EXPECT_EQ(format.subFormat,
              (VxGuid{test.subTag, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}}));
    EXPECT_EQ(format.channels, config.channels);
    EXPECT_EQ(format.sampleRate, config.sampleRate);
    EXPECT_EQ(format.bitsPerSample, config.bitsPerSample);
    EXPECT_EQ(format.validBitsPerSample, config.bitsPerSample);
    EXPECT_EQ(format.blockAlign, config.BlockAlign());
    EXPECT_EQ(format.extensionSize, extensible ? 22 : 0);
    EXPECT_EQ(format.channelMask, test.mask);

    const auto record = VxTestEndpointControl::ReadRecord(config.recordFile);
    const auto initialize = Events(record, "Initialize");
    ASSERT_EQ(initialize.size(), 1u);
    EXPECT_EQ(initialize[0].Number("share"), 0u);
    EXPECT_EQ(initialize[0].Number("flags"), 0x20000u);
    EXPECT_EQ(initialize[0].Number("duration"), 0u);
    EXPECT_EQ(initialize[0].Number("period"), 0u);
    EXPECT_EQ(initialize[0].Field("session"), "null");
    EXPECT_EQ(initialize[0].Field("format"), Hex(&format, extensible ? 40 : 18));

    EXPECT_EQ(sink.badWrites, 0);
    EXPECT_EQ(sink.mismatches, 0);
    std::vector<uint32_t> packets;
    for (const VxTestRecordLine& line : Events(record, "GetBuffer"))
      if (line.Number("frames") > 0)
        packets.push_back(static_cast<uint32_t>(line.Number("frames")));
    EXPECT_EQ(sink.writeFrames, packets);
    const VxTestRecordSummary summary = VxTestEndpointControl::Summarize(record);
    EXPECT_TRUE(summary.paired);
    EXPECT_EQ(summary.stopCalls, 1u);
  }
}

struct StreamCase {
  const char* name;
  uint32_t realTime;
  uint32_t seconds;  // of audio
};

// Seconds at the endpoint's own pace and minutes as fast as it goes arrive
// byte for byte, from one capture thread at time-critical priority with COM,
// the same thread that drove the capture client.
TEST(LoopbackStream, ArrivesByteExactFromOneTimeCriticalComThread) {
  const StreamCase cases[] = {{"real time", 1, 2}, {"fast", 0, 180}};
  for (const StreamCase& test : cases) {
    SCOPED_TRACE(test.name);
    VxTestEndpointConfig config;
    config.realTime = test.realTime;
    config.recordFile = TempRecordPath(L"vxloop-stream");
    config.recordPackets = test.realTime;
    ASSERT_TRUE(VxTestEndpointControl::ResetRecord(config.recordFile));
    VxTestEndpointScope endpoint(config);
    LoopbackSink sink(config);
    IVxAudioLive* source = CreateSource();
    ASSERT_EQ(source->Open(u"", &sink), 0);
    EXPECT_TRUE(sink.WaitFrames(uint64_t{config.sampleRate} * test.seconds, 600000));
    VxDeleteSource(source);

    EXPECT_EQ(sink.mismatches, 0);
    EXPECT_EQ(sink.badWrites, 0);
    EXPECT_GE(sink.frames, uint64_t{config.sampleRate} * test.seconds);
    ASSERT_EQ(sink.threads.size(), 1u);
    EXPECT_FALSE(sink.calledFromTestThread);
    EXPECT_EQ(sink.lowestPriority, THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_FALSE(sink.comMissing);
    const auto record = VxTestEndpointControl::ReadRecord(config.recordFile);
    // Every audio-client call came from the sink's thread, which set up COM itself.
    for (const VxTestRecordLine& line : record) {
      if (line.event == "Initialize" || line.event == "GetService" || line.event == "Start" ||
          line.event == "GetBuffer" || line.event == "ReleaseBuffer" || line.event == "Stop") {
        ASSERT_EQ(line.tid, sink.threads[0]) << line.event;
        ASSERT_EQ(line.Field("com"), "1") << line.event;
      }
    }
    const VxTestRecordSummary summary = VxTestEndpointControl::Summarize(record);
    EXPECT_EQ(summary.startCalls, 1u);
    EXPECT_EQ(summary.stopCalls, 1u);
    EXPECT_EQ(summary.registered, 1u);
    EXPECT_EQ(summary.unregistered, 1u);
  }
}

struct StopCase {
  const char* name;
  std::function<void(VxTestEndpointConfig&)> configure;
  const char* waitFor;  // record event that marks the state; null: streaming
};

// Deleting returns promptly whatever the endpoint does; while it is silent or
// keeps failing, the polling thread leaves the core mostly idle.
TEST(LoopbackStop, DeleteReturnsPromptlyWhileStreamingSilentOrFailing) {
  const StopCase cases[] = {
      {"streaming", [](auto&) {}, nullptr},
      {"silent", [](auto& c) { c.gapAfterFrames = 960, c.gapMs = 600000; }, "gap-begin"},
      {"failing",
       [](auto& c) { c.failStreamAfterFrames = 960, c.failStreamMs = kVxTestEndpointForever; },
       "fault-begin"},
  };
  for (const StopCase& test : cases) {
    SCOPED_TRACE(test.name);
    VxTestEndpointConfig config;
    config.recordFile = TempRecordPath(L"vxloop-stop");
    config.recordPackets = 0;
    test.configure(config);
    ASSERT_TRUE(VxTestEndpointControl::ResetRecord(config.recordFile));
    VxTestEndpointScope endpoint(config);
    LoopbackSink sink(config);
    IVxAudioLive* source = CreateSource();
    ASSERT_EQ(source->Open(u"", &sink), 0);
    ASSERT_TRUE(sink.WaitFrames(960));
    if (test.waitFor) {
      ASSERT_TRUE(WaitForEvent(config.recordFile, test.waitFor));
      const int writes = sink.writes;
      // A measurement window, not a wait: a spinning time-critical thread
      // would use about the whole of it.
      const double cpuBefore = ProcessCpuMs();
      const auto windowStart = Clock::now();
      ::Sleep(1000);
      const double cpuShare = (ProcessCpuMs() - cpuBefore) / ElapsedMs(windowStart);
      EXPECT_LT(cpuShare, 0.5);
      EXPECT_EQ(sink.writes, writes);
    }
    const auto start = Clock::now();
    VxDeleteSource(source);
    EXPECT_LT(ElapsedMs(start), 2000);
    EXPECT_EQ(sink.mismatches, 0);
  }
}

// A thousand full lives of the source leave no thread, handle, memory,
// endpoint object or volume registration behind.
TEST(LoopbackLifetime, ThousandCyclesLeaveNothingBehind) {
  VxTestEndpointConfig config;
  config.realTime = 0;
  config.packetFrames = 480;
  config.recordFile = TempRecordPath(L"vxloop-life");
  config.recordPackets = 0;
  ASSERT_TRUE(VxTestEndpointControl::ResetRecord(config.recordFile));
  VxTestEndpointScope endpoint(config);
  auto cycle = [&] {
    LoopbackSink sink(config);
    IVxAudioLive* source = CreateSource();
    ASSERT_EQ(source->Open(u"", &sink), 0);
    ASSERT_TRUE(sink.WaitFrames(960));
    VxDeleteSource(source);
    ASSERT_EQ(sink.mismatches, 0);
  };
  constexpr int kWarmUp = 20, kCycles = 1000;
  for (int i = 0; i < kWarmUp; ++i)
    cycle();
  const VxProcessProbe before = VxProcessProbe::Take();
  for (int i = 0; i < kCycles; ++i) {
    cycle();
    if (HasFatalFailure())
      return;
  }
  EXPECT_TRUE(VxProcessProbe::ThreadsSettleAtMost(before.threads));
  const VxProcessProbe after = VxProcessProbe::Take();
  EXPECT_LE(after.handleSlot, before.handleSlot + 5);
  EXPECT_LT(after.privateBytes, before.privateBytes + 8000000);

  EXPECT_EQ(VxTestEndpointControl::WriteLiveObjects(), 0u);
  const auto record = VxTestEndpointControl::ReadRecord(config.recordFile);
  const VxTestRecordSummary summary = VxTestEndpointControl::Summarize(record);
  EXPECT_EQ(summary.registered, uint32_t{kWarmUp + kCycles});
  EXPECT_EQ(summary.unregistered, uint32_t{kWarmUp + kCycles});
  EXPECT_EQ(summary.callbacksLeft, 0u);
  EXPECT_EQ(summary.created, summary.destroyed);
  // The endpoint released its reference: only the capture thread's own is left.
  for (const VxTestRecordLine& line : Events(record, "UnregisterControlChangeNotify"))
    ASSERT_EQ(line.Number("refsLeft"), 1u);
}

}  // namespace
