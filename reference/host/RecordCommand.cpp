// vxhost record: records one of the plug-in's sources into a WAV file. This
// file reads the options; the run itself is VxRecorder.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <string>

#include "reference/host/VxConsoleText.h"
#include "reference/host/VxHostCommands.h"
#include "reference/host/VxHostPlugin.h"
#include "reference/host/VxRecorder.h"

namespace {

void PrintUsage() {
  VxPrint(stdout,
          L"usage: vxhost record <file.wav> [--source NAME] [options]\n"
          L"  Records a source of the plug-in into a WAV file; stops when the source\n"
          L"  ends, after --seconds, or on Ctrl+C. The summary gives each channel's\n"
          L"  peak, RMS level and number of clipped samples.\n"
          L"  --source NAME       the source to record (default %ls)\n"
          L"  --seconds S         stop after S seconds (default: when the stream ends)\n"
          L"  --quiet             no progress lines\n"
          L"  --stats             each progress line also gives this process's private\n"
          L"                      and resident bytes, handle table slot and threads\n",
          VxRecordSources().front().name);
  for (const VxRecordSourceEntry& entry : VxRecordSources())
    VxPrint(stdout, L"\n--source %ls: %ls\n%ls", entry.name, entry.summary, entry.options);
}

const VxRecordSourceEntry* FindSource(const std::wstring& name) {
  for (const VxRecordSourceEntry& entry : VxRecordSources())
    if (name == entry.name)
      return &entry;
  return nullptr;
}

// --source decides who parses the other options, so it is found first.
bool ParseSource(int argc, wchar_t** argv, VxRecordOptions& o, std::wstring& error) {
  o.entry = &VxRecordSources().front();
  for (int i = 1; i < argc; ++i) {
    if (std::wstring(argv[i]) != L"--source")
      continue;
    const wchar_t* v = VxRecordOptionValue(argc, argv, i, error);
    if (!v)
      return false;
    if (!(o.entry = FindSource(v))) {
      error = L"--source \"" + std::wstring(v) + L"\": no such source (see record --help)";
      return false;
    }
  }
  o.source = o.entry->create();
  return true;
}

bool ParseSeconds(const wchar_t* v, VxRecordOptions& o, std::wstring& error) {
  wchar_t* end = nullptr;
  o.seconds = std::wcstod(v, &end);
  if (end == v || *end != 0 || !(o.seconds > 0) || !std::isfinite(o.seconds)) {
    error = L"--seconds \"" + std::wstring(v) + L"\": expected a number of seconds above 0";
    return false;
  }
  return true;
}

bool ParseOptions(int argc, wchar_t** argv, VxRecordOptions& o, std::wstring& error) {
  if (argc < 1 || argv[0][0] == L'-') {
    error = L"the output file comes first";
    return false;
  }
  o.output = VxHostAbsolutePath(argv[0]);
  if (!ParseSource(argc, argv, o, error))
    return false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--source") {
      ++i;
    } else if (a == L"--seconds") {
      const wchar_t* v = VxRecordOptionValue(argc, argv, i, error);
      if (!v || !ParseSeconds(v, o, error))
        return false;
    } else if (a == L"--quiet") {
      o.quiet = true;
    } else if (a == L"--stats") {
      o.stats = true;
    } else if (!o.source->ParseOption(argc, argv, i, error)) {
      return false;
    }
  }
  return o.source->CheckOptions(error);
}

int RunRecordCommand(int argc, wchar_t** argv) {
  if (argc >= 1 && (wcscmp(argv[0], L"--help") == 0 || wcscmp(argv[0], L"-h") == 0)) {
    PrintUsage();
    return 0;
  }
  VxRecordOptions o;
  std::wstring error;
  if (!ParseOptions(argc, argv, o, error)) {
    VxPrint(stderr,
            L"record: %ls\nusage: vxhost record <file.wav> [--source NAME] [options] "
            L"(vxhost record --help lists them)\n",
            error.c_str());
    return 2;
  }
  return VxRecord(o);
}

const VxHostCommandRegistration kRegistration{
    {L"record", L"<file.wav> [--source NAME] [options]",
     L"records a source of the plug-in into a WAV file (record --help)", RunRecordCommand}};

}  // namespace
