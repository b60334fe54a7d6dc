// The reference host's record command end to end: vxhost lays out a host
// folder, starts vxproducer, records the IPC source into a WAV file, and the
// test reads the file back: the header must follow the announced format and the
// data must be the producer's byte pattern, complete and in order.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/VxHandle.h"
#include "reference/producer/VxTestPattern.h"

namespace {

std::wstring BinFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s(path, n);
  return s.substr(0, s.find_last_of(L'\\') + 1);
}

std::vector<uint8_t> ReadBytes(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  VxFileHandle in(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  uint8_t buffer[65536];
  DWORD n = 0;
  while (in && ReadFile(in.get(), buffer, sizeof buffer, &n, nullptr) && n)
    bytes.insert(bytes.end(), buffer, buffer + n);
  return bytes;
}

struct ProgramRun {
  int exitCode = -1;
  std::string output;
};

// Runs a program with its output in a file. The child inherits only that file:
// a standard handle of the test runner kept alive by a child would keep the
// runner waiting.
ProgramRun RunProgram(const std::wstring& exe,
                      const std::wstring& arguments,
                      DWORD timeoutMs = 120000) {
  wchar_t dir[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  GetTempFileNameW(dir, L"vxh", 0, file);
  ProgramRun run;
  {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    VxFileHandle out(
        CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
    const DWORD kStd[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (DWORD which : kStd)
      SetHandleInformation(GetStdHandle(which), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out.get();
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &si, &pi))
      return run;
    VxHandle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
      TerminateProcess(process.get(), 99);
      WaitForSingleObject(process.get(), INFINITE);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    run.exitCode = static_cast<int>(code);
  }
  const std::vector<uint8_t> bytes = ReadBytes(file);
  run.output.assign(bytes.begin(), bytes.end());
  DeleteFileW(file);
  return run;
}

struct Wav {
  uint16_t tag = 0, channels = 0, blockAlign = 0, bits = 0;
  uint32_t rate = 0, bytesPerSecond = 0;
  bool hasFact = false;
  std::vector<uint8_t> data;
};

bool ReadWav(const std::wstring& path, Wav& wav) {
  const std::vector<uint8_t> b = ReadBytes(path);
  auto u16 = [&](size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); };
  auto u32 = [&](size_t at) { return static_cast<uint32_t>(u16(at) | u16(at + 2) << 16); };
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4))
    return false;
  if (u32(4) + 8 != b.size() && u32(4) + 8 != b.size() - 1)
    return false;
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = u32(at + 4);
    if (at + 8 + size > b.size())
      return false;
    if (!std::memcmp(b.data() + at, "fmt ", 4)) {
      wav.tag = u16(at + 8);
      wav.channels = u16(at + 10);
      wav.rate = u32(at + 12);
      wav.bytesPerSecond = u32(at + 16);
      wav.blockAlign = u16(at + 20);
      wav.bits = u16(at + 22);
    } else if (!std::memcmp(b.data() + at, "fact", 4)) {
      wav.hasFact = true;
    } else if (!std::memcmp(b.data() + at, "data", 4)) {
      wav.data.assign(b.begin() + static_cast<ptrdiff_t>(at + 8),
                      b.begin() + static_cast<ptrdiff_t>(at + 8 + size));
    }
    at += 8 + size + (size & 1);
  }
  return wav.tag != 0;
}

size_t FirstPatternMismatch(const std::vector<uint8_t>& data) {
  for (size_t i = 0; i < data.size(); ++i)
    if (data[i] != VxPatternByte(i))
      return i;
  return data.size();
}

class RecordCommand : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ =
        std::wstring(temp) + L"vxhost-record-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    const ProgramRun layout = RunProgram(
        BinFolder() + L"vxhost.exe", L"layout \"" + folder_.substr(0, folder_.size() - 1) + L"\"");
    ASSERT_EQ(layout.exitCode, 0) << layout.output;
  }
  ProgramRun Record(const std::wstring& file, const std::wstring& options) {
    return RunProgram(folder_ + L"vxhost.exe", L"record \"" + folder_ + file + L"\" " + options);
  }
  static std::wstring folder_;
};
std::wstring RecordCommand::folder_;

