#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "c_host.h"

/* Slots of the source table, called the way the real host calls them. */
typedef void* (*DeletingDestructorFn)(void* self, unsigned int flags);
typedef int32_t (*GetInfoFn)(void* self, int32_t code, void* buffer);
typedef int32_t (*ReservedFn)(void* self, int32_t code, void* argument);
typedef int32_t (*ConfigureFn)(void* self, int32_t code, HWND parent);

static void* Slot(void* object, int slot) {
  return (*(void***)object)[slot];
}

static const wchar_t* const kNames[3] = {L"ASIO", L"Loopback", L"IPC"};

int CheckFactory(GetLivePluginFn getLivePlugin, int32_t indices[3]) {
  static const int32_t kNoSource[] = {-1, 3, 4, 100, INT_MIN, INT_MAX};
  for (size_t i = 0; i < sizeof(kNoSource) / sizeof(kNoSource[0]); ++i) {
    void* out = (void*)&out;
    const int32_t result = getLivePlugin(kNoSource[i], &out);
    CHECK(result == -1, "GetLivePlugin(%d) returned %d", kNoSource[i], result);
    CHECK(out == NULL, "GetLivePlugin(%d) left *out set", kNoSource[i]);
  }

  int count = 0;
  for (int32_t index = 0; index < 3; ++index) {
    void* source = (void*)&source;
    const int32_t result = getLivePlugin(index, &source);
    if (result == -1) {
      CHECK(source == NULL, "GetLivePlugin(%d) failed but left *out set", index);
      continue;
    }
    CHECK(result == 0, "GetLivePlugin(%d) returned %d", index, result);
    CHECK(source != NULL, "GetLivePlugin(%d) succeeded without a source", index);
    if (result != 0 || !source)
      continue;

    /* Code 0 writes exactly the name and its terminator. */
    static unsigned char buffer[2048 + 64];
    memset(buffer, 0xCD, sizeof(buffer));
    const int32_t info = ((GetInfoFn)Slot(source, 2))(source, 0, buffer);
    const size_t nameBytes = (wcslen(kNames[index]) + 1) * sizeof(wchar_t);
    CHECK(info == 0, "GetInfo(0) of source %d returned %d", index, info);
    CHECK(memcmp(buffer, kNames[index], nameBytes) == 0, "source %d has the wrong name", index);
    CHECK(buffer[nameBytes] == 0xCD, "GetInfo(0) of source %d wrote past its name", index);
    indices[count++] = index;

    CHECK(((GetInfoFn)Slot(source, 2))(source, 1, buffer) == 1, "GetInfo(1) of source %d", index);
    CHECK(((GetInfoFn)Slot(source, 2))(source, 99, buffer) == -1, "GetInfo(99) of source %d",
          index);
    CHECK(((ReservedFn)Slot(source, 3))(source, 0, NULL) == -1, "Reserved of source %d", index);
    CHECK(((ConfigureFn)Slot(source, 4))(source, 7, NULL) == -1, "Configure(7) of source %d",
          index);
    void* returned = ((DeletingDestructorFn)Slot(source, 0))(source, 1);
    CHECK(returned == source, "the deleting destructor of source %d returned %p", index, returned);
  }
  return count;
}

static int ReadDword(HKEY key, const wchar_t* name, DWORD* value) {
  DWORD size = sizeof(*value);
  return RegGetValueW(key, NULL, name, RRF_RT_REG_DWORD, NULL, value, &size) == ERROR_SUCCESS;
}

/* Fills `out` (2100 characters) with a REG_SZ value, or empties it. */
static int ReadText(HKEY key, const wchar_t* name, wchar_t* out) {
  DWORD size = 2100 * sizeof(wchar_t);
  out[0] = 0;
  return RegGetValueW(key, NULL, name, RRF_RT_REG_SZ | RRF_NOEXPAND, NULL, out, &size) ==
         ERROR_SUCCESS;
}

void CheckRegistration(DllRegisterServerFn registerServer,
                       const wchar_t* settingsRoot,
                       const wchar_t* modulePath,
                       int count,
                       const int32_t* indices) {
  const LONG result = registerServer();
  CHECK(result == 0, "DllRegisterServer returned 0x%08lx", (unsigned long)result);

  wchar_t livePath[512];
  swprintf(livePath, 512, L"Software\\Vexmoor\\VxTools Reference\\%ls\\Plugins\\Live",
           settingsRoot);
  HKEY live = NULL;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, livePath, 0, KEY_READ, &live) != ERROR_SUCCESS) {
    CHECK(count == 0, "no Plugins\\Live key although %d source(s) exist", count);
    return;
  }
  DWORD subkeys = 0;
  RegQueryInfoKeyW(live, NULL, NULL, NULL, &subkeys, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
  CHECK((int)subkeys == count, "%lu key(s) under Plugins\\Live for %d source(s)", subkeys, count);

  for (int i = 0; i < count; ++i) {
    const wchar_t* const name = kNames[indices[i]];
    HKEY key = NULL;
    const LSTATUS opened = RegOpenKeyExW(live, name, 0, KEY_READ, &key);
    CHECK(opened == ERROR_SUCCESS, "no key Plugins\\Live\\%ls", name);
    if (opened != ERROR_SUCCESS)
      continue;
    DWORD number = 0;
    wchar_t text[2100];
    CHECK(ReadDword(key, L"IVersion", &number) && number == 1, "%ls: IVersion", name);
    CHECK(ReadDword(key, L"Index", &number) && number == (DWORD)indices[i], "%ls: Index %lu", name,
          number);
    CHECK(ReadText(key, L"Version", text) && wcscmp(text, L"1.0.7") == 0, "%ls: Version", name);
    CHECK(ReadText(key, L"Path", text) && _wcsicmp(text, modulePath) == 0, "%ls: Path \"%ls\"",
          name, text);
    CHECK(ReadText(key, L"Company", text) && text[0], "%ls: Company", name);
    CHECK(ReadText(key, L"URL", text) && text[0], "%ls: URL", name);
    CHECK(ReadText(key, L"Copyright", text) && text[0], "%ls: Copyright", name);
    wchar_t description[1200];
    swprintf(description, 1200, L"%ls (part of main Vexmoor main live plug-ins)", name);
    CHECK(ReadText(key, L"Description", text) && wcscmp(text, description) == 0,
          "%ls: Description \"%ls\"", name, text);
    DWORD values = 0;
    RegQueryInfoKeyW(key, NULL, NULL, NULL, NULL, NULL, NULL, &values, NULL, NULL, NULL, NULL);
    CHECK(values == 8, "%ls has %lu values", name, values);
    RegCloseKey(key);
  }
  RegCloseKey(live);
}
