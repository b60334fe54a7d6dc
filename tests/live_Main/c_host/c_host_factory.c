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

int CheckFactory(GetLivePluginFn getLivePlugin, wchar_t names[4][1024], int32_t indices[4]) {
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
    wcsncpy(names[count], (const wchar_t*)buffer, 1023);
    names[count][1023] = 0;
    indices[count] = index;
    ++count;

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
  DWORD type = 0, size = sizeof(*value);
  return RegQueryValueExW(key, name, NULL, &type, (BYTE*)value, &size) == ERROR_SUCCESS &&
         type == REG_DWORD;
}

static int ReadText(HKEY key, const wchar_t* name, wchar_t* out, DWORD chars) {
  DWORD type = 0, size = (chars - 1) * sizeof(wchar_t);
  memset(out, 0, chars * sizeof(wchar_t));
  return RegQueryValueExW(key, name, NULL, &type, (BYTE*)out, &size) == ERROR_SUCCESS &&
         type == REG_SZ;
}

void CheckRegistration(DllRegisterServerFn registerServer,
                       const wchar_t* settingsRoot,
                       const wchar_t* modulePath,
                       int count,
                       wchar_t names[4][1024],
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
    HKEY key = NULL;
    const LSTATUS opened = RegOpenKeyExW(live, names[i], 0, KEY_READ, &key);
    CHECK(opened == ERROR_SUCCESS, "no key Plugins\\Live\\%ls", names[i]);
    if (opened != ERROR_SUCCESS)
      continue;
    DWORD number = 0;
    wchar_t text[2100];
    CHECK(ReadDword(key, L"IVersion", &number) && number == 1, "%ls: IVersion", names[i]);
    CHECK(ReadDword(key, L"Index", &number) && number == (DWORD)indices[i], "%ls: Index %lu",
          names[i], number);
    CHECK(ReadText(key, L"Version", text, 2100) && wcscmp(text, L"1.0.7") == 0, "%ls: Version",
          names[i]);
    CHECK(ReadText(key, L"Path", text, 2100) && _wcsicmp(text, modulePath) == 0,
          "%ls: Path \"%ls\"", names[i], text);
    CHECK(ReadText(key, L"Company", text, 2100) && text[0], "%ls: Company", names[i]);
    CHECK(ReadText(key, L"URL", text, 2100) && text[0], "%ls: URL", names[i]);
    CHECK(ReadText(key, L"Copyright", text, 2100) && text[0], "%ls: Copyright", names[i]);
    wchar_t description[1200];
    swprintf(description, 1200, L"%ls (part of main Vexmoor main live plug-ins)", names[i]);
    CHECK(ReadText(key, L"Description", text, 2100) && wcscmp(text, description) == 0,
          "%ls: Description \"%ls\"", names[i], text);
    DWORD values = 0;
    RegQueryInfoKeyW(key, NULL, NULL, NULL, NULL, NULL, NULL, &values, NULL, NULL, NULL, NULL);
    CHECK(values == 8, "%ls has %lu values", names[i], values);
    RegCloseKey(key);
  }
  RegCloseKey(live);
}
