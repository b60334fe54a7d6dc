#include <stdio.h>
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

void PrepareToolsEnvironment(wchar_t* logPath,
                             size_t logChars,
                             wchar_t* settingsRoot,
                             size_t rootChars) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  swprintf(logPath, logChars, L"%lslivemain_c_host_%lu.log", temp, GetCurrentProcessId());
  DeleteFileW(logPath);
  swprintf(settingsRoot, rootChars, L"livemain_c_host_%lu", GetCurrentProcessId());
  SetEnvironmentVariableW(L"VXTOOLS_LOG_FILE", logPath);
  SetEnvironmentVariableW(L"VXTOOLS_SETTINGS_ROOT", settingsRoot);
  SetEnvironmentVariableW(L"VXTOOLS_HEADLESS", L"1");
}

static void DeleteSettingsRoot(const wchar_t* settingsRoot) {
  wchar_t path[512];
  swprintf(path, 512, L"Software\\Vexmoor\\VxTools Reference\\%ls", settingsRoot);
  RegDeleteTreeW(HKEY_CURRENT_USER, path);
}

/* Loads the plug-in from this program's folder, checks what it set up, uses
 * the exports, unloads it and checks the tools library's view of all that. */
static void RunLoad(void) {
  wchar_t logPath[MAX_PATH], settingsRoot[128], folder[MAX_PATH], dll[MAX_PATH];
  PrepareToolsEnvironment(logPath, MAX_PATH, settingsRoot, 128);
  HostFolder(folder, MAX_PATH);
  swprintf(dll, MAX_PATH, L"%lsVxLive.dll", folder);

  CHECK(GetModuleHandleW(L"VxTools.dll") == NULL, "the tools library is loaded before the plug-in");
  HMODULE plugin = LoadLibraryW(dll);
  CHECK(plugin != NULL, "LoadLibraryW(%ls) failed with %lu", dll, GetLastError());
  if (!plugin)
    return;
  CHECK(GetModuleHandleW(L"VxTools.dll") != NULL, "the plug-in did not load the tools library");

  CheckInstallBlock();

  GetLivePluginFn getLivePlugin = (GetLivePluginFn)(void*)GetProcAddress(plugin, "GetLivePlugin");
  DllRegisterServerFn registerServer =
      (DllRegisterServerFn)(void*)GetProcAddress(plugin, "DllRegisterServer");
  CHECK(getLivePlugin != NULL, "no export GetLivePlugin");
  CHECK(registerServer != NULL, "no export DllRegisterServer");
  if (getLivePlugin && registerServer) {
    static wchar_t names[4][1024];
    int32_t indices[4];
    const int count = CheckFactory(getLivePlugin, names, indices);
    printf("the factory offers %d source(s)\n", count);
    CheckRegistration(registerServer, settingsRoot, dll, count, names, indices);
  }

  CHECK(FreeLibrary(plugin), "FreeLibrary failed with %lu", GetLastError());
  CHECK(GetModuleHandleW(L"VxTools.dll") == NULL, "the tools library stayed loaded after unload");

  static const char* const kOrder[] = {"Initialize (module: ", "ProductInfoLoaded (flag: 0)",
                                       "ModuleUnloading (module: ", "Uninitialize (module: "};
  CheckLogOrder(logPath, kOrder, 4, "VxLive.dll");
  CHECK(LogContains(logPath, "Initialize (module: ") && LogContains(logPath, "flag: 0"),
        "Initialize was not called with the start-up flag false");
  DeleteSettingsRoot(settingsRoot);
  DeleteFileW(logPath);
}

/* The tools library loads but refuses the product information. */
static void RunProductRefused(const wchar_t* expectedError) {
  wchar_t logPath[MAX_PATH], settingsRoot[128], folder[MAX_PATH], dll[MAX_PATH];
  PrepareToolsEnvironment(logPath, MAX_PATH, settingsRoot, 128);
  HostFolder(folder, MAX_PATH);
  swprintf(dll, MAX_PATH, L"%lsVxLive.dll", folder);
  CheckRefusedLoad(dll, expectedError);
  CHECK(GetModuleHandleW(L"VxTools.dll") == NULL, "a refused load left the tools library loaded");
  CHECK(GetModuleHandleW(L"VxLive.dll") == NULL, "a refused load left the plug-in loaded");
  /* The library was initialised, and released again when the attach failed. */
  static const char* const kOrder[] = {
      "Initialize (module: ", "ModuleUnloading (module: ", "Uninitialize (module: "};
  CheckLogOrder(logPath, kOrder, 3, "VxLive.dll");
  CHECK(!LogContains(logPath, "ProductInfoLoaded"), "ProductInfoLoaded after a failed load");
  DeleteSettingsRoot(settingsRoot);
  DeleteFileW(logPath);
}

