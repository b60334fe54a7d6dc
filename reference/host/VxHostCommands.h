// The reference host's commands: each command is one function in its own file,
// listed in the table of VxHostCommands.cpp. A command receives the arguments
// after its name and returns the process exit code (0 success).
#pragma once

#include <cstddef>

struct VxHostCommand {
  const wchar_t* name;
  const wchar_t* usage;    // arguments, for help
  const wchar_t* summary;  // one line, for help
  int (*run)(int argc, wchar_t** argv);
};

int RunLayoutCommand(int argc, wchar_t** argv);
int RunRegisterCommand(int argc, wchar_t** argv);
int RunSourcesCommand(int argc, wchar_t** argv);
int RunRecordCommand(int argc, wchar_t** argv);
int RunHelpCommand(int argc, wchar_t** argv);

// The command table, and its number of entries.
const VxHostCommand* VxHostCommands(size_t* count);
// The command named `name`, or null.
const VxHostCommand* VxFindHostCommand(const wchar_t* name);
