// The reference host's record command end to end: vxhost lays out a host
// folder, starts vxproducer, records the IPC source into a WAV file, and the
// test reads the file back: the header must follow the announced format and the
// data must be the producer's byte pattern, complete and in order, also when
// the recorder is killed mid-run.
#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/VxHandle.h"
#include "reference/producer/VxTestPattern.h"
#include "tests/reference/host/VxHostRun.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

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

void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  VxFileHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr));
}

struct Wav {
  uint16_t tag = 0, channels = 0, blockAlign = 0, bits = 0, validBits = 0, subTag = 0;
  uint32_t rate = 0, bytesPerSecond = 0;
  bool hasFact = false;
  std::vector<uint8_t> data;
};

// Reads a WAV as a strict reader would; `trailing` allows bytes past the data
// chunk (a file killed mid-run holds audio its header does not count yet).
bool ReadWav(const std::wstring& path, Wav& wav, bool trailing = false) {
  const std::vector<uint8_t> b = ReadBytes(path);
  auto u16 = [&](size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); };
  auto u32 = [&](size_t at) { return static_cast<uint32_t>(u16(at) | u16(at + 2) << 16); };
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4))
    return false;
  const size_t riffEnd = u32(4) + 8;
  if (riffEnd > b.size() || (!trailing && riffEnd != b.size()))
    return false;
  for (size_t at = 12; at + 8 <= riffEnd;) {
    const uint32_t size = u32(at + 4);
    if (at + 8 + size > riffEnd)
      return false;
    if (!std::memcmp(b.data() + at, "fmt ", 4)) {
      wav.tag = u16(at + 8);
      wav.channels = u16(at + 10);
      wav.rate = u32(at + 12);
      wav.bytesPerSecond = u32(at + 16);
      wav.blockAlign = u16(at + 20);
      wav.bits = u16(at + 22);
      if (wav.tag == 0xFFFE && size >= 40) {
        wav.validBits = u16(at + 26);
        wav.subTag = u16(at + 32);
      }
    } else if (!std::memcmp(b.data() + at, "fact", 4)) {
      wav.hasFact = true;
    } else if (!std::memcmp(b.data() + at, "data", 4)) {
      wav.data.assign(b.begin() + static_cast<ptrdiff_t>(at + 8),
                      b.begin() + static_cast<ptrdiff_t>(at + 8 + size));
    }
    at += 8 + size + (size & 1);
  }
  return wav.tag != 0 && wav.blockAlign && wav.data.size() % wav.blockAlign == 0;
}

size_t FirstPatternMismatch(const std::vector<uint8_t>& data) {
  for (size_t i = 0; i < data.size(); ++i)
    if (data[i] != VxPatternByte(i))
      return i;
  return data.size();
}

class RecordCommand : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { folder_ = VxLayOutHostFolder(L"vxhost-record-"); }
  static std::wstring Host() { return folder_ + L"vxhost.exe"; }
  ProgramRun Record(const std::wstring& file, const std::wstring& options) {
    return RunProgram(Host(), L"record \"" + folder_ + file + L"\" " + options);
  }
  static std::wstring folder_;
};
std::wstring RecordCommand::folder_;

// Six float channels arrive whole and in order under an extensible header
// that states the format exactly (a plain header cannot describe them); the
// plain 16-bit stereo header is read by the tests below.
TEST_F(RecordCommand, PatternArrivesWholeUnderAnExactExtensibleHeader) {
  const ProgramRun run =
      Record(L"pattern.wav",
             L"--quiet --streaming --producer \"--pattern --rate 96000 --channels 6 --bits 32 "
             L"--float --bytes 2304000 --message-bytes 48000\"");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "Stopped: the stream ended")) << run.output;
  EXPECT_TRUE(Contains(run.output, "SourceEnded calls: 1")) << run.output;
  Wav wav;
  ASSERT_TRUE(ReadWav(folder_ + L"pattern.wav", wav));
  EXPECT_EQ(wav.tag, 0xFFFE);
  EXPECT_EQ(wav.subTag, 3);
  EXPECT_TRUE(wav.hasFact);
  EXPECT_EQ(wav.channels, 6);
  EXPECT_EQ(wav.blockAlign, 24);
  EXPECT_EQ(wav.rate, 96000u);
  EXPECT_EQ(wav.bytesPerSecond, 96000u * 24);
  EXPECT_EQ(wav.validBits, 32);
  ASSERT_EQ(wav.data.size(), 2304000u);
  EXPECT_EQ(FirstPatternMismatch(wav.data), wav.data.size());
}

