// The loopback source on the system's own audio stack: without the test
// endpoint it must capture what plays where the stack can capture loopback
// (Wine 10), and elsewhere end the way the capture steps say for whatever the
// stack answers, promptly and without leaving anything behind; through the
// test endpoint's forwarding to the null sink's monitor it must carry what
// another program plays there. The script that runs this program says which
// stack to expect: VX_AUDIO_SERVER=pulse (a PulseAudio null sink, with frames
// that carry their own numbers playing, scripts/frames.py) or none (no audio
// server).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
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

// Wine's major version, 0 outside Wine.
int WineMajor() {
  using Version = const char*(__cdecl*)();
  const auto version = reinterpret_cast<Version>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
  return version ? std::atoi(version()) : 0;
}

// Follows the numbers the player's frames carry (left: the low 16 bits,
// right: the high bits plus one) through float blocks of the first two
// channels: leading silence, then frames captured, missing and repeated.
struct NumberedFrames {
  uint64_t leading = 0, captured = 0, missing = 0, repeated = 0;
  bool started = false;
  uint32_t expected = 0;

  void Feed(const float* samples, size_t frames, size_t channels) {
    for (size_t f = 0; f < frames; ++f) {
      const auto code = [&](size_t c) {
        return static_cast<uint32_t>(std::lround(samples[f * channels + c] * 32768.0f)) & 0xFFFF;
      };
      const uint32_t low = code(0), high = code(1);
      if (!started && low == 0 && high == 0) {
        ++leading;
        continue;
      }
      const uint32_t number = low | ((high - 1) & 0xFFFF) << 16;
      if (started && number < expected)
        ++repeated;
      else if (started && number > expected)
        missing += number - expected;
      if (!started || number >= expected)
        expected = number + 1;
      started = true;
      ++captured;
    }
  }
  std::string Text(uint32_t rate) const {
    char text[160];
    std::snprintf(text, sizeof text,
                  "%.2f s of numbered frames, %llu missing, %llu repeated, %.1f ms leading silence",
                  static_cast<double>(captured) / rate, static_cast<unsigned long long>(missing),
                  static_cast<unsigned long long>(repeated), leading * 1000.0 / rate);
    return text;
  }
};

// Captures until `seconds` of numbered frames arrived (within a minute).
void CaptureNumbered(double seconds, NumberedFrames& frames, VxAudioFormat& format) {
  VxTestSink sink([&](uint64_t, const void* data, size_t bytes) {
    if (sink.formats.empty())
      return false;
    format = sink.formats.back();
    if (format.bitsPerSample != 32 || format.channels < 2)
      return false;
    frames.Feed(static_cast<const float*>(data), bytes / format.blockAlign, format.channels);
    return true;
  });
  ASSERT_TRUE(RunSource(kLoopback, u"", sink,
                        [&](const VxTestSink&) { return frames.captured >= seconds * 44100; }))
      << "the numbered frames within a minute: " << frames.Text(44100);
  EXPECT_EQ(sink.mismatches, 0u) << "a block not in 32-bit float of two or more channels";
}

TEST(LoopbackSystem, EndsAsTheSystemAnswersPromptlyWithoutLeaks) {
  const char* server = std::getenv("VX_AUDIO_SERVER");
  ASSERT_TRUE(server) << "run through run_with_audio_server.sh";
  if (std::string(server) == "pulse" && WineMajor() >= 10) {
    // Wine 10 captures the loopback of its render endpoint, the null sink,
    // through its own stack: what the player plays there arrives.
    NumberedFrames frames;
    VxAudioFormat format;
    CaptureNumbered(2.0, frames, format);
    std::printf("Wine %d's own loopback capture: %s (%u Hz, %u ch)\n", WineMajor(),
                frames.Text(format.sampleRate).c_str(), format.sampleRate, format.channels);
    EXPECT_EQ(frames.repeated, 0u);
    return;
  }

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
    // Wine before 10 cannot capture the loopback of a render endpoint.
    EXPECT_EQ(failure, "IAudioClient::GetService(IAudioCaptureClient) failed: hr 0x88890003");
  }

  const VxProcessProbe before = VxProcessProbe::Take();
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(cycle(), failure);
  EXPECT_TRUE(VxProcessProbe::ThreadsSettleAtMost(before.threads));
  EXPECT_LE(VxProcessProbe::HandleSlot(), before.handleSlot + 5);
}

// The frames another program plays into the null sink arrive through the
// whole capture path in order, each once; with no audio server the
// forwarding endpoint has nothing to activate and Open fails.
TEST(LoopbackSystem, RealPlayedFramesArriveInOrderThroughTheForwardingEndpoint) {
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
  NumberedFrames frames;
  VxAudioFormat format;
  CaptureNumbered(1.0, frames, format);
  // Frames a busy machine's audio stack dropped are reported; the main job's
  // real-sound step is the one that allows none.
  std::printf("through the forwarding endpoint: %s (%u Hz, %u ch)\n",
              frames.Text(format.sampleRate).c_str(), format.sampleRate, format.channels);
  EXPECT_EQ(frames.repeated, 0u);
  EXPECT_LE(frames.leading, format.sampleRate / 100) << "more than one packet of leading silence";
}

}  // namespace
