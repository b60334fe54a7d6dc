/* Process exit with a source still open: the host ends with ExitProcess and
 * never deletes the source or frees the plug-in, as a real host does when the
 * user closes it. The tools library logs its own detach and every call that
 * reaches it while the process is ending (on Windows it may be gone by then). */
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "c_host.h"

typedef int32_t (*OpenFn)(void* self, const wchar_t* parameters, void* sink);

/* A sink that takes everything; the run never gets far enough to need more. */
static int32_t __cdecl SinkSetFormat(void* self, const void* format) {
  (void)self;
  (void)format;
  return 0;
}
static void __cdecl SinkWrite(void* self, const void* data, int32_t bytes, char flag) {
  (void)self;
  (void)data;
  (void)bytes;
  (void)flag;
}
static void __cdecl SinkEnded(void* self) {
  (void)self;
}
static void* const kSinkTable[3] = {(void*)SinkSetFormat, (void*)SinkWrite, (void*)SinkEnded};
static struct { void* const* table; } gSink = {kSinkTable};

/* Child: opens the IPC source on a pipe whose other end stays silent, so its
 * thread sits in a read, then ends the process. */
void RunExitChild(void) {
  wchar_t dll[MAX_PATH];
  HostFolder(dll, MAX_PATH);
  wcscat(dll, L"VxLive.dll");
  HMODULE plugin = LoadLibraryW(dll);
  GetLivePluginFn getLivePlugin =
      plugin ? (GetLivePluginFn)(void*)GetProcAddress(plugin, "GetLivePlugin") : NULL;
  void* source = NULL;
  if (!getLivePlugin || getLivePlugin(2, &source) != 0 || !source)
    ExitProcess(3);
  wchar_t name[64];
  swprintf(name, 64, L"\\\\.\\pipe\\livemain_c_host_exit_%lu", GetCurrentProcessId());
  HANDLE server =
      CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 65536, 65536, 0, NULL);
  HANDLE client = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
  if (server == INVALID_HANDLE_VALUE || client == INVALID_HANDLE_VALUE)
    ExitProcess(4);
  wchar_t parameters[64];
  swprintf(parameters, 64, L"pipe=0x%llx", (unsigned long long)(ULONG_PTR)server);
  OpenFn open = (OpenFn)(*(void***)source)[1];
  if (open(source, parameters, &gSink) != 0)
    ExitProcess(5);
  ExitProcess(0);
}

void RunExit(void) {
  wchar_t logPath[MAX_PATH], settingsRoot[128], folder[MAX_PATH], exe[MAX_PATH], cmd[512];
  PrepareToolsEnvironment(logPath, settingsRoot);
  HostFolder(folder, MAX_PATH);
  swprintf(exe, MAX_PATH, L"%lslivemain_c_host.exe", folder);
  swprintf(cmd, 512, L"\"%ls\" exit-child", exe);
  DWORD code = 1;
  /* "At once": well within the time a loaded machine needs to start Wine. */
  const DWORD kExitWaitMs = 20000;
  const int finished = RunChild(exe, cmd, folder, kExitWaitMs, &code);
  CHECK(finished, "the host did not end within %lu ms of ExitProcess", kExitWaitMs);
  CHECK(code == 0, "the exiting host ended with exit code %lu", code);
  CHECK(LogContains(logPath, "Initialize (module: VxLive.dll"), "the plug-in never initialised");
  CHECK(LogContains(logPath, "Process detach (process exit: 1)"),
        "the tools library did not record its detach at process exit");
  CHECK(!LogContains(logPath, "Late call during process exit"),
        "the plug-in called the tools library while the process was ending");
  if (g_failures) {
    char* log = ReadWholeFile(logPath);
    printf("--- tools log ---\n%s--- end ---\n", log ? log : "");
    free(log);
  }
  DeleteToolsEnvironment(logPath, settingsRoot);
}
