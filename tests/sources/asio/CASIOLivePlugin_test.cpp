// The ASIO source through the real COM path: the test driver registered in the
// prefix, the plug-in's log read back from the reference tools library.
#include "sources/asio/CASIOLivePlugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwctype>

#include "tests/sources/asio/VxAsioTestSupport.h"

using namespace vxasiotest;

namespace {

constexpr int kSwitches = 12;

}  // namespace

TEST_F(AsioSourceTest, RecordingsAreByteExactForEveryHandledTypeChannelCountAndOffset) {
  const int shapes[][2] = {{1, 0}, {2, 3}, {8, 1}, {32, 8}};  // channels, first channel
  for (const ASIOSampleType type :
       {ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTInt32LSB, ASIOSTFloat32LSB, ASIOSTFloat64LSB}) {
    for (const auto& shape : shapes) {
      SCOPED_TRACE(testing::Message()
                   << "type " << type << ", " << shape[0] << " ch from " << shape[1]);
      Configure(0, FastDriver(type, 40, kSwitches));
      VxTestSink sink = CheckingSink(type, shape[1], shape[0]);
      ASSERT_TRUE(RunSource(kAsio, Parameters(0, 48000, shape[0], shape[1]).c_str(), sink,
                            Writes(kSwitches)));

      ASSERT_EQ(sink.formats.size(), 1u);
      // The stream format of the driver's type, asked rate and channel count.
      const VxAudioFormat f = CASIOLivePlugin::MakeStreamFormat(type, 48000, shape[0]);
      EXPECT_EQ(std::memcmp(&sink.formats[0], &f, sizeof f), 0);
      EXPECT_EQ(sink.writes, kSwitches);
      EXPECT_EQ(sink.total, uint64_t{kSwitches} * 64 * f.blockAlign);
      EXPECT_EQ(sink.mismatches, 0u);
      EXPECT_EQ(sink.flagSet, 0);
      ExpectCleanDriverLog(CallLog(0));
    }
  }
}

