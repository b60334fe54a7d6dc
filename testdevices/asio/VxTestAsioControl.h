// Control of the test ASIO driver for tests, benchmarks and the reference
// host: registering VxTestAsio.dll in the running Wine prefix, writing a
// driver instance's configuration (VxTestAsioConfig::Save), reading its call
// log back, and the expected signal (VxTestAsioSignal.h).
//
// Windows only; registry and file access of the calling process, no state.
#pragma once

#include <string>
#include <vector>

#include "testdevices/asio/VxTestAsioClock.h"
#include "testdevices/asio/VxTestAsioConfig.h"
#include "testdevices/asio/VxTestAsioRegistration.h"
#include "testdevices/asio/VxTestAsioSignal.h"

// VxTestAsio.dll in the running program's folder.
std::wstring VxTestAsioDefaultDllPath();

// Loads the DLL and calls its DllRegisterServer / DllUnregisterServer, as
// regsvr32 does: every class ID gets its class key and HKLM\Software\ASIO key.
[[nodiscard]] bool VxTestAsioRegisterDll(const std::wstring& dllPath);
[[nodiscard]] bool VxTestAsioUnregisterDll(const std::wstring& dllPath);

// One line of a call log, split as "name(args) = result detail". Lines that
// start "FAULT: " (a host fault the driver saw) or "LATE: " (a switch made
// while stop() returns) keep that tag in `tag` and are split after it.
struct VxTestAsioLogLine {
  std::string text;    // the whole line
  std::string tag;     // "FAULT", "LATE", "note" or empty
  std::string name;    // "createBuffers", "Release", "bufferSwitch", "created" ...
  std::string args;    // between the parentheses, as written
  std::string result;  // after " = " up to the next blank; empty without one
  std::string detail;  // the rest after the result
  bool IsFault() const { return tag == "FAULT"; }
};

VxTestAsioLogLine VxTestAsioParseLogLine(const std::string& line);
// Every complete line of the log at `path` (a line still being written is
// left out); empty when the file does not exist.
std::vector<VxTestAsioLogLine> VxTestAsioReadCallLog(const std::wstring& path);
// The lines named `name`, in order.
std::vector<VxTestAsioLogLine> VxTestAsioFind(const std::vector<VxTestAsioLogLine>& log,
                                              const std::string& name);
// The FAULT lines, in order.
std::vector<VxTestAsioLogLine> VxTestAsioFaults(const std::vector<VxTestAsioLogLine>& log);
