// vxhost sources: creates the source behind every factory index 0 to 3, reads
// its answers to GetInfo codes 0 to 3, deletes it again, and shows the answers
// as a table (or as they are, with --raw).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "reference/host/VxConsoleText.h"
#include "reference/host/VxHostCommands.h"
#include "reference/host/VxHostPlugin.h"

namespace {

constexpr int kInfoBufferChars = 1024;

}  // namespace

int RunSourcesCommand(int argc, wchar_t** argv) {
  const bool raw = argc == 1 && std::wcscmp(argv[0], L"--raw") == 0;
  if (argc > 1 || (argc == 1 && !raw)) {
    VxPrint(stderr, L"usage: vxhost sources [--raw]\n");
    return 2;
  }
  VxHostPlugin host;
  if (!host.LoadPlugin()) {
    VxPrint(stderr, L"sources: %ls\n", host.Error().c_str());
    return 1;
  }
  if (!raw)
    VxPrint(stdout, L"%-6ls %-10ls %-26ls %ls\n", L"index", L"name", L"kind",
            L"settings and dialog");
  int found = 0;
  for (int32_t index = 0; index <= 3; ++index) {
    IVxAudioLive* source = reinterpret_cast<IVxAudioLive*>(1);
    const int32_t result = host.GetLivePlugin()(index, &source);
    if (result != 0 || !source) {
      if (raw)
        VxPrint(stdout, L"index %d: no source (GetLivePlugin: %d, out %ls)\n", index, result,
                source ? L"not null" : L"null");
      if (source && result != 0) {
        VxPrint(stderr, L"sources: GetLivePlugin(%d) failed but did not clear its out\n", index);
        return 1;
      }
      continue;
    }
    ++found;
    wchar_t text[4][kInfoBufferChars];
    int32_t answers[4];
    for (int32_t code = 0; code <= 3; ++code) {
      std::memset(text[code], 0, sizeof(text[code]));
      answers[code] = source->GetInfo(code, text[code]);
    }
    VxDeleteSource(source);
    if (raw) {
      VxPrint(stdout, L"index %d: \"%ls\" (GetInfo 0: %d)", index, text[0], answers[0]);
      for (int32_t code = 1; code <= 3; ++code) {
        VxPrint(stdout, L", GetInfo %d: %d", code, answers[code]);
        if (text[code][0])
          VxPrint(stdout, L" \"%ls\"", text[code]);
      }
      VxPrint(stdout, L"\n");
      continue;
    }
    // GetInfo 2 tells a source that captures a device of this computer (1)
    // from one fed by another program (0); a source with stored settings
    // (GetInfo 3) is the one with a settings dialog.
    const wchar_t* kind = answers[2] == 1   ? L"captures a local device"
                          : answers[2] == 0 ? L"fed by another program"
                                            : L"unknown";
    std::wstring settings = L"none";
    if (answers[3] == 1)
      settings = std::wstring(L"yes, with a dialog: ") + text[3];
    VxPrint(stdout, L"%-6d %-10ls %-26ls %ls\n", index, answers[0] == 0 ? text[0] : L"?", kind,
            settings.c_str());
  }
  if (found == 0) {
    VxPrint(stderr, L"sources: VxLive.dll offers no source\n");
    return 1;
  }
  VxPrint(stdout, L"%d source(s)\n", found);
  return 0;
}

namespace {

const VxHostCommandRegistration kRegistration{
    {L"sources", L"[--raw]",
     L"lists the sources GetLivePlugin offers for indices 0 to 3 (--raw: the bare answers)",
     RunSourcesCommand}};

}  // namespace
