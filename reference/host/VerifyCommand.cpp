// vxhost verify FILE.wav [--offset K]: checks a recording of the test ASIO
// driver (VxTestAsio.dll) against the signal that driver writes, byte for
// byte, from its first frame. The sample type follows from the WAV header; K
// is the first driver input channel the recording captured.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "foundation/VxHandle.h"
#include "reference/host/VxConsoleText.h"
#include "reference/host/VxHostCommands.h"
#include "reference/host/VxHostPlugin.h"
#include "testdevices/asio/VxTestAsioSignal.h"

namespace {

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// The ASIO sample type a recording of the given format came from; -1 for none.
ASIOSampleType TypeOf(uint16_t tag, uint16_t bits) {
  if (tag == 1 && bits == 16)
    return ASIOSTInt16LSB;
  if (tag == 1 && bits == 24)
    return ASIOSTInt24LSB;
  if (tag == 1 && bits == 32)
    return ASIOSTInt32LSB;
  if (tag == 3 && bits == 32)
    return ASIOSTFloat32LSB;
  if (tag == 3 && bits == 64)
    return ASIOSTFloat64LSB;
  return -1;
}

bool ReadWhole(const std::wstring& path, std::vector<uint8_t>& out) {
  VxFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > (1ll << 31))
    return false;
  out.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  return out.empty() ||
         (::ReadFile(file.get(), out.data(), static_cast<DWORD>(out.size()), &read, nullptr) &&
          read == out.size());
}

int RunVerifyCommand(int argc, wchar_t** argv) {
  if (argc != 1 && !(argc == 3 && std::wcscmp(argv[1], L"--offset") == 0)) {
    VxPrint(stderr, L"usage: vxhost verify FILE.wav [--offset K]\n");
    return 2;
  }
  const int offset = argc == 3 ? static_cast<int>(std::wcstol(argv[2], nullptr, 10)) : 0;
  const std::wstring path = VxHostAbsolutePath(argv[0]);
  std::vector<uint8_t> wav;
  if (!ReadWhole(path, wav) || wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) != 0 ||
      std::memcmp(wav.data() + 8, "WAVE", 4) != 0) {
    VxPrint(stderr, L"verify: %ls is not a readable WAV file\n", path.c_str());
    return 1;
  }
  uint16_t tag = 0, channels = 0, bits = 0;
  const uint8_t* data = nullptr;
  size_t dataSize = 0;
  for (size_t at = 12; at + 8 <= wav.size();) {
    const uint32_t size = Le32(&wav[at + 4]);
    const uint8_t* body = &wav[at + 8];
    const size_t available = wav.size() - at - 8;
    if (std::memcmp(&wav[at], "fmt ", 4) == 0 && size >= 16 && available >= 16) {
      tag = Le16(body);
      channels = Le16(body + 2);
      bits = Le16(body + 14);
      if (tag == 0xFFFE && size >= 40 && available >= 40)
        tag = Le16(body + 24);  // the sub-format's first two bytes
    } else if (std::memcmp(&wav[at], "data", 4) == 0) {
      data = body;
      dataSize = size < available ? size : available;
      break;
    }
    at += 8 + size + (size & 1);
  }
  const ASIOSampleType type = TypeOf(tag, bits);
  if (!data || type < 0 || channels == 0) {
    VxPrint(stderr, L"verify: %ls has no data or a format the ASIO source does not make\n",
            path.c_str());
    return 1;
  }
  VxTestAsioSignalChecker checker(type, offset, channels);
  checker.Check(data, dataSize);
  VxPrint(stdout,
          L"%ls: %u channel(s) from input %d, %u bits, %llu frames, %llu byte(s) differ "
          L"from the test driver's signal\n",
          path.c_str(), channels, offset, bits, static_cast<unsigned long long>(checker.Frames()),
          static_cast<unsigned long long>(checker.Mismatches()));
  if (checker.Frames() == 0 || checker.Mismatches() != 0) {
    VxPrint(stderr, L"verify: the recording does not match the test driver's signal\n");
    return 1;
  }
  VxPrint(stdout, L"Recording matches the test driver's signal byte for byte\n");
  return 0;
}

const VxHostCommandRegistration kRegistration{
    {L"verify", L"FILE.wav [--offset K]",
     L"checks a recording of the test ASIO driver against its signal", RunVerifyCommand}};

}  // namespace
