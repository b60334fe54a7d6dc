// What vxhost prints, in every script: to a console through WriteConsoleW, to
// a file or a pipe as UTF-8 (line ends as CR LF, as the C runtime's text mode
// writes them). The C runtime without a locale would turn every letter beyond
// ASCII into a question mark. Formats as wprintf does.
#pragma once

#include <cstdio>
#include <string>

// Formats as fwprintf(stream, ...) and writes the text as above; `stream` is
// stdout or stderr.
void VxPrint(FILE* stream, const wchar_t* format, ...);
// Writes `text` to stdout or stderr as above.
void VxWriteText(FILE* stream, const std::wstring& text);
