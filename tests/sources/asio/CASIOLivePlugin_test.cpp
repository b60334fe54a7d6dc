// The ASIO source through the real COM path: the test driver registered in the
// prefix, the plug-in's log read back from the reference tools library.
#include "sources/asio/CASIOLivePlugin.h"

#include <gtest/gtest.h>

#include "tests/sources/asio/VxAsioTestSupport.h"

using namespace vxasiotest;

namespace {

constexpr int kSwitches = 12;

std::vector<std::string> Expected(std::initializer_list<const char*> lines) {
  return std::vector<std::string>(lines.begin(), lines.end());
}

}  // namespace

TEST_F(AsioSourceTest, RecordingsAreByteExactForEveryHandledTypeChannelCountAndOffset) {
  struct Type {
    ASIOSampleType type;
    uint16_t tag, bits;
  } types[] = {{ASIOSTInt16LSB, 1, 16},
               {ASIOSTInt24LSB, 1, 24},
               {ASIOSTInt32LSB, 1, 32},
               {ASIOSTFloat32LSB, 3, 32},
               {ASIOSTFloat64LSB, 3, 64}};
  const int shapes[][2] = {{1, 0}, {2, 3}, {8, 1}, {32, 8}};  // channels, first channel
  for (const Type& t : types) {
    for (const auto& shape : shapes) {
      SCOPED_TRACE(testing::Message()
                   << "type " << t.type << ", " << shape[0] << " ch from " << shape[1]);
      Configure(0, FastDriver(t.type, 40, kSwitches));
      CheckingSink sink(t.type, shape[1], shape[0]);
      SourcePtr source = NewSource();
      ASSERT_EQ(source->Open(Parameters(0, 48000, shape[0], shape[1]).c_str(), &sink), 0);
      ASSERT_TRUE(sink.WaitForWrites(kSwitches));
      source.reset();

      ASSERT_EQ(sink.formats.size(), 1u);
      const VxAudioFormat& f = sink.formats[0];
      EXPECT_EQ(f.formatTag, t.tag);
      EXPECT_EQ(f.bitsPerSample, t.bits);
      EXPECT_EQ(f.channels, shape[0]);
      EXPECT_EQ(f.sampleRate, 48000u);
      EXPECT_EQ(sink.writes, kSwitches);
      EXPECT_EQ(sink.bytes, uint64_t{kSwitches} * 64 * f.blockAlign);
      EXPECT_EQ(sink.Frames(), uint64_t{kSwitches} * 64);
      EXPECT_EQ(sink.Mismatches(), 0u);
      EXPECT_EQ(sink.flags, 0);
      ExpectCleanDriverLog(CallLog(0));
    }
  }
}

TEST_F(AsioSourceTest, UnhandledSampleTypesFailWithTheResetFormatAndNeverCallSetFormat) {
  for (ASIOSampleType type :
       {ASIOSTInt16MSB, ASIOSTInt24MSB, ASIOSTInt32MSB, ASIOSTFloat32MSB, ASIOSTFloat64MSB,
        ASIOSTInt32MSB16, ASIOSTInt32LSB16, ASIOSTInt32LSB18, ASIOSTInt32LSB20, ASIOSTInt32LSB24,
        ASIOSTDSDInt8LSB1, ASIOSTDSDInt8MSB1, ASIOSTDSDInt8NER8}) {
    SCOPED_TRACE(type);
    Configure(0, FastDriver(type, 8, kSwitches));
    CheckingSink sink(type, 0, 4);
    PluginLog log;
    SourcePtr source = NewSource();
    EXPECT_EQ(source->Open(Parameters(0, 96000, 4, 0).c_str(), &sink), -1);
    source.reset();
    EXPECT_TRUE(sink.formats.empty());
    EXPECT_EQ(sink.writes, 0);
    EXPECT_TRUE(log.Contains("Open|Unsupported sample type: 44.1 kHz 16bit 2ch"));
    EXPECT_TRUE(log.Contains("Open|ASIO result (0 is success): -1"));
    EXPECT_TRUE(VxTestAsioFind(CallLog(0), "start").empty());
    ExpectCleanDriverLog(CallLog(0));
  }
}

