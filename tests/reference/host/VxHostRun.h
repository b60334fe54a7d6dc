// Running the reference host from a test: a host folder laid out by vxhost,
// and programs run with their output in a pipe.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "foundation/VxHandle.h"
#include "tests/support/VxToolsTestEnv.h"

// Starts `exe` with the inheritable handle `output` as its standard output
// and error; the test runner's standard handles are made uninheritable first.
inline bool VxStartChild(const std::wstring& exe,
                         const std::wstring& arguments,
                         HANDLE output,
                         DWORD flags,
                         PROCESS_INFORMATION& pi) {
  for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
    SetHandleInformation(GetStdHandle(which), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = output;
  std::wstring command = L"\"" + exe + L"\" " + arguments;
  return CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        nullptr, &si, &pi) != FALSE;
}

// A program running with its output in a pipe. The child inherits only the
// pipe's write end: a standard handle of the test runner kept alive by a child
// would keep the runner waiting.
struct Program {
  VxHandle process;
  VxFileHandle output;
  DWORD id = 0;

  Program(const std::wstring& exe, const std::wstring& arguments) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    VxFileHandle write;
    HANDLE read = nullptr;
    if (!CreatePipe(&read, write.put(), &sa, 1 << 20))
      return;
    output.reset(read);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    PROCESS_INFORMATION pi = {};
    if (!VxStartChild(exe, arguments, write.get(), CREATE_NO_WINDOW, pi))
      return;
    process.reset(pi.hProcess);
    VxHandle thread(pi.hThread);
    id = pi.dwProcessId;
  }
  // Reads output until `text` has appeared after `from`; false at its end.
  bool ReadUntil(std::string& seen, const char* text, size_t from = 0) {
    char buffer[4096];
    DWORD n = 0;
    while (seen.find(text, from) == std::string::npos) {
      if (!ReadFile(output.get(), buffer, sizeof buffer, &n, nullptr) || n == 0)
        return false;
      seen.append(buffer, n);
    }
    return true;
  }
  // Waits for the end; returns the exit code, with all output in `seen`.
  int Finish(std::string& seen) {
    ReadUntil(seen, "\x01never printed\x01");
    if (WaitForSingleObject(process.get(), 120000) != WAIT_OBJECT_0)
      TerminateProcess(process.get(), 99);
    DWORD code = 99;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
  }
};

struct ProgramRun {
  int exitCode = -1;
  std::string output;
};

inline ProgramRun RunProgram(const std::wstring& exe, const std::wstring& arguments) {
  Program program(exe, arguments);
  ProgramRun run;
  run.exitCode = program.process ? program.Finish(run.output) : -1;
  return run;
}

inline bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// A host folder made by "vxhost layout" under the temporary folder, named
// `prefix` and the process id; with a trailing backslash.
inline std::wstring VxLayOutHostFolder(const wchar_t* prefix) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder =
      std::wstring(temp) + prefix + std::to_wstring(GetCurrentProcessId()) + L"\\";
  const ProgramRun layout = RunProgram(VxToolsTestEnv::ExeFolder() + L"vxhost.exe",
                                       L"layout \"" + folder.substr(0, folder.size() - 1) + L"\"");
  EXPECT_EQ(layout.exitCode, 0) << layout.output;
  return folder;
}
