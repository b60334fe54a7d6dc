#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "c_host.h"

/* What the watcher thread saw of the start-up failure box. */
typedef struct {
  HANDLE started; /* set by the watcher once it runs */
  HANDLE stop;    /* set once the load returned */
  int found;
  int ownerless;
  int okOnly;
  wchar_t text[4096];
} BoxWatch;

static BOOL CALLBACK FindText(HWND child, LPARAM param) {
  BoxWatch* watch = (BoxWatch*)param;
  wchar_t className[64];
  GetClassNameW(child, className, 64);
  if (_wcsicmp(className, L"Static") != 0)
    return TRUE;
  wchar_t text[4096];
  if (GetWindowTextW(child, text, 4096) > 0) {
    wcscpy(watch->text, text);
    return FALSE;
  }
  return TRUE;
}

/* Waits for the box in 20 ms steps (a window appearing has no handle to wait
 * on), reads it and presses OK. */
static DWORD WINAPI WatchForBox(void* param) {
  BoxWatch* watch = (BoxWatch*)param;
  /* Touch the window list once before the loader lock is taken. */
  FindWindowW(L"#32770", L"Critical Error");
  SetEvent(watch->started);
  for (int step = 0; step < 3000; ++step) {
    HWND box = FindWindowW(L"#32770", L"Critical Error");
    /* The dialog window is listed as soon as it exists, before its buttons and
     * text are created; it becomes visible only once they are all there. */
    if (box && IsWindowVisible(box)) {
      watch->found = 1;
      watch->ownerless = GetWindow(box, GW_OWNER) == NULL;
      watch->okOnly = GetDlgItem(box, IDOK) != NULL && GetDlgItem(box, IDCANCEL) == NULL;
      EnumChildWindows(box, FindText, (LPARAM)watch);
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(box, IDOK));
      return 0;
    }
    if (WaitForSingleObject(watch->stop, 20) == WAIT_OBJECT_0)
      return 0;
  }
  return 0;
}

void CheckRefusedLoad(const wchar_t* dll, const wchar_t* error) {
  static BoxWatch watch;
  memset(&watch, 0, sizeof(watch));
  watch.stop = CreateEventW(NULL, TRUE, FALSE, NULL);
  watch.started = CreateEventW(NULL, TRUE, FALSE, NULL);
  HANDLE thread = CreateThread(NULL, 0, WatchForBox, &watch, 0, NULL);
  /* The plug-in shows its box while the loader lock is held; a thread that had
   * not finished starting by then would wait for that lock. */
  WaitForSingleObject(watch.started, INFINITE);
  CloseHandle(watch.started);

  HMODULE plugin = LoadLibraryW(dll);
  const DWORD loadError = GetLastError();
  SetEvent(watch.stop);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(watch.stop);

  CHECK(plugin == NULL, "the plug-in loaded although its start-up failed");
  if (plugin)
    FreeLibrary(plugin);
  printf("LoadLibraryW failed with %lu\n", loadError);
  CHECK(watch.found, "no \"Critical Error\" box appeared (is DISPLAY set?)");
  if (!watch.found)
    return;
  CHECK(watch.ownerless, "the box has an owner window");
  CHECK(watch.okOnly, "the box is not a plain OK box");

  static wchar_t expected[4096];
  swprintf(expected, 4096,
           L"The following module has failed to load:\r\n%ls\r\n\r\nIt has reported the "
           L"following error:\r\n\r\n%ls\r\n\r\nPlease reinstall the latest version of the "
           L"program.",
           dll, error);
  CHECK(wcscmp(watch.text, expected) == 0, "box text:\n%ls\nexpected:\n%ls", watch.text, expected);
}