TEST_F(AsioSourceTest, OpenAndDeleteLogEveryStepInOrder) {
  Configure(0, FastDriver(ASIOSTInt32LSB, 8, kSwitches));
  CheckingSink sink(ASIOSTInt32LSB, 0, 2);
  PluginLog log;
  SourcePtr source = NewSource();
  ASSERT_EQ(source->Open(Parameters(0, 44100, 2, 0).c_str(), &sink), 0);
  ASSERT_TRUE(sink.WaitForWrites(1));
  CheckingSink other(ASIOSTInt32LSB, 0, 2);
  EXPECT_EQ(source->Open(Parameters(0, 44100, 2, 0).c_str(), &other), -1);
  source.reset();
  EXPECT_EQ(other.writes, 0);
  EXPECT_EQ(sink.Mismatches(), 0u);
  EXPECT_EQ(log.Lines(),
            Expected({"Open|Start", "Open|Creating ASIO", "Open|ASIO result (0 is success): 0",
                      "Open|Finish", "Open|Start", "Open|Finish", "~CASIOLivePlugin|Start",
                      "~CASIOLivePlugin|Stopping ASIO", "~CASIOLivePlugin|Disposing buffers",
                      "~CASIOLivePlugin|Exiting ASIO", "~CASIOLivePlugin|Deleting ASIO wrapper",
                      "~CASIOLivePlugin|Updating plugins", "~CASIOLivePlugin|Finish"}));
  const auto calls = CallLog(0);
  ExpectCleanDriverLog(calls);
  // The driver was stopped before its buffers were disposed of.
  std::vector<std::string> order;
  for (const auto& line : calls) {
    if (line.name == "stop" || line.name == "disposeBuffers" || line.name == "start")
      order.push_back(line.name);
  }
  EXPECT_EQ(order, Expected({"start", "stop", "disposeBuffers"}));
}

