#include "reference/host/VxConsoleText.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>

namespace {

std::wstring Format(const wchar_t* format, va_list arguments) {
  va_list counting;
  va_copy(counting, arguments);
  const int n = _vscwprintf(format, counting);
  va_end(counting);
  if (n <= 0)
    return std::wstring();
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  _vsnwprintf(text.data(), text.size(), format, arguments);
  text.resize(static_cast<size_t>(n));
  return text;
}

}  // namespace

void VxWriteText(FILE* stream, const std::wstring& text) {
  // What the C runtime holds goes first: the plug-in prints through it too.
  std::fflush(stream);
  const HANDLE out = ::GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE || text.empty())
    return;
  DWORD mode = 0, written = 0;
  if (::GetConsoleMode(out, &mode)) {
    ::WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  std::wstring lines;
  lines.reserve(text.size() + text.size() / 16);
  for (wchar_t c : text) {
    if (c == L'\n')
      lines += L'\r';
    lines += c;
  }
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()),
                                          nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()), utf8.data(),
                        bytes, nullptr, nullptr);
  ::WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

void VxPrint(FILE* stream, const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::wstring text = Format(format, arguments);
  va_end(arguments);
  VxWriteText(stream, text);
}
