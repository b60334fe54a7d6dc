// vxhost sources: creates the source behind every factory index 0 to 3, reads
// its answers to GetInfo codes 0 to 3, and deletes it again.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "reference/host/VxHostCommands.h"
#include "reference/host/VxHostPlugin.h"

namespace {

constexpr int kInfoBufferChars = 1024;

}  // namespace

int RunSourcesCommand(int argc, wchar_t**) {
  if (argc != 0) {
    std::fwprintf(stderr, L"usage: vxhost sources\n");
    return 2;
  }
  VxHostPlugin host;
  if (!host.LoadPlugin()) {
    std::fwprintf(stderr, L"sources: %ls\n", host.Error().c_str());
    return 1;
  }
  int found = 0;
  for (int32_t index = 0; index <= 3; ++index) {
    IVxAudioLive* source = reinterpret_cast<IVxAudioLive*>(1);
    const int32_t result = host.GetLivePlugin()(index, &source);
    if (result != 0 || !source) {
      std::wprintf(L"index %d: no source (GetLivePlugin: %d, out %ls)\n", index, result,
                   source ? L"not null" : L"null");
      if (source && result != 0)
        return 1;  // the factory must clear *out
      continue;
    }
    ++found;
    wchar_t text[kInfoBufferChars];
    std::memset(text, 0, sizeof(text));
    const int32_t nameResult = source->GetInfo(0, text);
    std::wprintf(L"index %d: \"%ls\" (GetInfo 0: %d)", index, text, nameResult);
    for (int32_t code = 1; code <= 3; ++code) {
      std::memset(text, 0, sizeof(text));
      const int32_t info = source->GetInfo(code, text);
      std::wprintf(L", GetInfo %d: %d", code, info);
      if (text[0])
        std::wprintf(L" \"%ls\"", text);
    }
    std::wprintf(L"\n");
    VxDeleteSource(source);
  }
  if (found == 0) {
    std::fwprintf(stderr, L"sources: VxLive.dll offers no source\n");
    return 1;
  }
  std::wprintf(L"%d source(s)\n", found);
  return 0;
}

namespace {

const VxHostCommandRegistration kRegistration{
    {L"sources", L"", L"lists the sources GetLivePlugin offers for indices 0 to 3",
     RunSourcesCommand}};

}  // namespace