TEST_F(AsioSourceTest, FailingOpenLogsItsCauseAndDeletionCleansUpWhatWasLoaded) {
  struct Case {
    const char* name;
    void (*configure)(VxTestAsioConfig&);
    int rate, channels, shift;
    const char* deviceOverride;          // null: the driver's own ID
    std::vector<std::string> openLines;  // after "Open|Creating ASIO"
    bool driverLoaded;
  } cases[] = {
      {"empty device",
       [](VxTestAsioConfig&) {},
       48000,
       2,
       0,
       "",
       {"Open|Empty device ID", "Open|Failed to start ASIO", "Open|ASIO result (0 is success): -1"},
       false},
      {"unknown device",
       [](VxTestAsioConfig&) {},
       48000,
       2,
       0,
       "%7B00000000-0000-0000-0000-000000000000%7D",
       {"Open|Failed to load ASIO driver", "Open|Failed to start ASIO",
        "Open|ASIO result (0 is success): -1"},
       false},
      {"no class object",
       [](VxTestAsioConfig& c) { c.faults = kVxTestAsioFailCreate; },
       48000,
       2,
       0,
       nullptr,
       {"Open|Failed to load ASIO driver", "Open|Failed to start ASIO",
        "Open|ASIO result (0 is success): -1"},
       false},
      {"init fails",
       [](VxTestAsioConfig& c) {
         c.faults = kVxTestAsioFailInit;
         c.errorMessage = "No card";
       },
       48000,
       2,
       0,
       nullptr,
       {"Open|ASIOInit(...) failed with code -1000 and message \"No card\"",
        "Open|Failed to start ASIO", "Open|ASIO result (0 is success): -1"},
       false},
      {"rate refused",
       [](VxTestAsioConfig& c) { c.sampleRates = {96000}; },
       48000,
       2,
       0,
       nullptr,
       {"Open|The ASIO device does not support the sample rate of 48000 Hz."},
       true},
      {"no rate given",
       [](VxTestAsioConfig&) {},
       0,
       2,
       0,
       nullptr,
       {"Open|The ASIO device does not support the sample rate of 0 Hz."},
       true},
      {"setSampleRate fails",
       [](VxTestAsioConfig& c) { c.faults = kVxTestAsioFailSetSampleRate; },
       48000,
       2,
       0,
       nullptr,
       {"Open|The ASIO device does not support the sample rate of 48000 Hz."},
       true},
      {"no channels",
       [](VxTestAsioConfig&) {},
       48000,
       0,
       0,
       nullptr,
       {"Open|The ASIO device does not support 0 input channels.\\r\\n\\r\\n(card supports 8 "
        "input channels maximum)"},
       true},
      {"33 channels",
       [](VxTestAsioConfig& c) { c.inputs = 64; },
       48000,
       33,
       0,
       nullptr,
       {"Open|The ASIO device does not support 33 input channels.\\r\\n\\r\\n(card supports 64 "
        "input channels maximum)"},
       true},
      {"getChannels fails",
       [](VxTestAsioConfig& c) { c.faults = kVxTestAsioFailGetChannels; },
       48000,
       2,
       0,
       nullptr,
       {"Open|The ASIO device does not support 2 input channels.\\r\\n\\r\\n(card supports 0 "
        "input channels maximum)"},
       true},
      {"shift past the inputs",
       [](VxTestAsioConfig&) {},
       48000,
       4,
       6,
       nullptr,
       {"Open|Failed to create buffers", "Open|ASIO result (0 is success): -1"},
       true},
      {"getBufferSize fails",
       [](VxTestAsioConfig& c) { c.faults = kVxTestAsioFailGetBufferSize; },
       48000,
       2,
       0,
       nullptr,
       {"Open|Failed to create buffers", "Open|ASIO result (0 is success): -1"},
       true},
      {"createBuffers fails",
       [](VxTestAsioConfig& c) { c.faults = kVxTestAsioFailCreateBuffers; },
       48000,
       2,
       0,
       nullptr,
       {"Open|Failed to create buffers", "Open|ASIO result (0 is success): -1"},
       true},
      {"a channel without buffers",
       [](VxTestAsioConfig& c) {
         c.nullBufferChannel = 1;
         c.nullBufferHalves = 3;
       },
       48000,
       2,
       0,
       nullptr,
       {"Open|Failed to create buffers", "Open|ASIO result (0 is success): -1"},
       true},
      {"mixed sample types",
       [](VxTestAsioConfig& c) {
         c.sampleTypes = {ASIOSTInt32LSB, ASIOSTInt16LSB};
       },
       48000,
       2,
       0,
       nullptr,
       {"Open|Failed to create buffers", "Open|ASIO result (0 is success): -1"},
       true},
      {"start fails",
       [](VxTestAsioConfig& c) { c.faults = kVxTestAsioFailStart; },
       48000,
       2,
       0,
       nullptr,
       {"Open|ASIO result (0 is success): -1"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VxTestAsioConfig config = FastDriver(ASIOSTInt32LSB, 8, kSwitches);
    c.configure(config);
    Configure(0, config);
    CheckingSink sink(ASIOSTInt32LSB, 0, 2);
    std::u16string params = Parameters(0, c.rate, c.channels, c.shift);
    if (c.deviceOverride) {
      const std::u16string device(c.deviceOverride, c.deviceOverride + strlen(c.deviceOverride));
      params = u"deviceid=" + device + params.substr(params.find(u'&'));
    }
    PluginLog log;
    SourcePtr source = NewSource();
    EXPECT_EQ(source->Open(params.c_str(), &sink), -1);
    source.reset();

    std::vector<std::string> expected = {"Open|Start", "Open|Creating ASIO"};
    expected.insert(expected.end(), c.openLines.begin(), c.openLines.end());
    expected.push_back("Open|Finish");
    expected.push_back("~CASIOLivePlugin|Start");
    if (c.driverLoaded) {
      for (const char* step :
           {"Stopping ASIO", "Disposing buffers", "Exiting ASIO", "Deleting ASIO wrapper"})
        expected.push_back(std::string("~CASIOLivePlugin|") + step);
    }
    expected.push_back("~CASIOLivePlugin|Updating plugins");
    expected.push_back("~CASIOLivePlugin|Finish");
    EXPECT_EQ(log.Lines(), expected);
    EXPECT_EQ(sink.writes, 0);
    const auto calls = CallLog(0);
    if (!VxTestAsioFind(calls, "created").empty())
      ExpectCleanDriverLog(calls);
  }
}

TEST_F(AsioSourceTest, SourcesInSlotsZeroAndThreeRunAtOnceAFifthGetsTheMessageAFreedSlotIsReused) {
  Configure(0, FastDriver(ASIOSTInt32LSB, 8, kSwitches));
  Configure(1, FastDriver(ASIOSTInt16LSB, 8, kSwitches));
  SourcePtr sources[4];
  for (int i = 0; i < 4; ++i) {
    sources[i] = NewSource();
    EXPECT_EQ(AsAsio(sources[i])->Slot(), i);
  }
  {
    VxToolsTestEnv::Instance().SetOption(L"VXTOOLS_PSEUDO_TRANSLATE", L"1");
    const size_t from = VxToolsTestEnv::Instance().LogLineCount();
    SourcePtr fifth = NewSource();
    EXPECT_EQ(AsAsio(fifth)->Slot(), -1);
    CheckingSink sink(ASIOSTInt32LSB, 0, 2);
    EXPECT_EQ(fifth->Open(Parameters(0, 48000, 2, 0).c_str(), &sink), -1);
    VxToolsTestEnv::Instance().SetOption(L"VXTOOLS_PSEUDO_TRANSLATE", nullptr);
    const std::string text =
        "[[ASIO can only support 4 concurrent outputs at once -- playback can not continue.]]";
    EXPECT_EQ(
        VxToolsTestEnv::Instance().FindLogLines("CASIOLivePlugin::Open\t" + text, from).size(), 1u);
    const auto boxes = VxToolsTestEnv::Instance().FindLogLines("Message box (title: ", from);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("title: \"[[Information]]\", text: \"" + text + "\""),
              std::string::npos)
        << boxes[0];
    EXPECT_TRUE(VxTestAsioFind(CallLog(0), "created").empty());
  }
  sources[1].reset();
  sources[2].reset();
  CheckingSink first(ASIOSTInt32LSB, 0, 2), last(ASIOSTInt16LSB, 3, 4);
  ASSERT_EQ(sources[0]->Open(Parameters(0, 48000, 2, 0).c_str(), &first), 0);
  ASSERT_EQ(sources[3]->Open(Parameters(1, 48000, 4, 3).c_str(), &last), 0);
  ASSERT_TRUE(first.WaitForWrites(kSwitches));
  ASSERT_TRUE(last.WaitForWrites(kSwitches));
  SourcePtr reused = NewSource();
  EXPECT_EQ(AsAsio(reused)->Slot(), 1);
  sources[0].reset();
  sources[3].reset();
  for (CheckingSink* sink : {&first, &last}) {
    EXPECT_EQ(sink->writes, kSwitches);
    EXPECT_EQ(sink->Mismatches(), 0u);
  }
  EXPECT_EQ(first.formats.at(0).bitsPerSample, 32);
  EXPECT_EQ(last.formats.at(0).bitsPerSample, 16);
  ExpectCleanDriverLog(CallLog(0));
  ExpectCleanDriverLog(CallLog(1));
}
