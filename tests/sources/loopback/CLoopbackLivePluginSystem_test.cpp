// The loopback source on the system's own audio stack (no test endpoint): it
// must end the way the capture steps say for whatever that stack answers,
// promptly and without leaving anything behind. The script that runs this
// program says which stack to expect: VX_AUDIO_SERVER=pulse (a PulseAudio
// null sink) or none (no audio server reachable).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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
    VxTestEndpointConfig unused;
    LoopbackSink sink(unused);
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

}  // namespace
