// The reference host's commands. Each command lives in its own file and adds
// itself to the command list with one VxHostCommandRegistration at namespace
// scope, so a new command is a new file plus its line in CMakeLists.txt:
//
//   const VxHostCommandRegistration kRegistration{
//       {L"drivers", L"", L"lists the ASIO drivers", RunDriversCommand}};
//
// A command receives the arguments after its name and returns the process exit
// code: 0 success, 1 failure, 2 bad usage.
#pragma once

#include <cstddef>
#include <vector>

struct VxHostCommand {
  const wchar_t* name;
  const wchar_t* usage;    // arguments, for help
  const wchar_t* summary;  // one line, for help
  int (*run)(int argc, wchar_t** argv);
};

// Adds a command to the list while static objects are constructed.
struct VxHostCommandRegistration {
  explicit VxHostCommandRegistration(const VxHostCommand& command);
};

// Every registered command, sorted by name.
std::vector<VxHostCommand> VxHostCommands();
// The command named `name`, or null.
const VxHostCommand* VxFindHostCommand(const wchar_t* name);
// Prints the command list to stdout.
void VxPrintHostHelp();
