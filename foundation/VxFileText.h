// Reading a whole file into memory. The file is opened with every sharing
// mode, so a log or record that another thread or process is still appending
// to can be read while it grows.
//
// Windows only; header only.
#pragma once

#include <windows.h>

#include <string>

#include "foundation/VxHandle.h"

// Appends the file's bytes to `out`. False when it does not exist or cannot
// be opened; a read error ends the text early.
[[nodiscard]] inline bool VxReadWholeFile(const wchar_t* path, std::string& out) {
  VxFileHandle file(::CreateFileW(path, GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file)
    return false;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    out.append(buffer, got);
  return true;
}
