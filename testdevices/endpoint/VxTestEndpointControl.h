// Control library of the test audio endpoint, for tests, benchmarks and the
// main job: put the endpoint in front of the system's device enumerator, tell
// it what to be, read what it recorded, and compute the bytes it serves.
//
// Windows only. Not thread-safe: drive it from one thread. The registry state
// it changes belongs to the whole prefix, so programs that use it must not run
// at the same time (CTest: RESOURCE_LOCK vx_test_endpoint).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "testdevices/endpoint/VxTestEndpointConfig.h"
#include "testdevices/endpoint/VxTestEndpointSignal.h"

// One line of the record file (format in VxTestEndpointRecord.h).
struct VxTestRecordLine {
  std::string event;
  unsigned long tid = 0;
  std::string apartment;
  bool com = false;  // the thread had initialised COM itself
  std::map<std::string, std::string> fields;

  std::string Field(const std::string& name) const;
  // The field as a number (decimal, or hexadecimal with 0x); 0 when missing.
  uint64_t Number(const std::string& name) const;
};

// What a record says about one capture session, for the common checks.
struct VxTestRecordSummary {
  uint64_t packets = 0;         // GetBuffer lines that handed out frames
  uint64_t releasedFrames = 0;  // frames of ReleaseBuffer lines that succeeded
  uint64_t lostFrames = 0;      // frames the engine buffer overwrote before they were fetched
  uint64_t sizeCalls = 0;       // GetNextPacketSize calls, from the stream summaries
  bool paired = true;  // every GetBuffer with frames released with the same count before the next
  uint32_t initializeCalls = 0;
  uint32_t startCalls = 0;
  uint32_t stopCalls = 0;
  uint32_t registered = 0;               // successful RegisterControlChangeNotify
  uint32_t unregistered = 0;             // successful UnregisterControlChangeNotify
  uint32_t callbacksLeft = 0;            // callbacks still registered when their volume object died
  std::map<std::string, int> created;    // by kind
  std::map<std::string, int> destroyed;  // by kind
  std::vector<unsigned long>
      streamThreads;  // distinct threads of GetBuffer/ReleaseBuffer/Start/Stop
  std::vector<std::string> streamApartments;  // their apartments, in the same order
};

class VxTestEndpointControl {
 public:
  // VxTestEndpoint.dll beside the running program.
  static std::wstring DllPath();

  // Registers the endpoint for the enumerator's class ID / restores the
  // system's registration.
  [[nodiscard]] static bool Install(const std::wstring& dllPath = DllPath());
  [[nodiscard]] static bool Remove();
  static bool IsInstalled(const std::wstring& dllPath = DllPath());

  // Empties (or creates) the record file.
  [[nodiscard]] static bool ResetRecord(const std::wstring& path);
  static std::vector<VxTestRecordLine> ReadRecord(const std::wstring& path);
  static VxTestRecordSummary Summarize(const std::vector<VxTestRecordLine>& lines);

  // Asks the endpoint loaded in this process to append its live objects to
  // the record; returns their number (0 when the endpoint is not loaded).
  static uint32_t WriteLiveObjects();

  // The bytes of frames [firstFrame, firstFrame + frames) as the endpoint serves them.
  static std::vector<uint8_t> ExpectedBytes(const VxTestEndpointConfig& config,
                                            uint64_t firstFrame,
                                            uint32_t frames);
};

// Scoped use of the endpoint: writes the configuration and installs the
// endpoint; the destructor removes it and clears the configuration.
class VxTestEndpointScope {
 public:
  explicit VxTestEndpointScope(const VxTestEndpointConfig& config);
  ~VxTestEndpointScope();
  VxTestEndpointScope(const VxTestEndpointScope&) = delete;
  VxTestEndpointScope& operator=(const VxTestEndpointScope&) = delete;

  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};
