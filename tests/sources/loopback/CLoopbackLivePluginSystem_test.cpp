// The loopback source on the system's own audio stack (no test endpoint): it
// must end the way the capture steps say for whatever that stack answers,
// promptly and without leaving anything behind. The script that runs this
// program says which stack to expect: VX_AUDIO_SERVER=pulse (a PulseAudio
// null sink) or none (no audio server reachable).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "live_Main/IVxAudioLive.h"
#include "live_Main/VxHostLibraries.h"
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

bool IsCaptureFailureLine(const std::string& message) {
  for (const char* prefix :
       {"No device", "IMMDevice::Activate(IAudioClient) failed: hr = 0x",
        "IAudioClient::GetMixFormat failed: hr = 0x", "IAudioClient::Initialize failed: hr = 0x",
        "IAudioClient::GetService(IAudioCaptureClient) failed: hr 0x",
        "IAudioClient::Start failed: hr = 0x"})
    if (message.rfind(prefix, 0) == 0)
      return true;
  return false;
}

TEST(LoopbackSystem, EndsAsTheSystemAnswersPromptlyWithoutLeaks) {
  const char* server = std::getenv("VX_AUDIO_SERVER");
  ASSERT_TRUE(server) << "run through run_with_audio_server.sh";
  const std::string expected = server;

  // One cycle first, so that the audio stack's own threads and caches exist
  // before counting.
  auto cycle = [](std::string* failure) {
    VxTestEndpointConfig unused;
    LoopbackSink sink(unused);
    const size_t logFrom = VxToolsTestEnv::Instance().LogLineCount();
    IVxAudioLive* source = nullptr;
    ASSERT_EQ(GetLivePlugin(1, &source), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(source->Open(u"", &sink), -1);
    VxDeleteSource(source);
    EXPECT_LT(ElapsedMs(start), 10000);
    EXPECT_EQ(sink.writes, 0);
    const std::vector<std::string> log = CaptureLog(logFrom);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "Start");
    EXPECT_TRUE(IsCaptureFailureLine(log[1])) << log[1];
    EXPECT_EQ(log[2].rfind("Finish (", 0), 0u) << log[2];
    *failure = log[1];
  };
  std::string failure;
  cycle(&failure);
  if (HasFatalFailure())
    return;
  std::printf("the system answered: %s\n", failure.c_str());
  if (expected == "pulse") {
    EXPECT_EQ(failure, "IAudioClient::GetService(IAudioCaptureClient) failed: hr 0x88890003");
  }

  const VxProcessProbe before = VxProcessProbe::Take();
  for (int i = 0; i < 20; ++i) {
    std::string again;
    cycle(&again);
    if (HasFatalFailure())
      return;
    EXPECT_EQ(again, failure);
  }
  EXPECT_TRUE(VxProcessProbe::ThreadsSettleAtMost(before.threads));
  EXPECT_LE(VxProcessProbe::HandleSlot(), before.handleSlot + 5);
}

}  // namespace
