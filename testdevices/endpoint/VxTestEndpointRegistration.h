// Puts the test endpoint in front of the system's audio device enumerator in
// the prefix, and takes it away again.
//
// Wine's COM reads class registrations from the machine's classes only (a
// per-user registration under HKCU\Software\Classes does not shadow them), so
// Install overwrites the enumerator class's InprocServer32 under
// HKLM\Software\Classes and keeps the previous server path under
// HKCU\Software\VxTestEndpointRegistration; Remove writes it back. Install is
// idempotent (the first saved path stays saved) and Remove is safe to call
// when nothing is installed. Windows only; call from one thread at a time.
#pragma once

#include <string>

class VxTestEndpointRegistration {
 public:
  [[nodiscard]] static bool Install(const std::wstring& dllPath) noexcept;
  [[nodiscard]] static bool Remove() noexcept;
  // The server path the enumerator's class ID resolves to now (empty if none).
  static std::wstring CurrentServer() noexcept;
};
