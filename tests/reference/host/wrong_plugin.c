/* VxWrongLive.dll: a plug-in that breaks the host's contract on purpose, for
 * the validator's own test. It offers one source, "Loopback" at index 1, and
 * gets these wrong:
 *   - GetLivePlugin leaves *out as it was for an index without a source;
 *   - GetInfo(2) answers 0 (a loopback source answers 1) and unknown codes 0;
 *   - Reserved answers 0;
 *   - Open answers 0 but the stream never starts (no SetFormat, no Write);
 *   - deleting an opened source never returns;
 *   - the ASIO source's Configure(0) answers 0 without showing a dialog, and
 *     its Open refuses everything;
 *   - DllRegisterServer writes nothing; there is no version resource.
 * What it gets right (the loopback source's Configure, creating and deleting unopened sources)
 * must pass, so the test sees the validator tell the two apart. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

typedef struct WrongSource {
  const void* const* table;
  int opened;
  int asio;
} WrongSource;

static void* DeletingDestructor(WrongSource* self, unsigned flags) {
  if (self->opened) {
    /* A stop that waits for a thread that was never started. */
    HANDLE never = CreateEventW(NULL, TRUE, FALSE, NULL);
    WaitForSingleObject(never, INFINITE);
  }
  if (flags & 1)
    free(self);
  return self;
}

static int32_t Open(WrongSource* self, const wchar_t* parameters, void* sink) {
  (void)parameters;
  (void)sink;
  if (self->asio)
    return -1;
  self->opened = 1;
  return 0;
}

static int32_t GetInfo(WrongSource* self, int32_t code, void* buffer) {
  if (code == 0 && self->asio) {
    memcpy(buffer, L"ASIO", sizeof(L"ASIO"));
    return 0;
  }
  if (code == 0) {
    memcpy(buffer, L"Loopback", sizeof(L"Loopback"));
    return 0;
  }
  return code == 1 ? 1 : (code == 3 ? -1 : 0);
}

static int32_t Reserved(WrongSource* self, int32_t code, void* argument) {
  (void)self;
  (void)code;
  (void)argument;
  return 0;
}

static int32_t Configure(WrongSource* self, int32_t code, HWND parent) {
  (void)parent;
  return self->asio && code == 0 ? 0 : -1;
}

static const void* const kTable[] = {(const void*)DeletingDestructor, (const void*)Open,
                                     (const void*)GetInfo, (const void*)Reserved,
                                     (const void*)Configure};

__declspec(dllexport) int32_t GetLivePlugin(int32_t index, void** out) {
  if (index != 1 && index != 2)
    return -1;
  WrongSource* source = (WrongSource*)calloc(1, sizeof(WrongSource));
  source->table = kTable;
  source->asio = index == 2;
  *out = source;
  return 0;
}

__declspec(dllexport) LONG DllRegisterServer(void) {
  return 0;
}