// Every way Open can end, successes first: the exact log lines of Open and of
// the deletion, and what the sink and the driver saw. The user-facing messages
// are translated (before they are formatted) and logged as they read. Hosts
// write the parameter string in any letter case and order, may give a key
// twice (the last counts) or escape in lower case; a missing key reads as
// empty or 0.
TEST_F(AsioSourceTest, OpenAndDeleteLogEachStepAndEachFailureCauseInOrder) {
  const Translations translations;
  const std::wstring text = VxTestAsioClassIdText(0);
  const std::u16string id = u"%7B" + std::u16string(text.begin() + 1, text.end() - 1) + u"%7D";
  std::u16string lower = u"%7b" + std::u16string(text.begin() + 1, text.end() - 1) + u"%7d";
  for (char16_t& c : lower)
    c = static_cast<char16_t>(std::towlower(c));
  const std::u16string tail = u"&samplerate=48000&channels=2&channelshift=0";
  const std::string kResult = "Open|ASIO result (0 is success): -1",
                    kNotStarted = "Open|Failed to start ASIO",
                    kBuffers = "Open|Failed to create buffers",
                    kSuccess = "Open|ASIO result (0 is success): 0";
  const auto noRate = [](const char* rate) {
    return std::string("Open|Rate: ") + rate + " Hz is not supported (100% sure, %s stays)";
  };
  const auto noChannels = [](const char* asked, const char* has) {
    return std::string("Open|Channels: ") + asked + " asked, " + has + " there (100% sure)";
  };
  struct Case {
    const char* name;
    std::vector<std::string> openLines;  // after "Open|Creating ASIO"
    unsigned faults = 0;
    void (*configure)(VxTestAsioConfig&) = nullptr;
    int rate = 48000, channels = 2, shift = 0;
    ASIOSampleType type = ASIOSTInt32LSB;
    bool refuseFormat = false;
    std::u16string parameters = {};  // empty: driver 0 with rate, channels and shift
  };
  std::vector<Case> cases = {
      {.name = "success", .openLines = {kSuccess}},
      {.name = "capitals, another order",
       .openLines = {kSuccess},
       .channels = 3,
       .shift = 1,
       .parameters = u"CHANNELSHIFT=1&SampleRate=48000&CHANNELS=3&DeviceID=" + id},
      {.name = "each key twice",
       .openLines = {kSuccess},
       .parameters = u"deviceid=%7B00000000-0000-0000-0000-000000000001%7D&samplerate=22050"
                     u"&channels=40&channelshift=7&deviceid=" +
                     id + tail},
      {.name = "lower-case escapes",
       .openLines = {kSuccess},
       .parameters = u"deviceid=" + lower + tail},
      {.name = "other pieces, no channel shift",
       .openLines = {kSuccess},
       .parameters = u"deviceindex=5&&x=1&deviceid=" + id + u"&samplerate=48000&channels=2&"},
      // Its latencies are asked for, and not needed.
      {.name = "getLatencies fails",
       .openLines = {kSuccess},
       .faults = kVxTestAsioFailGetLatencies},
      {.name = "no device",
       .openLines = {"Open|Empty device ID", kNotStarted, kResult},
       .parameters = tail.substr(1)},
      {.name = "unknown device",
       .openLines = {"Open|Failed to load ASIO driver", kNotStarted, kResult},
       .parameters = u"deviceid=%7B00000000-0000-0000-0000-000000000000%7D" + tail},
      {.name = "no class object",
       .openLines = {"Open|Failed to load ASIO driver", kNotStarted, kResult},
       .faults = kVxTestAsioFailCreate},
      {.name = "init fails",
       .openLines = {"Open|ASIOInit(...) failed with code -1000 and message \"The test driver was "
                     "told to fail init\"",
                     kNotStarted, kResult},
       .faults = kVxTestAsioFailInit},
      {.name = "rate refused",
       .openLines = {noRate("48000")},
       .configure = [](VxTestAsioConfig& c) { c.sampleRates = {96000}; }},
      {.name = "setSampleRate fails",
       .openLines = {noRate("48000")},
       .faults = kVxTestAsioFailSetSampleRate},
      {.name = "no rate", .openLines = {noRate("0")}, .parameters = u"deviceid=" + id},
      {.name = "no channels",
       .openLines = {noChannels("0", "8")},
       .parameters = u"deviceid=" + id + u"&samplerate=48000"},
      {.name = "33 channels",
       .openLines = {noChannels("33", "64")},
       .configure = [](VxTestAsioConfig& c) { c.inputs = 64; },
       .channels = 33},
      {.name = "getChannels fails",
       .openLines = {noChannels("2", "0")},
       .faults = kVxTestAsioFailGetChannels},
      {.name = "shift past the inputs",
       .openLines = {kBuffers, kResult},
       .channels = 4,
       .shift = 6},
      {.name = "a channel without buffers",
       .openLines = {kBuffers, kResult},
       .configure =
           [](VxTestAsioConfig& c) {
             c.nullBufferChannel = 0;  // not the last: its neighbour follows it
             c.nullBufferHalves = 3;
           }},
      {.name = "mixed sample types",
       .openLines = {kBuffers, kResult},
       .configure =
           [](VxTestAsioConfig& c) {
             c.sampleTypes = {ASIOSTInt32LSB, ASIOSTInt16LSB};
           }},
      {.name = "start fails", .openLines = {kResult}, .faults = kVxTestAsioFailStart},
      {.name = "sink refuses the format",
       .openLines = {"Open|Unsupported sample type: 48 kHz 32bit 2ch", kResult},
       .refuseFormat = true},
      // The channel infos stay as made: type 0 is a big-endian type.
      {.name = "getChannelInfo fails",
       .openLines = {"Open|Unsupported sample type: 44.1 kHz 16bit 2ch", kResult},
       .faults = kVxTestAsioFailGetChannelInfo},
  };
  for (unsigned fault : {kVxTestAsioFailGetBufferSize, kVxTestAsioFailCreateBuffers})
    cases.push_back(
        {.name = "buffer call fails", .openLines = {kBuffers, kResult}, .faults = fault});
  // Types the source cannot hand on: the reset format's name, never SetFormat.
  for (ASIOSampleType type :
       {ASIOSTInt16MSB, ASIOSTInt24MSB, ASIOSTInt32MSB, ASIOSTFloat32MSB, ASIOSTFloat64MSB,
        ASIOSTInt32MSB16, ASIOSTInt32LSB16, ASIOSTInt32LSB18, ASIOSTInt32LSB20, ASIOSTInt32LSB24,
        ASIOSTDSDInt8LSB1, ASIOSTDSDInt8MSB1, ASIOSTDSDInt8NER8}) {
    cases.push_back({.name = "unhandled type",
                     .openLines = {"Open|Unsupported sample type: 44.1 kHz 16bit 2ch", kResult},
                     .type = type});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " " << c.type << " " << c.faults);
    const bool success = c.openLines.back() == kSuccess;
    // Without "Failed to start ASIO" a driver was loaded, and is taken down.
    const bool driverLoaded =
        std::find(c.openLines.begin(), c.openLines.end(), kNotStarted) == c.openLines.end();
    VxTestAsioConfig config = FastDriver(c.type, 8, kSwitches);
    config.faults = c.faults;
    if (c.configure)
      c.configure(config);
    Configure(0, config);
    VxTestSink sink = CheckingSink(c.type, c.shift, c.channels);
    VxTestSink other = CheckingSink(c.type, c.shift, c.channels);
    sink.refuseFormat = c.refuseFormat;
    const std::u16string params =
        c.parameters.empty() ? Parameters(0, c.rate, c.channels, c.shift) : c.parameters;
    const size_t logFrom = VxToolsTestEnv::Instance().LogLineCount();
    SourcePtr source = NewSource(kAsio);
    EXPECT_EQ(source->Open(params.c_str(), &sink), success ? 0 : -1);
    if (success) {
      ASSERT_TRUE(sink.WaitWrites(1));
      EXPECT_EQ(source->Open(params.c_str(), &other), -1);
    }
    source.reset();

    std::vector<std::string> expected = {"Open|Start", "Open|Creating ASIO"};
    expected.insert(expected.end(), c.openLines.begin(), c.openLines.end());
    expected.push_back("Open|Finish");
    if (success) {  // the second Open
      expected.push_back("Open|Start");
      expected.push_back("Open|Finish");
    }
    expected.push_back("~CASIOLivePlugin|Start");
    if (driverLoaded) {
      for (const char* step :
           {"Stopping ASIO", "Disposing buffers", "Exiting ASIO", "Deleting ASIO wrapper"})
        expected.push_back(std::string("~CASIOLivePlugin|") + step);
    }
    expected.push_back("~CASIOLivePlugin|Updating plugins");
    expected.push_back("~CASIOLivePlugin|Finish");
    EXPECT_EQ(PluginLogLines(logFrom), expected);
    EXPECT_EQ(other.writes, 0);
    EXPECT_EQ(sink.writes == 0, !success);
    EXPECT_EQ(sink.mismatches, 0u);
    const auto calls = CallLog(0);
    if (!VxTestAsioFind(calls, "created").empty())
      ExpectCleanDriverLog(calls);
    // Started (and the sink told the format) only when everything before succeeded;
    // stopped before the buffers go.
    std::vector<std::string> order;
    for (const auto& line : calls) {
      if (line.name == "stop" || line.name == "disposeBuffers" || line.name == "start")
        order.push_back(line.name);
    }
    if (success) {
      EXPECT_EQ(order, (std::vector<std::string>{"start", "stop", "disposeBuffers"}));
      EXPECT_EQ(sink.formats.size(), 1u);
    } else if (c.faults != kVxTestAsioFailStart) {  // a failed start comes after SetFormat
      EXPECT_EQ(std::count(order.begin(), order.end(), "start"), 0);
      EXPECT_EQ(sink.formats.size(), c.refuseFormat ? 1u : 0u);
    }
  }
}

