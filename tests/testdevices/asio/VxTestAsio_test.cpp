// The test ASIO driver through the real COM path: registration in the prefix,
// a tiny host that creates buffers and receives switches, configured faults,
// and the report of a host that disposes of buffers under a running switch.
#include <windows.h>
// after windows.h, which they need
#include <objbase.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/VxHandle.h"
#include "testdevices/asio/VxTestAsioControl.h"

namespace {

constexpr DWORD kWaitMs = 20000;

std::wstring TempLogPath(const char* name) {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring path = std::wstring(temp) + L"vxtestasio-" +
                            std::to_wstring(::GetCurrentProcessId()) + L"-" +
                            std::wstring(name, name + std::strlen(name)) + L".log";
  ::DeleteFileW(path.c_str());
  return path;
}

std::wstring ReadText(HKEY root, const std::wstring& path, const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS)
    return L"<missing>";
  return value;
}

// What the host side saw; the callbacks carry no context, so it is global.
struct HostState {
  long timeInfoAnswer = 1;
  int firstChannel = 0;
  long bufferSize = 0;
  std::vector<ASIOBufferInfo> infos;
  std::vector<ASIOSampleType> types;
  std::atomic<int> switches{0};
  std::atomic<int> timeInfoSwitches{0};
  std::atomic<int> wrongIndex{0};
  std::atomic<int> mismatches{0};
  std::atomic<DWORD> firstThread{0};
  // A correct host's hand-over at stop: switches that begin after `closing`
  // return at once, and the host waits until none is in flight.
  std::atomic<bool> closing{false};
  std::atomic<int> inFlight{0};
  VxHandle exited{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  int switchesWanted = 0;
  VxHandle enough{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  // For the late-switch test: the callback waits for the host to dispose.
  std::atomic<bool> holdNextSwitch{false};
  VxHandle disposed{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  VxHandle heldSwitchDone{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};
HostState* g_host = nullptr;

void OnSwitch(long index) {
  HostState& h = *g_host;
  const int number = h.switches++;
  if (number == 0)
    h.firstThread = ::GetCurrentThreadId();
  if (index != (number & 1))
    ++h.wrongIndex;
  if (h.holdNextSwitch) {
    ::WaitForSingleObject(h.disposed.get(), kWaitMs);
    volatile unsigned char touched = *static_cast<unsigned char*>(h.infos[0].buffers[index]);
    (void)touched;
    ::SetEvent(h.heldSwitchDone.get());
    return;
  }
  std::vector<uint8_t> expected(8 * static_cast<size_t>(h.bufferSize));
  for (size_t c = 0; c < h.infos.size(); ++c) {
    const void* half = h.infos[c].buffers[index];
    if (!half)
      continue;
    const size_t bytes = static_cast<size_t>(VxTestAsioBytesPerSample(h.types[c])) * h.bufferSize;
    VxTestAsioFillChannel(h.types[c], h.infos[c].channelNum,
                          static_cast<uint64_t>(number) * h.bufferSize, h.bufferSize,
                          expected.data());
    if (std::memcmp(half, expected.data(), bytes) != 0)
      ++h.mismatches;
  }
  if (h.switches == h.switchesWanted)
    ::SetEvent(h.enough.get());
}

void GuardedSwitch(long index) {
  ++g_host->inFlight;
  if (!g_host->closing)
    OnSwitch(index);
  --g_host->inFlight;
  ::SetEvent(g_host->exited.get());
}
void BufferSwitch(long index, ASIOBool) {
  GuardedSwitch(index);
}
ASIOTime* BufferSwitchTimeInfo(ASIOTime*, long index, ASIOBool) {
  ++g_host->timeInfoSwitches;
  GuardedSwitch(index);
  return nullptr;
}
void SampleRateDidChange(ASIOSampleRate) {}
long AsioMessage(long selector, long, void*, double*) {
  return selector == kAsioSupportsTimeInfo ? g_host->timeInfoAnswer : 0;
}
ASIOCallbacks g_callbacks = {&BufferSwitch, &SampleRateDidChange, &AsioMessage,
                             &BufferSwitchTimeInfo};

int ThreadCount() {
  VxHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL ok = ::Thread32First(snapshot.get(), &entry); ok;
       ok = ::Thread32Next(snapshot.get(), &entry))
    count += entry.th32OwnerProcessID == ::GetCurrentProcessId();
  return count;
}

// A joined thread may stay listed for a moment; nothing to wait on but time.
bool ThreadCountSettlesAtMost(int expected) {
  const auto start = std::chrono::steady_clock::now();
  while (ThreadCount() > expected) {
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(5))
      return false;
    ::Sleep(5);
  }
  return true;
}

DWORD HandleCount() {
  DWORD count = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &count);
  return count;
}

SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(::GetCurrentProcess(),
                         reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  return counters.PrivateUsage;
}

class TestAsio : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Configurations of this program stay apart from any other's.
    ::SetEnvironmentVariableW(L"VXTESTASIO_ROOT",
                              (L"Test " + std::to_wstring(::GetCurrentProcessId())).c_str());
    ASSERT_TRUE(VxTestAsioRegisterDll(VxTestAsioDefaultDllPath()));
  }
  static void TearDownTestSuite() {
    ::RegDeleteTreeW(
        HKEY_CURRENT_USER,
        (L"Software\\VxTestAsio\\Test " + std::to_wstring(::GetCurrentProcessId())).c_str());
  }
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    g_host = &host_;
  }
  void TearDown() override {
    g_host = nullptr;
    ::CoUninitialize();
  }

  // Writes the configuration and creates driver `index` the way hosts do.
  IASIO* Create(int index, const VxTestAsioConfig& config) {
    EXPECT_TRUE(config.Save(index));
    IASIO* driver = nullptr;
    const CLSID& id = VxTestAsioClassId(index);
    const HRESULT hr = ::CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, id,
                                          reinterpret_cast<void**>(&driver));
    EXPECT_EQ(SUCCEEDED(hr), driver != nullptr);
    return driver;
  }

  // Creates buffers for inputs firstChannel .. firstChannel + count - 1.
  ASIOError CreateBuffers(IASIO* driver, int firstChannel, int count, long size) {
    host_.infos.assign(count, ASIOBufferInfo{});
    host_.types.assign(count, 0);
    host_.firstChannel = firstChannel;
    host_.bufferSize = size;
    for (int i = 0; i < count; ++i) {
      host_.infos[i].isInput = ASIOTrue;
      host_.infos[i].channelNum = firstChannel + i;
      ASIOChannelInfo info = {};
      info.channel = firstChannel + i;
      info.isInput = ASIOTrue;
      EXPECT_EQ(driver->getChannelInfo(&info), ASE_OK);
      host_.types[i] = info.type;
    }
    return driver->createBuffers(host_.infos.data(), count, size, &g_callbacks);
  }

  HostState host_;
};

