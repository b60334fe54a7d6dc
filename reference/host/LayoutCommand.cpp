// vxhost layout <dir>: makes <dir> a portable host folder with this program,
// the plug-in and the host libraries beside it.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "reference/host/VxConsoleText.h"
#include "reference/host/VxHostCommands.h"
#include "reference/host/VxHostPlugin.h"

namespace {

const wchar_t* const kRequiredFiles[] = {L"VxLive.dll", L"VxTools.dll", L"VxImage.dll"};
// Copied when present: the IPC producer that "vxhost record" starts and the
// test devices the main job installs (ASIO driver, audio endpoint).
const wchar_t* const kOptionalFiles[] = {L"vxproducer.exe", L"VxTestAsio.dll",
                                         L"VxTestEndpoint.dll"};

bool CreateFolderTree(const std::wstring& folder) {
  if (::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS)
    return true;
  if (::GetLastError() != ERROR_PATH_NOT_FOUND)
    return false;
  const size_t slash = folder.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash < 3)
    return false;
  if (!CreateFolderTree(folder.substr(0, slash)))
    return false;
  return ::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool Copy(const std::wstring& from, const std::wstring& to) {
  if (::CopyFileW(from.c_str(), to.c_str(), FALSE)) {
    VxPrint(stdout, L"  copied %ls\n", to.c_str());
    return true;
  }
  VxPrint(stderr, L"layout: cannot copy %ls to %ls: %ls\n", from.c_str(), to.c_str(),
          VxSystemErrorText(::GetLastError()).c_str());
  return false;
}

// A launcher for running the folder under Wine on Linux: the folder gets its
// own Wine prefix beside the programs, so nothing depends on a build tree.
//
// When Wine looks for sound devices, the system's sound libraries (ALSA) print
// their complaints straight to the terminal, where the program itself cannot
// stop them; the launcher drops those lines from the error output unless
// VXHOST_SOUND_MESSAGES is set. Everything else passes as it comes, and the
// exit code is the program's.
const char kLauncher[] =
    "#!/bin/sh\n"
    "# Runs this folder's vxhost.exe under Wine with the folder's own prefix:\n"
    "#   sh vxhost.sh record out.wav --seconds 5\n"
    "# WINEPREFIX and WINE (the wine program) may be set to override;\n"
    "# VXHOST_SOUND_MESSAGES=1 shows what the sound libraries print.\n"
    "here=$(cd \"$(dirname \"$0\")\" && pwd)\n"
    "export WINEPREFIX=\"${WINEPREFIX:-$here/wineprefix}\"\n"
    "export WINEDEBUG=\"${WINEDEBUG:--all}\"\n"
    "wine=${WINE:-$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)}\n"
    "if [ -n \"${VXHOST_SOUND_MESSAGES:-}\" ]; then\n"
    "  exec \"$wine\" \"$here/vxhost.exe\" \"$@\"\n"
    "fi\n"
    "status=$(mktemp)\n"
    "trap 'rm -f \"$status\"' EXIT\n"
    "{ { \"$wine\" \"$here/vxhost.exe\" \"$@\" 2>&1 1>&3 3>&-; echo $? >\"$status\"; } |\n"
    "  (trap '' INT; grep --line-buffered -v '^ALSA lib ' >&2); } 3>&1\n"
    "code=$(cat \"$status\")\n"
    "exit \"${code:-1}\"\n";

bool WriteFileText(const std::wstring& path, const char* text, size_t size) {
  VxFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !::WriteFile(file.get(), text, static_cast<DWORD>(size), &written, nullptr) ||
      written != size) {
    VxPrint(stderr, L"layout: cannot write %ls: %ls\n", path.c_str(),
            VxSystemErrorText(::GetLastError()).c_str());
    return false;
  }
  VxPrint(stdout, L"  wrote %ls\n", path.c_str());
  return true;
}

}  // namespace

int RunLayoutCommand(int argc, wchar_t** argv) {
  if (argc != 1) {
    VxPrint(stderr, L"usage: vxhost layout <dir>\n");
    return 2;
  }
  std::wstring target = VxHostAbsolutePath(argv[0]);
  while (target.size() > 3 && (target.back() == L'\\' || target.back() == L'/'))
    target.pop_back();
  if (!CreateFolderTree(target)) {
    VxPrint(stderr, L"layout: cannot create %ls: %ls\n", target.c_str(),
            VxSystemErrorText(::GetLastError()).c_str());
    return 1;
  }
  target += L'\\';
  const std::wstring source = VxHostFolder();
  if (_wcsicmp(source.c_str(), target.c_str()) == 0) {
    VxPrint(stderr, L"layout: %ls is this program's own folder\n", target.c_str());
    return 1;
  }
  VxPrint(stdout, L"Laying out a portable host folder in %ls\n", target.c_str());

  wchar_t self[MAX_PATH * 4] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  bool ok = Copy(self, target + L"vxhost.exe");
  for (const wchar_t* file : kRequiredFiles)
    ok = Copy(source + file, target + file) && ok;
  for (const wchar_t* file : kOptionalFiles)
    if (::GetFileAttributesW((source + file).c_str()) != INVALID_FILE_ATTRIBUTES)
      ok = Copy(source + file, target + file) && ok;

  const char kMarkerText[] = "portable install\r\n";
  if (!WriteFileText(target + L"Portable.dat", kMarkerText, sizeof(kMarkerText) - 1) ||
      !WriteFileText(target + L"vxhost.sh", kLauncher, sizeof(kLauncher) - 1))
    return 1;
  if (!ok)
    return 1;
  VxPrint(stdout,
          L"Done: run \"vxhost register\" and \"vxhost sources\" from %ls\n"
          L"(under Wine on Linux: \"sh vxhost.sh register\", which uses the folder's own prefix)\n",
          target.c_str());
  return 0;
}

namespace {

const VxHostCommandRegistration kRegistration{
    {L"layout", L"<dir>",
     L"copies vxhost.exe and the libraries into <dir> and makes it a portable host folder",
     RunLayoutCommand}};

}  // namespace
