// The checks of "vxhost validate": whether a plug-in build keeps the contract
// the host relies on, tried through the raw tables only (VxRawPlugin.h), the
// way a host built by another compiler uses it.
//
// Every call into the plug-in runs on one call thread with a time limit
// (VxCallThread.h): a call that does not return fails its check as hung and
// the checks go on on a fresh thread. Each check reports one result as soon as
// it is known.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "reference/host/VxCallThread.h"
#include "reference/host/VxRawPlugin.h"
#include "reference/host/VxRecordSource.h"

struct VxCheckResult {
  enum class Verdict { kPass, kFail, kSkip };
  explicit VxCheckResult(std::wstring checkName) : name(std::move(checkName)) {}
  std::wstring name;
  Verdict verdict = Verdict::kPass;
  std::wstring expected;
  std::wstring seen;
  double ms = 0;
};

// What a source needs to stream: an opener that has set up the device (the
// test driver, the test endpoint, a producer) and stays alive until the
// source is deleted, and the parameter string for Open.
struct VxStreamDevice {
  std::unique_ptr<VxRecordSource> opener;
  std::wstring parameters;
};

struct VxValidatorSetup {
  VxRawFactory factory = nullptr;
  VxRawRegisterServer registerServer = nullptr;
  std::wstring pluginPath;
  // Registry path under HKEY_CURRENT_USER where DllRegisterServer's settings
  // root lies (emptied before registration).
  std::wstring settingsRoot;
  // Sets up a device for the source called `name`; false with `why` when
  // none is available (the stream checks are then skipped).
  std::function<bool(const std::wstring& name, VxStreamDevice& device, std::wstring& why)>
      streamDevice;
  std::function<void(const VxCheckResult&)> report;
};

class VxPluginValidator {
 public:
  // The longest a delete may take, also with a switch held inside the host.
  static constexpr DWORD kDeleteLimitMs = 5000;
  // The limit of every other call but Open.
  static constexpr DWORD kCallLimitMs = 5000;

  explicit VxPluginValidator(VxValidatorSetup setup);
  // Runs every check; the results went to `report`.
  void Run();
  // True when some call did not return (its thread still runs).
  bool AnyHung() const { return hung_; }

 private:
  struct Source {
    int32_t index;
    std::wstring name;
  };
  // Runs `call` on the call thread within `limitMs`; on a hang marks `r`
  // failed, naming `what`, and starts a fresh call thread.
  bool Call(std::function<void()> call, DWORD limitMs, VxCheckResult& r, const std::wstring& what);
  static std::wstring Number(long long n);
  static std::wstring Join(const std::vector<std::wstring>& parts);
  bool Create(int32_t index, VxRawSource& source, VxCheckResult& r);
  bool Delete(const VxRawSource& source, VxCheckResult& r);
  void Fail(VxCheckResult& r, const std::wstring& seen);
  void Report(VxCheckResult& r);

  void CheckVersionResource();
  void CheckFactory();
  void CheckInfo(const Source& s);
  void CheckReservedAndConfigure(const Source& s);
  void CheckCycles(const Source& s);
  void CheckOpenRefusal(const Source& s, const wchar_t* kind, const wchar_t* parameters);
  void CheckStream(const Source& s);
  // Sources of a sound card (VxPluginDeviceChecks.cpp).
  void CheckSharedDevice(const Source& s);
  void CheckDeleteWhileHeld(const Source& s);
  // A source with a settings dialog (VxPluginDialogCheck.cpp).
  void CheckDialog(const Source& s);
  // Sets up the device for source `s`; false with `r` marked skipped, saying
  // why, when there is none.
  bool DeviceFor(const Source& s, VxStreamDevice& device, VxCheckResult& r);
  // Creates a source, opens it with `parameters` and waits for its first
  // block. False when a call hung or the factory failed; `result` is Open's
  // answer and `sink` its sink when Open returned.
  bool OpenStreaming(const Source& s,
                     const std::wstring& parameters,
                     VxRawSource& source,
                     VxRawSink*& sink,
                     int32_t& result,
                     VxCheckResult& r);
  void CheckRegistration();  // and CheckVersionResource: VxPluginRegistrationChecks.cpp

  VxValidatorSetup setup_;
  std::unique_ptr<VxCallThread> thread_;
  std::vector<Source> sources_;
  std::vector<std::unique_ptr<VxRawSink>> sinks_;  // live until the process ends
  struct {
    bool present = false;
    std::wstring productVersion, company, copyright;
  } resource_;
  bool hung_ = false;
};