TEST_F(TestAsio, RegistrationWritesClassAndAsioKeysOfEveryDriverAndUnregistrationRemovesThem) {
  const std::wstring dll = VxTestAsioDefaultDllPath();
  ASSERT_TRUE(VxTestAsioRegisterDll(dll));
  for (int i = 0; i < kVxTestAsioDriverCount; ++i) {
    const std::wstring id = VxTestAsioClassIdText(i);
    const std::wstring server = L"CLSID\\" + id + L"\\InprocServer32";
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, server, nullptr), dll);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, server, L"ThreadingModel"), L"Apartment");
    const std::wstring asio = L"Software\\ASIO\\VxTestAsio " + std::to_wstring(i + 1);
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, asio, L"CLSID"), id);
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, asio, L"Description"),
              L"VxTestAsio " + std::to_wstring(i + 1));
  }
  ASSERT_TRUE(VxTestAsioUnregisterDll(dll));
  EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, L"CLSID\\" + VxTestAsioClassIdText(0), nullptr),
            L"<missing>");
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, L"Software\\ASIO\\VxTestAsio 1", L"CLSID"), L"<missing>");
  ASSERT_TRUE(VxTestAsioRegisterDll(dll));
}

TEST_F(TestAsio, HostReceivesTheSignalInAlternatingHalvesAndTheLogShowsEveryCallInOrder) {
  struct Case {
    const char* name;
    VxTestAsioSwitchCallback callback;
    long hostAnswer;
    bool firstInStart;
    long nullHalves;  // of input channel 1
    bool expectTimeInfo;
  } cases[] = {
      {"ask-yes", VxTestAsioSwitchCallback::kAsHostSays, 1, false, 0, true},
      {"ask-no", VxTestAsioSwitchCallback::kAsHostSays, 0, false, 0, false},
      {"timeinfo-first-in-start", VxTestAsioSwitchCallback::kTimeInfo, 0, true, 2, true},
      {"switch-no-halves", VxTestAsioSwitchCallback::kBufferSwitch, 1, true, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HostState& h = host_;
    h.switches = 0;
    h.timeInfoSwitches = 0;
    h.mismatches = 0;
    h.wrongIndex = 0;
    h.switchesWanted = 8;
    h.timeInfoAnswer = c.hostAnswer;
    ::ResetEvent(h.enough.get());
    VxTestAsioConfig config;
    config.logFile = TempLogPath(c.name);
    config.pace = VxTestAsioPace::kFast;
    config.switchLimit = 8;
    config.switchCallback = c.callback;
    config.firstSwitchInStart = c.firstInStart;
    config.nullBufferChannel = 1;
    config.nullBufferHalves = c.nullHalves;
    // Mixed types, every one of a different size or byte order.
    config.sampleTypes = {ASIOSTInt16LSB,   ASIOSTInt24MSB,    ASIOSTFloat64LSB,
                          ASIOSTInt32LSB20, ASIOSTDSDInt8NER8, ASIOSTFloat32MSB};
    IASIO* driver = Create(2, config);
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(driver->setSampleRate(44100.0), ASE_OK);
    ASSERT_EQ(CreateBuffers(driver, 1, 5, 128), ASE_OK);
    EXPECT_EQ(h.infos[0].buffers[0] == nullptr, (c.nullHalves & 1) != 0);
    EXPECT_EQ(h.infos[0].buffers[1] == nullptr, (c.nullHalves & 2) != 0);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_EQ(::WaitForSingleObject(h.enough.get(), kWaitMs), WAIT_OBJECT_0);
    EXPECT_EQ(c.firstInStart, h.firstThread == ::GetCurrentThreadId());
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->Release(), 0u);

    EXPECT_EQ(h.switches, 8);
    EXPECT_EQ(h.timeInfoSwitches, c.expectTimeInfo ? 8 : 0);
    EXPECT_EQ(h.wrongIndex, 0);
    EXPECT_EQ(h.mismatches, 0);
    const auto log = VxTestAsioReadCallLog(config.logFile);
    std::vector<std::string> calls;
    for (const VxTestAsioLogLine& line : log)
      if (line.name != "getChannelInfo" && line.name != "AddRef" && line.name != "QueryInterface")
        calls.push_back(line.tag + line.name + "=" + line.result);
    const std::string first = c.expectTimeInfo ? "bufferSwitchTimeInfo=" : "bufferSwitch=";
    std::vector<std::string> expected = {"created=", "Release=1", "init=1", "setSampleRate=0",
                                         "createBuffers=0"};
    if (c.callback == VxTestAsioSwitchCallback::kAsHostSays)
      expected.push_back("asioMessage=" + std::to_string(c.hostAnswer));
    if (c.firstInStart)
      expected.insert(expected.end(), {first, "start=0"});
    else
      expected.insert(expected.end(), {"start=0", first});
    expected.insert(expected.end(),
                    {"idle=", "stop=0", "disposeBuffers=0", "Release=0", "destroyed="});
    // The driver's thread may log its switches before start() logs its result.
    if (!c.firstInStart) {
      EXPECT_EQ(std::erase(calls, "start=0"), 1u);
      std::erase(expected, "start=0");
    }
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(VxTestAsioFind(log, "stop").at(0).detail, "switches=8 outputReady=0");
  }
}

