// What one instance of the test ASIO driver is told to be, and where that is
// kept: registry values under
//   HKEY_CURRENT_USER\Software\VxTestAsio\<root>\{class ID}
// where <root> is the process's VXTESTASIO_ROOT environment variable, or
// "Default" without it (so test programs running at the same time can keep
// their configurations apart). README.md lists every value.
//
// The driver reads the whole configuration at init(); the class object reads
// only the log file and the "create" fault when an object is asked for.
// Windows only; no thread safety of its own (each driver copies it).
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "sources/asio/VxAsioInterface.h"

// Steps that can be told to fail (bits of VxTestAsioConfig::faults).
enum VxTestAsioFault : unsigned {
  kVxTestAsioFailCreate = 1u << 0,  // the class object cannot be created
  kVxTestAsioFailInit = 1u << 1,    // init answers false; getErrorMessage gives the text
  kVxTestAsioFailGetChannels = 1u << 2,
  kVxTestAsioFailCanSampleRate = 1u << 3,
  kVxTestAsioFailSetSampleRate = 1u << 4,
  kVxTestAsioFailGetBufferSize = 1u << 5,
  kVxTestAsioFailCreateBuffers = 1u << 6,
  kVxTestAsioFailStart = 1u << 7,
  kVxTestAsioFailGetLatencies = 1u << 8,
  kVxTestAsioFailGetChannelInfo = 1u << 9,
};

enum class VxTestAsioSwitchCallback {
  kAsHostSays = 0,  // bufferSwitchTimeInfo when asioMessage(kAsioSupportsTimeInfo) answers 1
  kBufferSwitch = 1,
  kTimeInfo = 2,
};

enum class VxTestAsioPace {
  kRealTime = 0,  // one switch per bufferSize / rate seconds
  kFast = 1,      // switches back to back
};

struct VxTestAsioConfig {
  std::wstring name;         // getDriverName; also the HKLM\Software\ASIO key name
  std::wstring description;  // the "Description" value of that key
  long version = 1;
  long inputs = 8;
  long outputs = 2;
  // Sample type of input channel i is sampleTypes[i]; the last entry holds for
  // every channel after it. Outputs use the type of input 0.
  std::vector<ASIOSampleType> sampleTypes{ASIOSTInt32LSB};
  long minBufferSize = 64;
  long maxBufferSize = 2048;
  long preferredBufferSize = 256;
  long granularity = -1;  // -1: powers of two; 0: only one size
  std::vector<double> sampleRates{44100.0, 48000.0, 96000.0};
  double currentRate = 48000.0;
  ASIOError outputReadyResult = ASE_NotPresent;
  VxTestAsioSwitchCallback switchCallback = VxTestAsioSwitchCallback::kAsHostSays;
  VxTestAsioPace pace = VxTestAsioPace::kRealTime;
  unsigned long switchLimit = 0;  // 0: no limit
  bool firstSwitchInStart = false;
  bool stopWhileSwitching = false;
  // stop(), called while a switch is inside the host, returns at once.
  bool stopDuringSwitch = false;
  // init() makes a window on the calling thread and posts it a message; the
  // stream begins switching only once that thread has dispatched it, as with
  // drivers that run their device from a window of the creating thread.
  bool initPostsMessage = false;
  // One client per device, as most drivers are: init() of a second instance
  // of this class, in any process, fails while another one is initialised.
  bool singleClient = false;
  // Every instance of this class in the process drives the same hardware: a
  // call of one instance that changes the stream (createBuffers, start, stop,
  // disposeBuffers, setSampleRate) while another instance's buffers exist
  // stops that stream and is reported as a FAULT.
  bool sharedHardware = false;
  // After the run messages (a reset request, a rate change) the driver makes
  // no further switch until stop(), as many real drivers do.
  bool stallAfterRunMessages = false;
  long nullBufferChannel = -1;         // input channel given a missing buffer half
  unsigned long nullBufferHalves = 0;  // bit 0: half 0, bit 1: half 1
  // asioMessage(selector, value) calls made in createBuffers, answers logged.
  std::vector<std::pair<long, long>> messages;
  // The same, sent right after the first switch of every run, from the thread
  // that made it; selector -1 calls sampleRateDidChange(value) instead.
  std::vector<std::pair<long, long>> runMessages;
  unsigned faults = 0;  // VxTestAsioFault bits
  std::string errorMessage = "The test driver was told to fail init";
  std::wstring logFile;  // call log; empty: none

  ASIOSampleType InputType(long channel) const;

  // Reads the configuration of driver `index`; missing values keep the
  // defaults above (name and description default to "VxTestAsio <index + 1>").
  static VxTestAsioConfig Load(int index);
  // Replaces the stored configuration of driver `index` with this one.
  [[nodiscard]] bool Save(int index) const;
  // Removes the stored configuration of driver `index`.
  static void Erase(int index);
};

// The class IDs served by the DLL, one per independent driver instance.
inline constexpr int kVxTestAsioDriverCount = 8;
const CLSID& VxTestAsioClassId(int index);
// Index of `clsid` among the served class IDs, or -1.
int VxTestAsioIndexOf(REFCLSID clsid);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::wstring VxTestAsioClassIdText(int index);
// Registry path of driver `index`'s configuration, below HKEY_CURRENT_USER.
std::wstring VxTestAsioConfigPath(int index);

// Fault names as written in the "Fail" value, and back.
unsigned VxTestAsioParseFaults(const std::wstring& text);
std::wstring VxTestAsioFaultText(unsigned faults);
