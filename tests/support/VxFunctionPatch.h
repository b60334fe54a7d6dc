// Sends calls of a system function in this process to a replacement while the
// patch lives (mov rax, target; jmp rax over the function's first 12 bytes),
// for tests that must see what code under test asks the system for (for
// example the task name given to the multimedia class scheduler, which
// Wine's Avrt.dll accepts whatever it is). Windows x64 only; install and
// remove it while no other thread can be inside the function.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "foundation/VxHandle.h"

class VxFunctionPatch {
 public:
  VxFunctionPatch(const wchar_t* dll, const char* name, void* target)
      : module_(::LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    auto* at =
        reinterpret_cast<uint8_t*>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), name)));
    uint8_t code[12] = {0x48, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xE0};
    std::memcpy(code + 2, &target, 8);
    if (at) {
      std::memcpy(saved_, at, sizeof saved_);
      at_ = Write(at, code) ? at : nullptr;
    }
  }
  ~VxFunctionPatch() {
    if (at_)
      Write(at_, saved_);
  }
  VxFunctionPatch(const VxFunctionPatch&) = delete;
  VxFunctionPatch& operator=(const VxFunctionPatch&) = delete;
  bool Installed() const { return at_ != nullptr; }

 private:
  static bool Write(uint8_t* at, const uint8_t (&code)[12]) {
    DWORD old = 0;
    if (!::VirtualProtect(at, sizeof code, PAGE_EXECUTE_READWRITE, &old))
      return false;
    std::memcpy(at, code, sizeof code);
    ::VirtualProtect(at, sizeof code, old, &old);
    return ::FlushInstructionCache(::GetCurrentProcess(), at, sizeof code) != FALSE;
  }
  VxModule module_;
  uint8_t* at_ = nullptr;
  uint8_t saved_[12] = {};
};