TEST_F(TestAsio, EveryConfiguredFaultFailsItsStep) {
  struct Case {
    const char* fault;
    bool (*fails)(IASIO*);
  } cases[] = {
      {"getChannels",
       [](IASIO* d) {
         long in = 0, out = 0;
         return d->getChannels(&in, &out) != ASE_OK;
       }},
      {"canSampleRate", [](IASIO* d) { return d->canSampleRate(48000.0) != ASE_OK; }},
      {"setSampleRate", [](IASIO* d) { return d->setSampleRate(48000.0) != ASE_OK; }},
      {"getBufferSize",
       [](IASIO* d) {
         long a, b, c, e;
         return d->getBufferSize(&a, &b, &c, &e) != ASE_OK;
       }},
      {"createBuffers",
       [](IASIO* d) {
         ASIOBufferInfo info = {ASIOTrue, 0, {nullptr, nullptr}};
         return d->createBuffers(&info, 1, 256, &g_callbacks) != ASE_OK && !info.buffers[0];
       }},
      {"start",
       [](IASIO* d) {
         ASIOBufferInfo info = {ASIOTrue, 0, {nullptr, nullptr}};
         const bool failed =
             d->createBuffers(&info, 1, 256, &g_callbacks) == ASE_OK && d->start() != ASE_OK;
         return failed && d->disposeBuffers() == ASE_OK;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    for (bool injected : {false, true}) {
      VxTestAsioConfig config;
      config.faults =
          injected ? VxTestAsioParseFaults(std::wstring(c.fault, c.fault + std::strlen(c.fault)))
                   : 0;
      IASIO* driver = Create(1, config);
      ASSERT_NE(driver, nullptr);
      ASSERT_EQ(driver->init(nullptr), ASIOTrue);
      EXPECT_EQ(c.fails(driver), injected);
      EXPECT_EQ(driver->Release(), 0u);
    }
  }

  VxTestAsioConfig config;
  config.faults = kVxTestAsioFailInit;
  config.errorMessage = "The converter lost its clock";
  IASIO* driver = Create(1, config);
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(driver->init(nullptr), ASIOFalse);
  char text[124] = {};
  driver->getErrorMessage(text);
  EXPECT_STREQ(text, "The converter lost its clock");
  EXPECT_EQ(driver->Release(), 0u);

  config.faults = kVxTestAsioFailCreate;
  EXPECT_EQ(Create(1, config), nullptr);
}

TEST_F(TestAsio, DisposingBuffersUnderARunningSwitchIsReportedWithTheTouchThatFollows) {
  VxTestAsioConfig config;
  config.logFile = TempLogPath("late");
  config.pace = VxTestAsioPace::kFast;
  config.stopWhileSwitching = true;
  config.switchCallback = VxTestAsioSwitchCallback::kBufferSwitch;
  host_.switchesWanted = 4;
  IASIO* driver = Create(3, config);
  ASSERT_NE(driver, nullptr);
  ASSERT_EQ(driver->init(nullptr), ASIOTrue);
  ASSERT_EQ(CreateBuffers(driver, 0, 2, 256), ASE_OK);
  ASSERT_EQ(driver->start(), ASE_OK);
  ASSERT_EQ(::WaitForSingleObject(host_.enough.get(), kWaitMs), WAIT_OBJECT_0);
  host_.holdNextSwitch = true;
  EXPECT_EQ(driver->stop(), ASE_OK);  // returns while the held switch runs
  EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
  ::SetEvent(host_.disposed.get());
  ASSERT_EQ(::WaitForSingleObject(host_.heldSwitchDone.get(), kWaitMs), WAIT_OBJECT_0);
  EXPECT_EQ(driver->Release(), 0u);

  const auto log = VxTestAsioReadCallLog(config.logFile);
  std::vector<std::string> faults;
  std::vector<std::string> notes;
  for (const VxTestAsioLogLine& line : log)
    if (line.tag == "FAULT")
      faults.push_back(line.name + " " + line.detail);
    else if (line.tag == "note" || line.tag == "LATE")
      notes.push_back(line.tag + " " + line.name);
  EXPECT_EQ(faults, std::vector<std::string>{"bufferTouched after disposeBuffers()"});
  // The final Release may come while the held switch is still returning.
  std::erase(notes, "note Release");
  EXPECT_EQ(notes, (std::vector<std::string>{"LATE bufferSwitch", "note disposeBuffers",
                                             "note bufferSwitch"}));
  EXPECT_EQ(VxTestAsioFind(log, "Release").back().result, "0");
}

}  // namespace

namespace {

TEST_F(TestAsio, ManyRunsLeaveNoThreadsHandlesOrMemoryBehind) {
  VxTestAsioConfig config;
  config.logFile = TempLogPath("cycles");
  config.pace = VxTestAsioPace::kFast;
  config.sampleTypes = {ASIOSTFloat64LSB};
  auto cycle = [&](int i) {
    host_.switches = 0;
    host_.switchesWanted = 4;
    host_.closing = false;
    ::ResetEvent(host_.enough.get());
    // Every other run returns from stop() while a switch runs; this host
    // waits for it before disposing, as a correct host must.
    config.stopWhileSwitching = i % 2 != 0;
    IASIO* driver = Create(4, config);
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(CreateBuffers(driver, 0, 8, 2048), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_EQ(::WaitForSingleObject(host_.enough.get(), kWaitMs), WAIT_OBJECT_0);
    host_.closing = true;
    ASSERT_EQ(driver->stop(), ASE_OK);
    while (host_.inFlight)
      ::WaitForSingleObject(host_.exited.get(), 1000);
    ASSERT_EQ(driver->disposeBuffers(), ASE_OK);
    ASSERT_EQ(driver->Release(), 0u);
  };
  for (int i = 0; i < 10; ++i)
    cycle(i);  // let COM and the runtime settle their own caches
  const int threads = ThreadCount();
  const DWORD handles = HandleCount();
  const SIZE_T privateBytes = PrivateBytes();
  for (int i = 0; i < 200 && !HasFatalFailure(); ++i)
    cycle(i);
  EXPECT_TRUE(ThreadCountSettlesAtMost(threads)) << ThreadCount() << " threads, " << threads;
  EXPECT_LE(HandleCount(), handles + 5);
  // Each run's buffers take 256 KiB: a leak would be 50 MiB.
  EXPECT_LT(static_cast<double>(PrivateBytes()),
            static_cast<double>(privateBytes) + 8.0 * 1024 * 1024);
  const auto log = VxTestAsioReadCallLog(config.logFile);
  EXPECT_EQ(VxTestAsioFaults(log).size(), 0u);
  EXPECT_EQ(VxTestAsioFind(log, "destroyed").size(), 210u);
  size_t late = 0;
  for (const VxTestAsioLogLine& line : log)
    late += line.tag == "LATE";
  EXPECT_GT(late, 0u);
}

}  // namespace