TEST_F(AsioSourceTest, SourcesInSlotsZeroAndThreeRunAtOnceAFifthGetsTheMessageAFreedSlotIsReused) {
  Configure(0, FastDriver(ASIOSTInt32LSB, 8, kSwitches));
  Configure(1, FastDriver(ASIOSTInt16LSB, 8, kSwitches));
  SourcePtr sources[4];
  for (int i = 0; i < 4; ++i) {
    sources[i] = NewSource(kAsio);
    EXPECT_EQ(AsAsio(sources[i])->Slot(), i);
  }
  {
    const size_t from = VxToolsTestEnv::Instance().LogLineCount();
    SourcePtr fifth = NewSource(kAsio);
    EXPECT_EQ(AsAsio(fifth)->Slot(), -1);
    VxTestSink sink = CheckingSink(ASIOSTInt32LSB, 0, 2);
    {
      const Translations translations;
      EXPECT_EQ(fifth->Open(Parameters(0, 48000, 2, 0).c_str(), &sink), -1);
    }
    const std::string text = "Slots: only 4 at once (100% busy)";
    EXPECT_EQ(
        VxToolsTestEnv::Instance().FindLogLines("CASIOLivePlugin::Open\t" + text, from).size(), 1u);
    const auto boxes = VxToolsTestEnv::Instance().FindLogLines("Message box (title: ", from);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("title: \"Notice\", text: \"" + text + "\""), std::string::npos)
        << boxes[0];
    EXPECT_TRUE(VxTestAsioFind(CallLog(0), "created").empty());
  }
  sources[1].reset();
  sources[2].reset();
  VxTestSink first = CheckingSink(ASIOSTInt32LSB, 0, 2);
  VxTestSink last = CheckingSink(ASIOSTInt16LSB, 3, 4);
  ASSERT_EQ(sources[0]->Open(Parameters(0, 48000, 2, 0).c_str(), &first), 0);
  ASSERT_EQ(sources[3]->Open(Parameters(1, 48000, 4, 3).c_str(), &last), 0);
  ASSERT_TRUE(first.WaitWrites(kSwitches));
  ASSERT_TRUE(last.WaitWrites(kSwitches));
  SourcePtr reused = NewSource(kAsio);
  EXPECT_EQ(AsAsio(reused)->Slot(), 1);
  sources[0].reset();
  sources[3].reset();
  for (VxTestSink* sink : {&first, &last}) {
    EXPECT_EQ(sink->writes, kSwitches);
    EXPECT_EQ(sink->mismatches, 0u);
  }
  EXPECT_EQ(first.formats.at(0).bitsPerSample, 32);
  EXPECT_EQ(last.formats.at(0).bitsPerSample, 16);
  ExpectCleanDriverLog(CallLog(0));
  ExpectCleanDriverLog(CallLog(1));
}
