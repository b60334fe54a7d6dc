// vxhost.exe: a console host that loads the plug-in the way the real host does.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "reference/host/VxConsoleText.h"
#include "reference/host/VxHostCommands.h"

int wmain(int argc, wchar_t** argv) {
  if (argc >= 2 && (std::wcscmp(argv[1], L"--help") == 0 || std::wcscmp(argv[1], L"-h") == 0)) {
    VxPrintHostHelp();
    return 0;
  }
  if (argc < 2) {
    VxPrintHostHelp();
    return 2;
  }
  const VxHostCommand* command = VxFindHostCommand(argv[1]);
  if (!command) {
    VxPrint(stderr, L"vxhost: unknown command \"%ls\" (try \"vxhost --help\")\n", argv[1]);
    return 2;
  }
  const int result = command->run(argc - 2, argv + 2);
  std::fflush(stdout);
  return result;
}
