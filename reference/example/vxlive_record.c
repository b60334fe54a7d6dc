/* vxlive_record: the smallest host of VxLive.dll, in C, built against
 * VxLiveHost.h alone.
 *
 *   vxlive_record                                   lists the sources
 *   vxlive_record INDEX "PARAMETERS" SECONDS OUT.wav
 *                                                   records one source
 *
 * It loads VxLive.dll from its own folder (the host folder, where the host's
 * tools library lies too), asks the factory for each source and its name,
 * and for a recording opens the source with the parameter string, writes
 * every block into a WAV file for SECONDS seconds and deletes the source.
 * The WAV's format chunk is the first bytes of the format record, which are
 * the platform's wave format structure.
 *
 * Build: x86_64-w64-mingw32-gcc -std=c11 -municode -I include vxlive_record.c
 *        -lole32 -o vxlive_record.exe   (or cl /I include vxlive_record.c ole32.lib
 *        user32.lib) */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include "VxLiveHost.h"

typedef struct RecordingSink {
  VxLiveSink base; /* first: the table pointer */
  FILE* file;
  VxLiveFormat format;
  int formats;
  unsigned long long bytes;
  unsigned long long blocks;
} RecordingSink;

static int32_t SetFormat(VxLiveSink* self, const VxLiveFormat* format) {
  RecordingSink* sink = (RecordingSink*)self;
  /* One format per file: a later, different one is refused. */
  if (sink->formats && memcmp(&sink->format, format, 40) != 0)
    return -1;
  sink->format = *format;
  sink->formats++;
  return 0;
}

static void Write(VxLiveSink* self, const void* data, int32_t bytes, uint8_t flag) {
  RecordingSink* sink = (RecordingSink*)self;
  (void)flag;
  if (bytes <= 0 || fwrite(data, 1, (size_t)bytes, sink->file) != (size_t)bytes)
    return;
  sink->bytes += (unsigned long long)bytes;
  sink->blocks++;
}

static void SourceEnded(VxLiveSink* self) {
  (void)self;
}

static const VxLiveSinkTable kSinkTable = {SetFormat, Write, SourceEnded};

static void PutU32(FILE* file, uint32_t value) {
  unsigned char b[4] = {(unsigned char)value, (unsigned char)(value >> 8),
                        (unsigned char)(value >> 16), (unsigned char)(value >> 24)};
  fwrite(b, 1, 4, file);
}

/* RIFF header, the format chunk and the data chunk's header, with the sizes
 * known so far. */
static void WriteHeader(RecordingSink* sink) {
  const uint32_t fmtBytes = 18u + sink->format.extensionSize;
  const uint32_t data = (uint32_t)sink->bytes;
  fseek(sink->file, 0, SEEK_SET);
  fwrite("RIFF", 1, 4, sink->file);
  PutU32(sink->file, 4 + 8 + fmtBytes + (fmtBytes & 1) + 8 + data);
  fwrite("WAVEfmt ", 1, 8, sink->file);
  PutU32(sink->file, fmtBytes);
  fwrite(&sink->format, 1, fmtBytes, sink->file);
  if (fmtBytes & 1)
    fputc(0, sink->file); /* chunks are padded to an even size */
  fwrite("data", 1, 4, sink->file);
  PutU32(sink->file, data);
}

/* Waits while dispatching this thread's messages: a sound card's driver may
 * run its device from a window of the thread that opened it. */
static void PumpMessagesFor(DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    MsgWaitForMultipleObjects(0, NULL, FALSE, (DWORD)(deadline - now), QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

static int ListSources(VxLiveFactory factory) {
  for (int32_t index = 0; index < 4; ++index) {
    VxLiveSource* source = NULL;
    if (factory(index, &source) != 0 || !source)
      continue;
    wchar_t name[VX_LIVE_INFO_CHARS] = {0};
    source->table->GetInfo(source, VX_LIVE_INFO_NAME, name);
    wprintf(L"%d  %ls\n", index, name);
    source->table->Delete(source, 1);
  }
  return 0;
}

static int Record(VxLiveFactory factory,
                  int32_t index,
                  const wchar_t* parameters,
                  double seconds,
                  const wchar_t* path) {
  RecordingSink sink;
  memset(&sink, 0, sizeof sink);
  sink.base.table = &kSinkTable;
  if (_wfopen_s(&sink.file, path, L"w+b") != 0 || !sink.file) {
    fwprintf(stderr, L"vxlive_record: cannot create %ls\n", path);
    return 1;
  }
  VxLiveSource* source = NULL;
  if (factory(index, &source) != 0 || !source) {
    fwprintf(stderr, L"vxlive_record: the plug-in has no source %d\n", index);
    fclose(sink.file);
    return 1;
  }
  /* Room for the header; the data follows it. */
  WriteHeader(&sink);
  const int32_t opened = source->table->Open(source, parameters, &sink.base);
  if (opened == 0) {
    wprintf(L"Recording source %d for %.1f s\n", index, seconds);
    fflush(stdout);
    PumpMessagesFor((DWORD)(seconds * 1000));
  }
  /* No sink call comes once the delete has returned. */
  source->table->Delete(source, 1);
  if (opened != 0) {
    fwprintf(stderr, L"vxlive_record: Open answered %d (the host log VxTools.log says why)\n",
             opened);
    fclose(sink.file);
    _wremove(path);
    return 1;
  }
  WriteHeader(&sink);
  fclose(sink.file);
  wprintf(L"Format: tag 0x%04x, %u Hz, %u channels, %u bits %ls\n", sink.format.formatTag,
          sink.format.sampleRate, sink.format.channels, sink.format.bitsPerSample,
          sink.format.sampleFlags & VX_LIVE_FLAG_INTEGER ? L"integer" : L"float");
  wprintf(L"Wrote %llu bytes in %llu blocks to %ls\n", sink.bytes, sink.blocks, path);
  return sink.formats && sink.bytes ? 0 : 1;
}

int wmain(int argc, wchar_t** argv) {
  /* The ASIO source creates its driver through COM on the calling thread. */
  const HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
  wchar_t dll[MAX_PATH];
  DWORD n = GetModuleFileNameW(NULL, dll, MAX_PATH);
  while (n > 0 && dll[n - 1] != L'\\')
    --n;
  wcscpy_s(dll + n, MAX_PATH - n, L"VxLive.dll");
  HMODULE plugin = LoadLibraryW(dll);
  if (!plugin) {
    fwprintf(stderr, L"vxlive_record: cannot load %ls (error %lu)\n", dll, GetLastError());
    return 1;
  }
  VxLiveFactory factory = (VxLiveFactory)(void*)GetProcAddress(plugin, VX_LIVE_FACTORY_EXPORT);
  int rc = 1;
  if (!factory)
    fwprintf(stderr, L"vxlive_record: %ls exports no %hs\n", dll, VX_LIVE_FACTORY_EXPORT);
  else if (argc == 1)
    rc = ListSources(factory);
  else if (argc == 5)
    rc = Record(factory, (int32_t)_wtoi(argv[1]), argv[2], _wtof(argv[3]), argv[4]);
  else
    fwprintf(stderr, L"usage: vxlive_record [INDEX \"PARAMETERS\" SECONDS OUT.wav]\n");
  FreeLibrary(plugin);
  if (SUCCEEDED(com))
    CoUninitialize();
  return rc;
}