TEST_F(RecordCommand, RequestReplyPatternArrivesWholeInAPcmFile) {
  const ProgramRun run =
      Record(L"rr.wav",
             L"--quiet --producer \"--pattern --rate 48000 --channels 2 --bits 16 "
             L"--bytes 4194304 --message-bytes 65536\"");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("Stopped: the stream ended"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("SourceEnded calls: 1"), std::string::npos) << run.output;
  Wav wav;
  ASSERT_TRUE(ReadWav(folder_ + L"rr.wav", wav));
  EXPECT_EQ(wav.tag, 1);
  EXPECT_EQ(wav.channels, 2);
  EXPECT_EQ(wav.rate, 48000u);
  EXPECT_EQ(wav.bits, 16);
  EXPECT_EQ(wav.blockAlign, 4);
  EXPECT_EQ(wav.bytesPerSecond, 192000u);
  ASSERT_EQ(wav.data.size(), 4194304u);
  EXPECT_EQ(FirstPatternMismatch(wav.data), wav.data.size());
}

TEST_F(RecordCommand, StreamingFloatGetsAFloatHeaderWithFactChunk) {
  const ProgramRun run =
      Record(L"st.wav",
             L"--quiet --streaming --producer \"--pattern --rate 96000 --channels 6 "
             L"--bits 32 --float --bytes 2304000 --message-bytes 48000\"");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("(0 awaiting replies)"), std::string::npos) << run.output;
  Wav wav;
  ASSERT_TRUE(ReadWav(folder_ + L"st.wav", wav));
  EXPECT_EQ(wav.tag, 3);
  EXPECT_TRUE(wav.hasFact);
  EXPECT_EQ(wav.channels, 6);
  EXPECT_EQ(wav.rate, 96000u);
  EXPECT_EQ(wav.bits, 32);
  EXPECT_EQ(wav.blockAlign, 24);
  ASSERT_EQ(wav.data.size(), 2304000u);
  EXPECT_EQ(FirstPatternMismatch(wav.data), wav.data.size());
}

TEST_F(RecordCommand, DurationStopsALongLiveStream) {
  const ProgramRun run =
      Record(L"du.wav",
             L"--seconds 1.5 --producer \"--sine --rate 44100 --channels 1 --bits 24 "
             L"--duration 600 --realtime\"");
  // The producer loses its pipe when the source is deleted, so it reports a
  // failed write and the host says so; the recording itself is complete.
  EXPECT_NE(run.output.find("Stopped: duration reached"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("dBFS"), std::string::npos) << "no progress line: " << run.output;
  EXPECT_NE(run.output.find("SourceEnded calls: 0"), std::string::npos) << run.output;
  Wav wav;
  ASSERT_TRUE(ReadWav(folder_ + L"du.wav", wav));
  EXPECT_EQ(wav.bits, 24);
  EXPECT_EQ(wav.data.size() % 3, 0u);
  EXPECT_GT(wav.data.size(), 44100u * 3 / 2);  // at least half a second of audio
}

TEST_F(RecordCommand, FailuresGiveAMessageAndANonZeroExit) {
  const ProgramRun badProducer = Record(L"bad.wav", L"--quiet --producer \"--sine --bits 12\"");
  EXPECT_NE(badProducer.exitCode, 0);
  EXPECT_NE(badProducer.output.find("record: no producer connected"), std::string::npos)
      << badProducer.output;

  const ProgramRun noArguments = RunProgram(folder_ + L"vxhost.exe", L"record");
  EXPECT_EQ(noArguments.exitCode, 2);
  EXPECT_NE(noArguments.output.find("usage: vxhost record"), std::string::npos)
      << noArguments.output;
}

}  // namespace
