// Test environment for programs that load the reference tools library
// (VxTools.dll), directly or through the plug-in.
//
// VxToolsTestEnv::Instance() prepares the process on first use: a log file of
// its own in the temporary folder, a settings root of its own (so the registry
// keys of one test program never meet another's), and headless message boxes
// (logged and answered with OK unless a test sets VXTOOLS_MESSAGEBOX_ANSWER).
// The options go into the process environment and, when VxTools.dll is already
// loaded, straight into the library, so it does not matter whether the
// library is loaded before or after. Call it before the code under test logs.
// The settings root is deleted from the registry when the process ends.
//
// Log lines read back are the library's UTF-8 lines without the line end:
//   time<TAB>category<TAB>thread id<TAB>source<TAB>message
// Windows only.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

class IVxTools;

struct VxLogEntry {
  std::string time;  // "YYYY-MM-DD HH:MM:SS.mmm", local time
  int category = 0;
  unsigned long thread = 0;
  std::string source;
  std::string message;  // \r, \n and \t written as two characters each
};
// Splits one log line into its fields; false when it does not have them.
bool VxParseLogLine(const std::string& line, VxLogEntry& out);

class VxToolsTestEnv {
 public:
  static VxToolsTestEnv& Instance();

  // The settings root's registry path relative to HKEY_CURRENT_USER.
  std::wstring SettingsRegistryPath() const;
  // Folder of the running test program, with a trailing backslash.
  static std::wstring ExeFolder();

  // Sets a tools-library option for this process (a null value removes it).
  void SetOption(const wchar_t* name, const wchar_t* value);

  // Loads VxTools.dll from the program's folder (once) and returns its
  // interface; null when the library or its entry point is missing.
  IVxTools* LoadTools();

  std::vector<std::string> ReadLogLines() const;
  size_t LogLineCount() const { return ReadLogLines().size(); }
  // Lines from `fromLine` on that contain `substring`.
  std::vector<std::string> FindLogLines(std::string_view substring, size_t fromLine = 0) const;

  // Removes the settings root and everything below it.
  void DeleteSettings();

 private:
  VxToolsTestEnv();
  ~VxToolsTestEnv();

  std::wstring logPath_;
  std::wstring settingsRoot_;
  HMODULE tools_ = nullptr;  // kept loaded for the process's life
};
