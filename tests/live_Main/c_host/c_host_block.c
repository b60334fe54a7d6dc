#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "c_host.h"

enum { kBlockSize = 3184, kPathChars = 260 };

static void PutText(unsigned char* block, size_t offset, const wchar_t* text) {
  const size_t n = wcslen(text);
  memcpy(block + offset, text, (n < kPathChars - 1 ? n : kPathChars - 1) * 2);
}

static void PutU32(unsigned char* block, size_t offset, uint32_t value) {
  memcpy(block + offset, &value, 4);
}

void CheckInstallBlock(void) {
  wchar_t name[64];
  swprintf(name, 64, L"Vexmoor Process v33 (%lu)", GetCurrentProcessId());
  HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, name);
  CHECK(mapping != NULL, "no shared block named %ls", name);
  if (!mapping)
    return;
  const unsigned char* view = (const unsigned char*)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  CHECK(view != NULL, "cannot map the shared block");
  if (view) {
    MEMORY_BASIC_INFORMATION info;
    VirtualQuery(view, &info, sizeof(info));
    CHECK(info.RegionSize >= kBlockSize, "the block is smaller than %d bytes", kBlockSize);

    wchar_t exe[MAX_PATH], folder[MAX_PATH], data[MAX_PATH];
    GetModuleFileNameW(NULL, exe, MAX_PATH);
    HostFolder(folder, MAX_PATH);
    swprintf(data, MAX_PATH, L"%lsApplication Data", folder);

    static unsigned char expected[kBlockSize];
    memset(expected, 0, sizeof(expected));
    expected[0] = 1;
    PutText(expected, 2, exe);
    PutText(expected, 524, folder);
    PutText(expected, 1046, folder);
    PutText(expected, 1568, folder);
    PutText(expected, 2090, data);
    /* The plug-in attached on this thread, so this thread filled the block. */
    PutU32(expected, 2616, GetCurrentThreadId());
    PutU32(expected, 2624, 0x80000001u);
    expected[2632] = 1;
    PutU32(expected, 3168, 0xFFFFFFFFu);
    PutU32(expected, 3176, 99);

    int differences = 0;
    for (size_t i = 0; i < kBlockSize; ++i) {
      if (view[i] != expected[i]) {
        if (differences < 8)
          printf("install block byte %u: 0x%02x, expected 0x%02x\n", (unsigned)i, view[i],
                 expected[i]);
        ++differences;
      }
    }
    CHECK(differences == 0, "%d byte(s) of the install block differ", differences);
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
}
