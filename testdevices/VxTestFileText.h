// Whole-file reading for the control libraries of the test devices. Their
// call logs and records are appended to by the device while a test reads
// them, so the file is opened with every sharing mode.
//
// Windows only; header only.
#pragma once

#include <windows.h>

#include <string>

#include "foundation/VxHandle.h"

// The file's bytes; empty when it does not exist or cannot be opened.
inline std::string VxTestReadWholeFile(const std::wstring& path) {
  std::string text;
  VxFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file)
    return text;
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
    text.append(buffer, read);
  return text;
}
