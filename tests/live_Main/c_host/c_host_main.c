#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "c_host.h"

int g_failures = 0;

void HostFolder(wchar_t* out, size_t chars) {
  DWORD n = GetModuleFileNameW(NULL, out, (DWORD)chars);
  while (n > 0 && out[n - 1] != L'\\')
    --n;
  out[n] = 0;
}

int RunChild(const wchar_t* exe, wchar_t* cmd, const wchar_t* dir, DWORD waitMs, DWORD* code) {
  /* The child inherits none of this process's standard handles: Wine keeps a
   * handle of the test runner's pipe alive as long as any process holds it,
   * and the runner waits for that pipe to close. */
  SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, TRUE};
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &sa, OPEN_EXISTING, 0, NULL);
  const DWORD kStd[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (int i = 0; i < 3; ++i)
    SetHandleInformation(GetStdHandle(kStd[i]), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si;
  memset(&si, 0, sizeof(si));
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = nul;
  PROCESS_INFORMATION pi;
  const BOOL started =
      CreateProcessW(exe, cmd, NULL, NULL, TRUE, DETACHED_PROCESS, NULL, dir, &si, &pi);
  CloseHandle(nul);
  if (!started)
    return 0;
  const int ended = WaitForSingleObject(pi.hProcess, waitMs) == WAIT_OBJECT_0;
  if (!ended)
    TerminateProcess(pi.hProcess, 99);
  GetExitCodeProcess(pi.hProcess, code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return ended;
}

/* A per-process log file (MAX_PATH characters) and settings root (128) for the
 * tools library. */
void PrepareToolsEnvironment(wchar_t* logPath, wchar_t* settingsRoot) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  swprintf(logPath, MAX_PATH, L"%lslivemain_c_host_%lu.log", temp, GetCurrentProcessId());
  DeleteFileW(logPath);
  swprintf(settingsRoot, 128, L"livemain_c_host_%lu", GetCurrentProcessId());
  SetEnvironmentVariableW(L"VXTOOLS_LOG_FILE", logPath);
  SetEnvironmentVariableW(L"VXTOOLS_SETTINGS_ROOT", settingsRoot);
  SetEnvironmentVariableW(L"VXTOOLS_HEADLESS", L"1");
}

/* The plug-in in this program's folder. */
static void PluginPath(wchar_t* dll) {
  HostFolder(dll, MAX_PATH);
  wcscat(dll, L"VxLive.dll");
}

void DeleteToolsEnvironment(const wchar_t* logPath, const wchar_t* settingsRoot) {
  wchar_t path[512];
  swprintf(path, 512, L"Software\\Vexmoor\\VxTools Reference\\%ls", settingsRoot);
  RegDeleteTreeW(HKEY_CURRENT_USER, path);
  DeleteFileW(logPath);
}

/* Loads the plug-in from this program's folder, checks what it set up, uses
 * the exports, unloads it and checks the tools library's view of all that. */
static void RunLoad(void) {
  wchar_t logPath[MAX_PATH], settingsRoot[128], dll[MAX_PATH];
  PrepareToolsEnvironment(logPath, settingsRoot);
  PluginPath(dll);

  CHECK(GetModuleHandleW(L"VxTools.dll") == NULL, "the tools library is loaded before the plug-in");
  HMODULE plugin = LoadLibraryW(dll);
  CHECK(plugin != NULL, "LoadLibraryW(%ls) failed with %lu", dll, GetLastError());
  if (!plugin)
    return;
  CHECK(GetModuleHandleW(L"VxTools.dll") != NULL, "the plug-in did not load the tools library");

  CheckInstallBlock();

  /* What the factory's sources answer and what DllRegisterServer writes is
   * checked through the same raw tables by "vxhost validate". */
  GetLivePluginFn getLivePlugin = (GetLivePluginFn)(void*)GetProcAddress(plugin, "GetLivePlugin");
  CHECK(getLivePlugin != NULL, "no export GetLivePlugin");
  CHECK(GetProcAddress(plugin, "DllRegisterServer") != NULL, "no export DllRegisterServer");
  if (getLivePlugin)
    printf("the factory offers %d source(s)\n", CheckFactory(getLivePlugin));

  CHECK(FreeLibrary(plugin), "FreeLibrary failed with %lu", GetLastError());
  CHECK(GetModuleHandleW(L"VxTools.dll") == NULL, "the tools library stayed loaded after unload");

  static const char* const kOrder[] = {"Initialize (module: ", "ProductInfoLoaded (flag: 0)",
                                       "ModuleUnloading (module: ", "Uninitialize (module: "};
  CheckLogOrder(logPath, kOrder, 4, "VxLive.dll");
  DeleteToolsEnvironment(logPath, settingsRoot);
}

/* The tools library loads but refuses the product information. */
static void RunProductRefused(const wchar_t* expectedError) {
  wchar_t logPath[MAX_PATH], settingsRoot[128], dll[MAX_PATH];
  PrepareToolsEnvironment(logPath, settingsRoot);
  PluginPath(dll);
  CheckRefusedLoad(dll, expectedError);
  CHECK(GetModuleHandleW(L"VxTools.dll") == NULL, "a refused load left the tools library loaded");
  CHECK(GetModuleHandleW(L"VxLive.dll") == NULL, "a refused load left the plug-in loaded");
  /* The library was initialised, and released again when the attach failed. */
  static const char* const kOrder[] = {
      "Initialize (module: ", "ModuleUnloading (module: ", "Uninitialize (module: "};
  CheckLogOrder(logPath, kOrder, 3, "VxLive.dll");
  CHECK(!LogContains(logPath, "ProductInfoLoaded"), "ProductInfoLoaded after a failed load");
  DeleteToolsEnvironment(logPath, settingsRoot);
}

/* Lays out a host folder without the tools library, runs this program there
 * as the refused host, and checks its standard output for the loader lines. */
static void RunMissingTools(void) {
  static const wchar_t* const kFiles[] = {L"livemain_c_host.exe", L"VxLive.dll", L"Portable.dat",
                                          L"refused_output.txt"};
  wchar_t folder[MAX_PATH], temp[MAX_PATH], dir[MAX_PATH], from[MAX_PATH], to[MAX_PATH];
  HostFolder(folder, MAX_PATH);
  GetTempPathW(MAX_PATH, temp);
  swprintf(dir, MAX_PATH, L"%lslivemain_c_host_layout_%lu\\", temp, GetCurrentProcessId());
  CreateDirectoryW(dir, NULL);
  for (int i = 0; i < 3; ++i) {
    swprintf(from, MAX_PATH, L"%ls%ls", folder, kFiles[i]);
    swprintf(to, MAX_PATH, L"%ls%ls", dir, kFiles[i]);
    CHECK(CopyFileW(from, to, FALSE), "cannot copy %ls", kFiles[i]);
  }
  wchar_t exe[MAX_PATH], cmd[1024], outPath[MAX_PATH];
  swprintf(exe, MAX_PATH, L"%ls%ls", dir, kFiles[0]);
  swprintf(cmd, 1024, L"\"%ls\" refused-child", exe);
  swprintf(outPath, MAX_PATH, L"%ls%ls", dir, kFiles[3]);

  DWORD code = 1;
  CHECK(RunChild(exe, cmd, dir, INFINITE, &code), "cannot start %ls (%lu)", exe, GetLastError());
  CHECK(code == 0, "the refused host reported %lu failed check(s)", code);
  char* output = ReadWholeFile(outPath);
  CHECK(output != NULL, "cannot read %ls", outPath);
  if (output) {
    /* The runtime writes text-mode line ends. */
    char* end = output;
    for (const char* c = output; *c; ++c)
      if (*c != '\r')
        *end++ = *c;
    *end = 0;
    printf("--- refused host output ---\n%s--- end ---\n", output);
    /* Both places the library is looked for, each reported by the loader. */
    char expected[2 * MAX_PATH], narrowDir[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, dir, -1, narrowDir, MAX_PATH, NULL, NULL);
    CHECK(strstr(output, "\n\nERROR in VxLoadLibrary: errno=") != NULL, "no loader error line");
    for (int x64 = 0; x64 < 2; ++x64) {
      snprintf(expected, sizeof(expected), ", file=%s%sVxTools.dll\n\n", narrowDir,
               x64 ? "x64\\" : "");
      CHECK(strstr(output, expected) != NULL, "no loader line for %s", expected);
    }
    free(output);
  }
  for (int i = 0; i < 4; ++i) {
    swprintf(to, MAX_PATH, L"%ls%ls", dir, kFiles[i]);
    DeleteFileW(to);
  }
  RemoveDirectoryW(dir);
}

static void RunRefusedChild(void) {
  wchar_t dll[MAX_PATH];
  PluginPath(dll);
  /* The same runtime's stdout is where the plug-in prints its loader lines. */
  if (!_wfreopen(L"refused_output.txt", L"w", stdout))
    return;
  CheckRefusedLoad(dll, L"Failed to load VxTools");
}

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (strcmp(mode, "load") == 0) {
    RunLoad();
  } else if (strcmp(mode, "refused") == 0) {
    /* Every way the start-up can refuse the load: the product information
     * failing with a reason and without one, and no tools library at all. */
    SetEnvironmentVariableW(L"VXTOOLS_PRODUCT_ERROR", L"The product information is damaged");
    RunProductRefused(L"The product information is damaged");
    SetEnvironmentVariableW(L"VXTOOLS_PRODUCT_ERROR", NULL);
    SetEnvironmentVariableW(L"VXTOOLS_PRODUCT_FAIL", L"1");
    RunProductRefused(L"Unknown error loading product information");
    SetEnvironmentVariableW(L"VXTOOLS_PRODUCT_FAIL", NULL);
    RunMissingTools();
  } else if (strcmp(mode, "exit") == 0) {
    RunExit();
  } else if (strcmp(mode, "exit-child") == 0) {
    RunExitChild();
  } else if (strcmp(mode, "refused-child") == 0) {
    RunRefusedChild();
  } else {
    printf("usage: livemain_c_host load|refused|exit\n");
    return 2;
  }
  printf("%s: %d failed check(s)\n", mode, g_failures);
  fflush(stdout);
  return g_failures;
}
