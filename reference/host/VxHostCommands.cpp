#include "reference/host/VxHostCommands.h"
#include "reference/host/VxConsoleText.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace {

// A function-local list, so that registrations in other files may run first.
std::vector<VxHostCommand>& CommandList() {
  static std::vector<VxHostCommand> commands;
  return commands;
}

int RunHelpCommand(int, wchar_t**) {
  VxPrintHostHelp();
  return 0;
}

const VxHostCommandRegistration kRegistration{
    {L"help", L"", L"shows this list (also: vxhost --help, -h)", RunHelpCommand}};

}  // namespace

VxHostCommandRegistration::VxHostCommandRegistration(const VxHostCommand& command) {
  CommandList().push_back(command);
}

std::vector<VxHostCommand> VxHostCommands() {
  std::vector<VxHostCommand> commands = CommandList();
  std::sort(commands.begin(), commands.end(), [](const VxHostCommand& a, const VxHostCommand& b) {
    return std::wcscmp(a.name, b.name) < 0;
  });
  return commands;
}

const VxHostCommand* VxFindHostCommand(const wchar_t* name) {
  for (const VxHostCommand& command : CommandList())
    if (std::wcscmp(command.name, name) == 0)
      return &command;
  return nullptr;
}

void VxPrintHostHelp() {
  VxPrint(stdout,
          L"vxhost: a reference host for the VxLive.dll plug-in.\n"
          L"The libraries are taken from the folder of vxhost.exe.\n\n"
          L"usage: vxhost <command> [arguments]   (vxhost <command> --help for its options)\n\n"
          L"Commands:\n");
  for (const VxHostCommand& command : VxHostCommands())
    VxPrint(stdout, L"  vxhost %ls %ls\n      %ls\n", command.name, command.usage, command.summary);
}
