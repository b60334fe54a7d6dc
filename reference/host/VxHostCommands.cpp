#include "reference/host/VxHostCommands.h"

#include <cstdio>
#include <cwchar>
#include <iterator>

namespace {

const VxHostCommand kCommands[] = {
    {L"layout", L"<dir>",
     L"copies vxhost.exe and the libraries into <dir> and makes it a portable host folder",
     RunLayoutCommand},
    {L"register", L"",
     L"registers VxLive.dll (settings root \"vxhost\") and prints what it wrote under "
     L"Plugins\\Live",
     RunRegisterCommand},
    {L"sources", L"", L"lists the sources GetLivePlugin offers for indices 0 to 3",
     RunSourcesCommand},
    {L"record", L"<file.wav> [options]",
     L"records the IPC source, fed by vxproducer.exe, into a WAV file (record --help)",
     RunRecordCommand},
    {L"help", L"", L"shows this list", RunHelpCommand},
};

}  // namespace

const VxHostCommand* VxHostCommands(size_t* count) {
  *count = std::size(kCommands);
  return kCommands;
}

const VxHostCommand* VxFindHostCommand(const wchar_t* name) {
  for (const VxHostCommand& command : kCommands)
    if (std::wcscmp(command.name, name) == 0)
      return &command;
  return nullptr;
}

int RunHelpCommand(int, wchar_t**) {
  std::wprintf(
      L"vxhost: a reference host for the VxLive.dll plug-in.\n"
      L"The libraries are taken from the folder of vxhost.exe.\n\nCommands:\n");
  for (const VxHostCommand& command : kCommands)
    std::wprintf(L"  vxhost %ls %ls\n      %ls\n", command.name, command.usage, command.summary);
  return 0;
}
