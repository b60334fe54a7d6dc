// The producer program reading WAV files into the source: formats announced
// right and sample data delivered unchanged, in whole frames.
#include <gtest/gtest.h>

#include "sources/ipc/CIPCLivePlugin.h"
#include "tests/sources/ipc/VxIpcTestSupport.h"

using namespace vxtest;

namespace {

struct WavCase {
  uint16_t tag;     // 1 PCM, 3 float, 0xFFFE extensible
  uint16_t subTag;  // for extensible: 1 PCM, 3 float
  uint16_t channels;
  uint32_t rate;
  uint16_t bits;
  uint16_t validBits;
  bool extraChunk;
};

void Put16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, static_cast<uint16_t>(x));
  Put16(v, static_cast<uint16_t>(x >> 16));
}
void PutTag(std::vector<uint8_t>& v, const char* tag) {
  for (int i = 0; i < 4; ++i)
    v.push_back(static_cast<uint8_t>(tag[i]));
}

std::vector<uint8_t> WavFile(const WavCase& c, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> f;
  PutTag(f, "RIFF");
  Put32(f, 0);  // patched below
  PutTag(f, "WAVE");
  if (c.extraChunk) {  // odd-sized chunk with its pad byte, before the format
    PutTag(f, "LIST");
    Put32(f, 5);
    f.insert(f.end(), {'a', 'b', 'c', 'd', 'e', 0});
  }
  const bool extensible = c.tag == 0xFFFE;
  PutTag(f, "fmt ");
  Put32(f, extensible ? 40 : 16);
  const uint16_t blockAlign = static_cast<uint16_t>(c.bits / 8 * c.channels);
  Put16(f, c.tag);
  Put16(f, c.channels);
  Put32(f, c.rate);
  Put32(f, c.rate * blockAlign);
  Put16(f, blockAlign);
  Put16(f, c.bits);
  if (extensible) {
    Put16(f, 22);
    Put16(f, c.validBits);
    Put32(f, 0);
    const uint8_t guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    Put16(f, c.subTag);
    f.insert(f.end(), guidTail, guidTail + 14);
  }
  PutTag(f, "data");
  Put32(f, static_cast<uint32_t>(data.size()));
  f.insert(f.end(), data.begin(), data.end());
  const uint32_t riffSize = static_cast<uint32_t>(f.size() - 8);
  std::memcpy(&f[4], &riffSize, 4);
  return f;
}

std::wstring WriteTempFile(const std::vector<uint8_t>& bytes) {
  wchar_t dir[MAX_PATH], file[MAX_PATH];
  ::GetTempPathW(MAX_PATH, dir);
  ::GetTempFileNameW(dir, L"vxw", 0, file);
  VxFileHandle out(::CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD n = 0;
  ::WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  return file;
}

}  // namespace

TEST(IpcSourceProducer, WavFilesArriveUnchangedInTheirAnnouncedFormat) {
  const WavCase cases[] = {
      {1, 0, 2, 44100, 16, 16, false},      {1, 0, 1, 48000, 24, 24, true},
      {0xFFFE, 1, 2, 96000, 32, 24, false}, {0xFFFE, 3, 6, 48000, 32, 32, true},
      {1, 0, 3, 22050, 32, 32, false},      {3, 0, 2, 192000, 64, 64, false},
  };
  for (const WavCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "bits " << c.bits << "/" << c.validBits << " tag " << c.tag);
    const size_t blockAlign = c.bits / 8 * c.channels;
    const std::vector<uint8_t> data = PatternBytes(0, blockAlign * 1001);
    const std::wstring path = WriteTempFile(WavFile(c, data));

    PipePair pipe(false);
    ProducerProcess producer;
    ASSERT_TRUE(
        producer.Start(L"--pipe " + pipe.name + L" --wav \"" + path + L"\" --message-bytes 1000"));
    ASSERT_TRUE(pipe.WaitConnected(30000));
    RecordingSink sink;
    IVxAudioLive* source = VxCreateIpcLivePlugin();
    ASSERT_EQ(source->Open(pipe.HandOver().c_str(), &sink), 0);
    EXPECT_EQ(producer.Wait(), 0) << producer.Output();
    ASSERT_TRUE(sink.WaitEnded());
    VxDeleteSource(source);
    ::DeleteFileW(path.c_str());

    EXPECT_EQ(sink.bytes, data);
    for (int32_t size : sink.writeSizes)
      EXPECT_EQ(size % blockAlign, 0u);
    ASSERT_EQ(sink.formats.size(), 1u);
    const VxAudioFormat& f = sink.formats[0];
    EXPECT_EQ(f.sampleRate, c.rate);
    EXPECT_EQ(f.channels, c.channels);
    EXPECT_EQ(f.bitsPerSample, c.bits);
    EXPECT_EQ(f.validBitsPerSample, c.validBits);
    EXPECT_EQ(f.blockAlign, blockAlign);
    EXPECT_EQ(f.IsFloat(), c.tag == 3 || c.subTag == 3);
  }
}

TEST(IpcSourceProducer, ProducerExplainsItselfAndFailsWithoutAPipe) {
  ProducerProcess help;
  ASSERT_TRUE(help.Start(L"--help"));
  EXPECT_EQ(help.Wait(), 0);
  EXPECT_NE(help.Output().find("--message-bytes"), std::string::npos);

  ProducerProcess nowhere;
  ASSERT_TRUE(nowhere.Start(L"--pipe vxipc-no-such-pipe --connect-ms 200"));
  EXPECT_EQ(nowhere.Wait(), 1);
  EXPECT_NE(nowhere.Output().find("cannot connect"), std::string::npos) << nowhere.Output();
}
