// The loopback source on the system's own audio stack: without the test
// endpoint it must end the way the capture steps say for whatever that stack
// answers, promptly and without leaving anything behind; through the test
// endpoint's forwarding to the null sink's monitor it must carry the sine that
// another program plays there. The script that runs this program says which
// stack to expect: VX_AUDIO_SERVER=pulse (a PulseAudio null sink, with the
// sine of VX_TONE_HZ at VX_TONE_DBFS playing) or none (no audio server).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "live_Main/host/VxHostLibraries.h"
#include "tests/sources/loopback/VxLoopbackTestSupport.h"

using namespace vxtest;

namespace {

// Ends a stray installation left by a test program that died, so the
// system's own enumerator answers.
class SystemEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    VxToolsTestEnv::Instance();
    ASSERT_TRUE(VxHostLibraries::Instance().LoadTools());
    (void)VxTestEndpointControl::Remove();
    ASSERT_FALSE(VxTestEndpointControl::IsInstalled());
  }
};
const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new SystemEnvironment);

TEST(LoopbackSystem, EndsAsTheSystemAnswersPromptlyWithoutLeaks) {
  const char* server = std::getenv("VX_AUDIO_SERVER");
  ASSERT_TRUE(server) << "run through run_with_audio_server.sh";

  // One cycle first, so that the audio stack's own threads and caches exist
  // before counting; every cycle ends the same way.
  auto cycle = [] {
    VxTestSink sink;
    const std::vector<std::string> log = OpenAndDelete(sink, -1);
    EXPECT_EQ(log.size(), 1u);
    return log.empty() ? std::string() : log[0];
  };
  const std::string failure = cycle();
  std::printf("the system answered: %s\n", failure.c_str());
  // Any capture step may be the one that fails, with the result it got.
  EXPECT_TRUE(std::regex_match(
      failure,
      std::regex(R"(No device|IMMDevice::Activate\(IAudioClient\) failed: hr = 0x[0-9a-f]{8}|)"
                 R"(IAudioClient::(GetMixFormat|Initialize|Start) failed: hr = 0x[0-9a-f]{8}|)"
                 R"(IAudioClient::GetService\(IAudioCaptureClient\) failed: hr 0x[0-9a-f]{8})")))
      << failure;
  if (std::string(server) == "pulse") {
    EXPECT_EQ(failure, "IAudioClient::GetService(IAudioCaptureClient) failed: hr 0x88890003");
  }

  const VxProcessProbe before = VxProcessProbe::Take();
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(cycle(), failure);
  EXPECT_TRUE(VxProcessProbe::ThreadsSettleAtMost(before.threads));
  EXPECT_LE(VxProcessProbe::HandleSlot(), before.handleSlot + 5);
}

// The sine another program plays into the null sink arrives through the whole
// capture path at the frequency and level it was played with; with no audio
// server the forwarding endpoint has nothing to activate and Open fails.
TEST(LoopbackSystem, RealPlayedSineArrivesAtItsFrequencyAndLevel) {
  const char* server = std::getenv("VX_AUDIO_SERVER");
  ASSERT_TRUE(server) << "run through run_with_audio_server.sh";
  VxTestEndpointConfig config;
  config.realCapture = 1;
  config.realCaptureEndpoint = L"Monitor of Null Output";
  VxTestEndpointScope endpoint(config);
  ASSERT_TRUE(endpoint.ok());
  if (std::string(server) != "pulse") {
    VxTestSink sink;
    const std::vector<std::string> log = OpenAndDelete(sink, -1);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        log[0], std::regex(R"(IMMDevice::Activate\(IAudioClient\) failed: hr = 0x[0-9a-f]{8})")))
        << log[0];
    return;
  }
  ASSERT_TRUE(std::getenv("VX_TONE_HZ") && std::getenv("VX_TONE_DBFS"));
  const double playedHz = std::atof(std::getenv("VX_TONE_HZ"));
  const double playedDb = std::atof(std::getenv("VX_TONE_DBFS"));
  // The first channel of 32-bit float blocks, from the first sample of the tone on.
  std::vector<float> v;
  VxAudioFormat format;
  VxTestSink sink([&](uint64_t, const void* data, size_t bytes) {
    if (sink.formats.empty())
      return false;
    format = sink.formats.back();
    const auto* samples = static_cast<const float*>(data);
    for (size_t i = 0; i + format.blockAlign <= bytes; i += format.blockAlign)
      if (!v.empty() || std::fabs(samples[i / 4]) > 0.01f)
        v.push_back(samples[i / 4]);
    return true;
  });
  ASSERT_TRUE(RunSource(kLoopback, u"", sink, [&](const VxTestSink&) {
    return v.size() >= 44100 / 2;
  })) << "half a second of the tone within a minute";
  ASSERT_EQ(format.bitsPerSample, 32);
  ASSERT_EQ(format.blockAlign, 4 * format.channels);

  // The median distance of rising zero crossings (interpolated) gives the
  // frequency, unmoved by a stretch the capture lost on a busy machine; the
  // peak gives the level.
  std::vector<double> crossings, periods;
  float peak = 0;
  for (size_t i = 1; i < v.size(); ++i) {
    if (v[i - 1] < 0 && v[i] >= 0)
      crossings.push_back(static_cast<double>(i - 1) + v[i - 1] / (v[i - 1] - v[i]));
    peak = std::max(peak, std::fabs(v[i]));
  }
  ASSERT_GT(crossings.size(), 10u);
  for (size_t i = 1; i < crossings.size(); ++i)
    periods.push_back(crossings[i] - crossings[i - 1]);
  std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
  const double hz = format.sampleRate / periods[periods.size() / 2];
  const double db = 20 * std::log10(peak);
  std::printf("played %.1f Hz at %.1f dBFS; recorded %.2f Hz at %.2f dBFS (%u Hz, %u ch)\n",
              playedHz, playedDb, hz, db, format.sampleRate, format.channels);
  EXPECT_NEAR(hz, playedHz, playedHz * 0.005);
  EXPECT_NEAR(db, playedDb, 1.0);
}

}  // namespace