// A killed recorder leaves a valid plain PCM file holding at least what it had
// received a second before, and its producer does not outlive it.
TEST_F(RecordCommand, KilledRecorderLeavesAValidWavAndNoProducer) {
  const std::wstring file = folder_ + L"killed.wav";
  Program host(Host(), L"record \"" + file +
                           L"\" --producer \"--pattern --rate 48000 --channels 2 --bits 16 "
                           L"--duration 600 --realtime --message-bytes 4800\"");
  ASSERT_TRUE(host.process);
  std::string seen;
  ASSERT_TRUE(host.ReadUntil(seen, "dBFS")) << seen;
  const size_t firstLine = seen.find("dBFS");
  ASSERT_TRUE(host.ReadUntil(seen, "dBFS", firstLine + 4)) << seen;
  const unsigned long long bytesAtFirstLine =
      std::stoull(seen.substr(seen.rfind(" s ", firstLine) + 3));

  VxHandle producer;
  VxHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more && !producer;
       more = Process32NextW(snapshot.get(), &entry))
    if (entry.th32ParentProcessID == host.id && _wcsicmp(entry.szExeFile, L"vxproducer.exe") == 0)
      producer.reset(OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
  ASSERT_TRUE(producer) << "the producer of process " << host.id << " was not found";

  ASSERT_TRUE(TerminateProcess(host.process.get(), 9));
  ASSERT_EQ(WaitForSingleObject(host.process.get(), 60000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(producer.get(), 60000), WAIT_OBJECT_0)
      << "the producer outlived its host";

  Wav wav;
  ASSERT_TRUE(ReadWav(file, wav, true));
  EXPECT_EQ(wav.tag, 1);
  EXPECT_EQ(wav.blockAlign, 4);
  EXPECT_EQ(wav.bytesPerSecond, 192000u);
  EXPECT_FALSE(wav.hasFact);
  EXPECT_GE(wav.data.size(), bytesAtFirstLine) << seen;
  EXPECT_EQ(FirstPatternMismatch(wav.data), wav.data.size());
}

// The exit code says whether the user's stop or the producer ended the run.
TEST_F(RecordCommand, ExitCodeTellsAUserStopFromAFailingProducer) {
  struct Case {
    const wchar_t* options;
    int exitCode;
    const char* text;
  } cases[] = {
      {L"--seconds 2 --producer \"--sine --rate 44100 --channels 1 --bits 24 --duration 600 "
       L"--realtime\"",
       0, "Stopped: duration reached"},
      {L"--quiet --producer \"--pattern --bytes 4000000 --fail-after-bytes 65536\"", 1,
       "record: the producer failed or vanished before the end of its stream (exit code 3)"},
  };
  for (const Case& c : cases) {
    const ProgramRun run = Record(L"exit.wav", c.options);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, c.text)) << run.output;
    Wav wav;
    EXPECT_TRUE(ReadWav(folder_ + L"exit.wav", wav)) << "what arrived is kept: " << run.output;
    EXPECT_GT(wav.data.size(), 0u);
  }
}

// A WAV file of 16-bit stereo frames.
std::vector<uint8_t> Wav16(const std::vector<int16_t>& samples) {
  const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> b(44);
  std::memcpy(b.data(), "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x80\xBB\0\0", 28);
  std::memcpy(b.data() + 28, "\0\xEE\x02\0\x04\0\x10\0data\0\0\0\0", 16);
  const uint32_t riff = 36 + data;
  std::memcpy(b.data() + 4, &riff, 4);
  std::memcpy(b.data() + 40, &data, 4);
  for (int16_t v : samples)
    b.insert(b.end(), {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF)});
  return b;
}

// The summary's level table: channel 1 holds five full-scale samples of each
// sign among silence, channel 2 a constant quarter of full scale.
TEST_F(RecordCommand, SummaryGivesEachChannelsPeakRmsAndClippedSamples) {
  std::vector<int16_t> samples;
  for (int frame = 0; frame < 1000; ++frame) {
    samples.push_back(frame >= 10 ? 0 : (frame % 2 ? -32768 : 32767));
    samples.push_back(8192);
  }
  WriteBytes(folder_ + L"levels.wav", Wav16(samples));
  const ProgramRun run =
      Record(L"levels-out.wav", L"--quiet --producer \"--wav " + folder_ + L"levels.wav\"");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "Channel  peak dBFS  RMS dBFS  clipped samples")) << run.output;
  EXPECT_TRUE(Contains(run.output, "      1        0.0     -20.0               10")) << run.output;
  EXPECT_TRUE(Contains(run.output, "      2      -12.0     -12.0                0")) << run.output;
}

// The host refuses an output it cannot create, with the system's text for the
// error, or one that is also an input (left untouched), before anything
// starts; a source that refuses to open is shown with what it logged.
TEST_F(RecordCommand, RefusalsSayWhy) {
  const std::vector<uint8_t> input = Wav16(std::vector<int16_t>(200));
  WriteBytes(folder_ + L"in.wav", input);
  const std::wstring in = L"\"" + folder_ + L"in.wav\"";
  const struct {
    std::wstring arguments;
    std::vector<const char*> texts;
  } cases[] = {
      {L"record no\\such\\folder\\x.wav", {"record: cannot create", "x.wav: ", " (error 3)"}},
      {L"record " + in + L" --producer \"--wav " + in.substr(0, in.size() - 1) + L"\"\"",
       {"is also an input"}},
      {L"record \"" + folder_ +
           L"refused.wav\" --source asio --device "
           L"{00000000-0000-0000-0000-000000000001}",
       {"source refused to open with \"deviceid=", "; it logged:",
        "\n  CASIOLivePlugin::Open: Failed to load ASIO driver"}},
  };
  for (const auto& c : cases) {
    const ProgramRun run = RunProgram(Host(), c.arguments);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    for (const char* text : c.texts)
      EXPECT_TRUE(Contains(run.output, text)) << text << " in:\n" << run.output;
    EXPECT_FALSE(Contains(run.output, ": (error")) << "a number without the system's text";
    EXPECT_FALSE(Contains(run.output, "Started producer")) << run.output;
  }
  EXPECT_EQ(ReadBytes(folder_ + L"in.wav"), input);
}

}  // namespace
