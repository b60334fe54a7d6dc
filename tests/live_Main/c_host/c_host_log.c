#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "c_host.h"

char* ReadWholeFile(const wchar_t* path) {
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                  OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE)
    return NULL;
  DWORD size = GetFileSize(file, NULL);
  char* text = (char*)calloc(size + 1, 1);
  DWORD got = 0;
  if (text && !ReadFile(file, text, size, &got, NULL))
    got = 0;
  if (text)
    text[got] = 0;
  CloseHandle(file);
  return text;
}

void CheckLogOrder(const wchar_t* logPath,
                   const char* const* prefixes,
                   int count,
                   const char* module) {
  char* text = ReadWholeFile(logPath);
  CHECK(text != NULL, "cannot read the tools log %ls", logPath);
  if (!text)
    return;
  int next = 0;
  for (char* line = strtok(text, "\r\n"); line && next < count; line = strtok(NULL, "\r\n")) {
    /* The message is the last field: the library writes tabs inside it as "\t". */
    const char* message = strrchr(line, '\t');
    if (message && strncmp(message + 1, prefixes[next], strlen(prefixes[next])) == 0 &&
        (!module || !strstr(prefixes[next], "module") || strstr(message, module)))
      ++next;
  }
  CHECK(next == count, "the tools log lacks \"%s\" (in order after the ones before)",
        next < count ? prefixes[next] : "");
  free(text);
}

int LogContains(const wchar_t* logPath, const char* needle) {
  char* text = ReadWholeFile(logPath);
  const int found = text && strstr(text, needle) != NULL;
  free(text);
  return found;
}
