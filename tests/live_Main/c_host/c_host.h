/* A host written in C that uses the plug-in the way the real host does:
 * LoadLibraryW, the two exports, and objects reached only through their raw
 * tables by slot number. Each mode is one test; the exit code is the number of
 * failed checks (0: passed). */
#ifndef VX_C_HOST_H
#define VX_C_HOST_H

#include <stdint.h>
#include <windows.h>

extern int g_failures;

#define CHECK(cond, ...)                                       \
  do {                                                         \
    if (!(cond)) {                                             \
      ++g_failures;                                            \
      printf("FAILED %s:%d: %s: ", __FILE__, __LINE__, #cond); \
      printf(__VA_ARGS__);                                     \
      printf("\n");                                            \
      fflush(stdout);                                          \
    }                                                          \
  } while (0)

/* Folder of this program with a trailing backslash. */
void HostFolder(wchar_t* out, size_t chars);
/* Starts `exe` with command line `cmd` in `dir`, its standard handles on NUL,
 * and waits up to `waitMs` for it (killing it past that). True when it ended
 * in time; `code` is its exit code. */
int RunChild(const wchar_t* exe, wchar_t* cmd, const wchar_t* dir, DWORD waitMs, DWORD* code);
/* Points the tools library at a per-process log file (MAX_PATH characters)
 * and settings root (128) through the environment, and removes them again. */
void PrepareToolsEnvironment(wchar_t* logPath, wchar_t* settingsRoot);
void DeleteToolsEnvironment(const wchar_t* logPath, const wchar_t* settingsRoot);
/* Process exit with a source open; the child half runs in its own process. */
void RunExit(void);
void RunExitChild(void);
/* Compares the process's install block byte for byte with what a portable
 * install in this program's folder must hold. */
void CheckInstallBlock(void);

/* The whole file with a terminating zero (free it), or NULL. */
char* ReadWholeFile(const wchar_t* path);
/* Reads the tools log file as UTF-8 and checks that the messages starting
 * with `prefixes` appear in this order, each mentioning `module` (narrow,
 * may be NULL to skip that part). */
void CheckLogOrder(const wchar_t* logPath,
                   const char* const* prefixes,
                   int count,
                   const char* module);
/* True when some log line contains `text`. */
int LogContains(const wchar_t* logPath, const char* text);

/* Checks every index through the source's raw table and returns the number of
 * sources offered. */
typedef int32_t (*GetLivePluginFn)(int32_t index, void** out);
int CheckFactory(GetLivePluginFn getLivePlugin);

/* Runs LoadLibraryW on `dll` while a second thread waits for the "Critical
 * Error" box, checks its text against the start-up failure text for `dll`
 * and `error`, and closes it with OK. The load must fail. */
void CheckRefusedLoad(const wchar_t* dll, const wchar_t* error);

#endif
