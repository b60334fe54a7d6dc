#include <limits.h>
#include <stdio.h>
#include <wchar.h>

#include "c_host.h"

/* Slots of the source table, called the way the real host calls them. */
typedef void* (*DeletingDestructorFn)(void* self, unsigned int flags);
typedef int32_t (*GetInfoFn)(void* self, int32_t code, void* buffer);

static void* Slot(void* object, int slot) {
  return (*(void***)object)[slot];
}

int CheckFactory(GetLivePluginFn getLivePlugin) {
  static const wchar_t* const kNames[3] = {L"ASIO", L"Loopback", L"IPC"};
  /* Index 3 is one the host's registration tries: it must not answer. */
  static const int32_t kNoSource[] = {-1, 3, 4, 100, INT_MIN, INT_MAX};
  for (size_t i = 0; i < sizeof(kNoSource) / sizeof(kNoSource[0]); ++i) {
    void* out = (void*)&out;
    const int32_t result = getLivePlugin(kNoSource[i], &out);
    CHECK(result == -1 && out == NULL, "GetLivePlugin(%d) returned %d, *out %p", kNoSource[i],
          result, out);
  }

  int count = 0;
  for (int32_t index = 0; index < 3; ++index) {
    void* source = (void*)&source;
    const int32_t result = getLivePlugin(index, &source);
    if (result == -1 && source == NULL)
      continue;
    CHECK(result == 0 && source != NULL && source != (void*)&source,
          "GetLivePlugin(%d) returned %d, *out %p", index, result, source);
    if (result != 0 || !source || source == (void*)&source)
      continue;
    ++count;
    wchar_t name[1024] = {0};
    const int32_t info = ((GetInfoFn)Slot(source, 2))(source, 0, name);
    CHECK(info == 0 && wcscmp(name, kNames[index]) == 0, "GetInfo(0) of source %d: %d \"%ls\"",
          index, info, info == 0 ? name : L"");
    void* returned = ((DeletingDestructorFn)Slot(source, 0))(source, 1);
    CHECK(returned == source, "the deleting destructor of source %d returned %p", index, returned);
  }
  return count;
}
