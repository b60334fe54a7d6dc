// Puts the test endpoint in front of the system's audio device enumerator,
// and takes it away again, leaving the registry as it found it.
//
// Where the class is registered:
// - on Windows, per user, under HKCU\Software\Classes: COM reads that before
//   the machine's classes, so the machine registration (on Windows a
//   REG_EXPAND_SZ "%SystemRoot%\System32\MMDevApi.dll" that every program's
//   audio depends on) is never touched;
// - under Wine, whose COM reads the machine's classes only, in
//   HKLM\Software\Classes; outside Wine only when forced (the environment
//   variable VXTESTENDPOINT_MACHINE=1; =0 forces the per-user classes).
// Install saves, under HKCU\Software\VxTestEndpointRegistration, the exact
// type and bytes of the two values it overwrites (or that they were missing)
// and the first key it had to create; Remove writes the bytes back, deletes
// values that were missing, and deletes only the keys Install created.
// Install is idempotent (the first saved state stays saved) and Remove is
// safe to call when nothing is installed. Windows only; one thread at a time.
#pragma once

#include <string>

class VxTestEndpointRegistration {
 public:
  [[nodiscard]] static bool Install(const std::wstring& dllPath) noexcept;
  [[nodiscard]] static bool Remove() noexcept;
  // The server path the enumerator's class ID resolves to now (empty if none).
  static std::wstring CurrentServer() noexcept;
  // True in a Wine prefix.
  static bool UnderWine() noexcept;
  // Whether Install writes the machine's classes (under Wine, or forced).
  static bool UsesMachineClasses() noexcept;
};