static int CopyInto(const wchar_t* from, const wchar_t* name, const wchar_t* to) {
  wchar_t a[MAX_PATH], b[MAX_PATH];
  swprintf(a, MAX_PATH, L"%ls%ls", from, name);
  swprintf(b, MAX_PATH, L"%ls%ls", to, name);
  return CopyFileW(a, b, FALSE);
}

/* Lays out a host folder without the tools library, runs this program there
 * as the refused host, and checks its standard output for the loader lines. */
static void RunMissingTools(void) {
  wchar_t folder[MAX_PATH], temp[MAX_PATH], dir[MAX_PATH], exe[MAX_PATH], cmd[1024];
  HostFolder(folder, MAX_PATH);
  GetTempPathW(MAX_PATH, temp);
  swprintf(dir, MAX_PATH, L"%lslivemain_c_host_layout_%lu\\", temp, GetCurrentProcessId());
  CreateDirectoryW(dir, NULL);
  CHECK(CopyInto(folder, L"livemain_c_host.exe", dir), "cannot copy the host");
  CHECK(CopyInto(folder, L"VxLive.dll", dir), "cannot copy the plug-in");
  CHECK(CopyInto(folder, L"Portable.dat", dir), "cannot copy Portable.dat");
  swprintf(exe, MAX_PATH, L"%lslivemain_c_host.exe", dir);
  swprintf(cmd, 1024, L"\"%ls\" refused-child", exe);

  /* The child sends its standard output to this file itself and inherits none
   * of this process's standard handles: Wine keeps a handle of the test
   * runner's pipe alive as long as any process holds it, and the runner waits
   * for that pipe to close. */
  wchar_t outPath[MAX_PATH];
  swprintf(outPath, MAX_PATH, L"%lsrefused_output.txt", dir);
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
  CHECK(started, "cannot start %ls (%lu)", exe, GetLastError());
  static char output[65536];
  DWORD total = 0;
  if (started) {
    DWORD code = 1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CHECK(code == 0, "the refused host reported %lu failed check(s)", code);
  }
  HANDLE outFile = CreateFileW(outPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, 0, NULL);
  if (outFile == INVALID_HANDLE_VALUE ||
      !ReadFile(outFile, output, sizeof(output) - 1, &total, NULL))
    total = 0;
  output[total] = 0;
  if (outFile != INVALID_HANDLE_VALUE)
    CloseHandle(outFile);
  /* The runtime writes text-mode line ends. */
  char* to = output;
  for (const char* from = output; *from; ++from)
    if (*from != '\r')
      *to++ = *from;
  *to = 0;
  printf("--- refused host output ---\n%s--- end ---\n", output);
  /* Both places the library is looked for, each reported by the loader. */
  char expected[2 * MAX_PATH];
  char narrowDir[MAX_PATH];
  WideCharToMultiByte(CP_ACP, 0, dir, -1, narrowDir, MAX_PATH, NULL, NULL);
  snprintf(expected, sizeof(expected), "\n\nERROR in VxLoadLibrary: errno=");
  CHECK(strstr(output, expected) != NULL, "no loader error line in the output");
  snprintf(expected, sizeof(expected), ", file=%sVxTools.dll\n\n", narrowDir);
  CHECK(strstr(output, expected) != NULL, "no loader line for %s", expected);
  snprintf(expected, sizeof(expected), ", file=%sx64\\VxTools.dll\n\n", narrowDir);
  CHECK(strstr(output, expected) != NULL, "no loader line for %s", expected);

  wchar_t path[MAX_PATH];
  const wchar_t* const files[] = {L"livemain_c_host.exe", L"VxLive.dll", L"Portable.dat",
                                  L"refused_output.txt"};
  for (int i = 0; i < 4; ++i) {
    swprintf(path, MAX_PATH, L"%ls%ls", dir, files[i]);
    DeleteFileW(path);
  }
  RemoveDirectoryW(dir);
}

static void RunRefusedChild(void) {
  wchar_t folder[MAX_PATH], dll[MAX_PATH];
  HostFolder(folder, MAX_PATH);
  /* The same runtime's stdout is where the plug-in prints its loader lines. */
  if (!_wfreopen(L"refused_output.txt", L"w", stdout))
    return;
  swprintf(dll, MAX_PATH, L"%lsVxLive.dll", folder);
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
  } else if (strcmp(mode, "refused-child") == 0) {
    RunRefusedChild();
  } else {
    printf("usage: livemain_c_host load|refused\n");
    return 2;
  }
  printf("%s: %d failed check(s)\n", mode, g_failures);
  fflush(stdout);
  return g_failures;
}
