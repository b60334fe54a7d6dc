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
#include "reference/host/VxWavReader.h"
#include "testdevices/asio/VxTestAsioSignal.h"

namespace {

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

int RunVerifyCommand(int argc, wchar_t** argv) {
  if (argc != 1 && !(argc == 3 && std::wcscmp(argv[1], L"--offset") == 0)) {
    VxPrint(stderr, L"usage: vxhost verify FILE.wav [--offset K]\n");
    return 2;
  }
  const int offset = argc == 3 ? static_cast<int>(std::wcstol(argv[2], nullptr, 10)) : 0;
  const std::wstring path = VxHostAbsolutePath(argv[0]);
  VxWavReader wav;
  std::wstring error;
  if (!wav.Open(path, error)) {
    VxPrint(stderr, L"verify: %ls: %ls\n", path.c_str(), error.c_str());
    return 1;
  }
  const ASIOSampleType type = TypeOf(wav.tag, wav.bitsPerSample);
  if (type < 0 || wav.channels == 0) {
    VxPrint(stderr, L"verify: %ls has a format the ASIO source does not make\n", path.c_str());
    return 1;
  }
  // In pieces: a recording may be far larger than memory.
  VxTestAsioSignalChecker checker(type, offset, wav.channels);
  std::vector<uint8_t> piece(1 << 20);
  for (size_t n; (n = wav.Read(piece.data(), piece.size())) != 0;)
    checker.Check(piece.data(), n);
  const uint16_t channels = wav.channels, bits = wav.bitsPerSample;
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
