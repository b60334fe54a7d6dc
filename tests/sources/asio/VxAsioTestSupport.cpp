#include "tests/sources/asio/VxAsioTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Allocations this thread may still make before they fail; -1: no limit.
thread_local long t_allocationsLeft = -1;

}  // namespace

void* operator new(size_t size) {
  if (t_allocationsLeft == 0)
    throw std::bad_alloc();
  if (t_allocationsLeft > 0)
    --t_allocationsLeft;
  if (void* p = std::malloc(size ? size : 1))
    return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}

namespace vxasiotest {

namespace {

std::wstring Root() {
  return L"AsioSource " + std::to_wstring(::GetCurrentProcessId());
}

}  // namespace

void FailAllocationsAfter(long count) {
  t_allocationsLeft = count;
}

Translations::Translations() {
  const std::wstring path = VxToolsTestEnv::ExeFolder() + L"\\asio-translations.txt";
  FILE* file = _wfopen(path.c_str(), L"wb");
  EXPECT_NE(file, nullptr);
  if (!file)
    return;
  std::fputs(
      "The ASIO device does not support the sample rate of %d Hz.\t"
      "Rate: %d Hz is not supported (100%% sure, %%s stays)\n"
      "The ASIO device does not support %d input channels.\\r\\n\\r\\n(card supports %d input "
      "channels maximum)\tChannels: %d asked, %d there (100%% sure)\n"
      "ASIO can only support %d concurrent outputs at once -- playback can not continue.\t"
      "Slots: only %d at once (100%% busy)\n"
      "Information\tNotice\n",
      file);
  std::fclose(file);
  VxToolsTestEnv::Instance().SetOption(L"VXTOOLS_TRANSLATION_FILE", path.c_str());
}

Translations::~Translations() {
  VxToolsTestEnv::Instance().SetOption(L"VXTOOLS_TRANSLATION_FILE", nullptr);
}

std::u16string Parameters(int driver, int rate, int channels, int shift) {
  const std::wstring id = VxTestAsioClassIdText(driver);
  const VxString encoded = VxUrlEncode(VxString(id.c_str()));
  const std::string tail = "&samplerate=" + std::to_string(rate) +
                           "&channels=" + std::to_string(channels) +
                           "&channelshift=" + std::to_string(shift);
  return u"deviceid=" + std::u16string(encoded) + std::u16string(tail.begin(), tail.end());
}

std::vector<std::string> PluginLogLines(size_t from) {
  std::vector<std::string> out;
  const auto lines = VxToolsTestEnv::Instance().ReadLogLines();
  for (size_t i = from; i < lines.size(); ++i) {
    VxLogEntry e;
    if (!VxParseLogLine(lines[i], e) || e.source.rfind("CASIOLivePlugin::", 0) != 0)
      continue;
    EXPECT_EQ(e.category, 64) << e.source << " " << e.message;
    // Elapsed times vary; keep only the word.
    const std::string message = e.message.rfind("Finish", 0) == 0 ? "Finish" : e.message;
    out.push_back(e.source.substr(std::strlen("CASIOLivePlugin::")) + "|" + message);
  }
  return out;
}

void AsioSourceTest::SetUpTestSuite() {
  VxToolsTestEnv::Instance();
  ASSERT_TRUE(VxHostLibraries::Instance().LoadTools());
  ::SetEnvironmentVariableW(L"VXTESTASIO_ROOT", Root().c_str());
  ASSERT_TRUE(VxTestAsioRegisterDll(VxTestAsioDefaultDllPath()));
}

void AsioSourceTest::TearDownTestSuite() {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\VxTestAsio\\" + Root()).c_str());
}

void AsioSourceTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
}

void AsioSourceTest::TearDown() {
  for (int i = 0; i < kVxTestAsioDriverCount; ++i)
    VxTestAsioConfig::Erase(i);
  ::CoUninitialize();
}

VxTestAsioConfig& AsioSourceTest::Configure(int index, VxTestAsioConfig config) {
  static int counter = 0;  // a fresh call log each time
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  config.logFile =
      temp + Root() + L"-" + std::to_wstring(index) + L"-" + std::to_wstring(++counter) + L".log";
  ::DeleteFileW(config.logFile.c_str());
  EXPECT_TRUE(config.Save(index));
  configs_[index] = config;
  return configs_[index];
}

std::vector<VxTestAsioLogLine> AsioSourceTest::CallLog(int index) const {
  return VxTestAsioReadCallLog(configs_[index].logFile);
}

VxTestAsioConfig AsioSourceTest::FastDriver(ASIOSampleType type, long inputs, long switches) {
  VxTestAsioConfig config;
  config.inputs = inputs;
  config.sampleTypes = {type};
  config.pace = VxTestAsioPace::kFast;
  config.switchLimit = static_cast<unsigned long>(switches);
  config.preferredBufferSize = 64;
  return config;
}

void ExpectCleanDriverLog(const std::vector<VxTestAsioLogLine>& log) {
  for (const VxTestAsioLogLine& fault : VxTestAsioFaults(log))
    ADD_FAILURE() << fault.text;
  const auto releases = VxTestAsioFind(log, "Release");
  ASSERT_FALSE(releases.empty());
  EXPECT_EQ(releases.back().result, "0") << "references left at the last release";
  EXPECT_EQ(VxTestAsioFind(log, "created").size(), VxTestAsioFind(log, "destroyed").size());
}

}  // namespace vxasiotest
