// The test driver's signal in every sample type, the recording checker that
// the benchmark and the reference host rely on, and the stored configuration.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "testdevices/asio/VxTestAsioControl.h"

namespace {

std::vector<uint8_t> Sample(ASIOSampleType type, int channel, uint64_t frame) {
  std::vector<uint8_t> bytes(VxTestAsioBytesPerSample(type));
  VxTestAsioSample(type, channel, frame, bytes.data());
  return bytes;
}

std::vector<uint8_t> Reversed(std::vector<uint8_t> bytes) {
  return {bytes.rbegin(), bytes.rend()};
}

TEST(TestAsioSignal, EveryTypeCarriesTheSameWaveInItsOwnSizeAndByteOrder) {
  struct Case {
    ASIOSampleType lsb, msb;
    int keepTopBytesOf32;  // the type's bytes are the top bytes of Int32LSB
  } cases[] = {
      {ASIOSTInt16LSB, ASIOSTInt16MSB, 2},     {ASIOSTInt24LSB, ASIOSTInt24MSB, 3},
      {ASIOSTInt32LSB, ASIOSTInt32MSB, 4},     {ASIOSTFloat32LSB, ASIOSTFloat32MSB, 0},
      {ASIOSTFloat64LSB, ASIOSTFloat64MSB, 0}, {ASIOSTInt32LSB16, ASIOSTInt32MSB16, 0},
      {ASIOSTInt32LSB24, ASIOSTInt32MSB24, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lsb);
    for (uint64_t frame : {0ull, 1ull, 399ull, 123456789ull}) {
      for (int channel : {0, 5, 31}) {
        const std::vector<uint8_t> lsb = Sample(c.lsb, channel, frame);
        EXPECT_EQ(Reversed(Sample(c.msb, channel, frame)), lsb);
        const int32_t wave = VxTestAsioWave(channel, frame);
        if (c.keepTopBytesOf32) {
          const std::vector<uint8_t> full = Sample(ASIOSTInt32LSB, channel, frame);
          EXPECT_EQ(lsb, std::vector<uint8_t>(full.end() - c.keepTopBytesOf32, full.end()));
        } else if (c.lsb == ASIOSTFloat32LSB || c.lsb == ASIOSTFloat64LSB) {
          double value = 0;
          if (c.lsb == ASIOSTFloat32LSB) {
            float f;
            std::memcpy(&f, lsb.data(), 4);
            value = f;
          } else {
            std::memcpy(&value, lsb.data(), 8);
          }
          EXPECT_NEAR(value, wave / 2147483648.0, 1e-7);
          EXPECT_LT(std::abs(value), 0.5 + 1e-7);
        } else {
          int32_t aligned;
          std::memcpy(&aligned, lsb.data(), 4);
          const int bits = c.lsb == ASIOSTInt32LSB16 ? 16 : 24;
          EXPECT_EQ(aligned, wave >> (32 - bits));
        }
      }
    }
  }
  // Channels and successive blocks differ, so a swapped channel or a
  // repeated block cannot pass a byte-exact check.
  EXPECT_NE(Sample(ASIOSTInt16LSB, 0, 100), Sample(ASIOSTInt16LSB, 1, 100));
  EXPECT_NE(Sample(ASIOSTInt16LSB, 0, 100), Sample(ASIOSTInt16LSB, 0, 100 + 256));
}

TEST(TestAsioSignal, CheckerPassesTheExactRecordingInAnyPiecesAndCountsEveryAlteredByte) {
  for (ASIOSampleType type :
       {ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTInt32LSB, ASIOSTFloat32LSB, ASIOSTFloat64LSB}) {
    SCOPED_TRACE(type);
    const int channels = 3, offset = 2;
    const size_t frames = 1000;
    const size_t frameBytes = channels * VxTestAsioBytesPerSample(type);
    std::vector<uint8_t> recording(frames * frameBytes);
    VxTestAsioFillInterleaved(type, offset, channels, 0, frames, recording.data());

    VxTestAsioSignalChecker exact(type, offset, channels);
    for (size_t done = 0, piece = 7; done < recording.size(); done += piece)
      exact.Check(recording.data() + done, std::min(piece, recording.size() - done));
    EXPECT_EQ(exact.Frames(), frames);
    EXPECT_EQ(exact.Mismatches(), 0u);

    // Wrong channel offset, and one frame dropped from the middle.
    VxTestAsioSignalChecker shifted(type, offset + 1, channels);
    shifted.Check(recording.data(), recording.size());
    EXPECT_GT(shifted.Mismatches(), frames);
    std::vector<uint8_t> dropped = recording;
    dropped.erase(dropped.begin() + 500 * frameBytes, dropped.begin() + 501 * frameBytes);
    VxTestAsioSignalChecker gap(type, offset, channels);
    gap.Check(dropped.data(), dropped.size());
    EXPECT_GT(gap.Mismatches(), 400u);
    EXPECT_EQ(gap.Frames(), frames - 1);
  }
}

TEST(TestAsioConfig, EverySettingSurvivesTheRegistry) {
  ::SetEnvironmentVariableW(L"VXTESTASIO_ROOT",
                            (L"Config " + std::to_wstring(::GetCurrentProcessId())).c_str());
  VxTestAsioConfig c;
  c.name = L"Bench Card";
  c.description = L"Bench card, 4 in";
  c.version = 7;
  c.inputs = 4;
  c.outputs = 0;
  c.sampleTypes = {ASIOSTInt16LSB, ASIOSTDSDInt8MSB1};
  c.minBufferSize = c.maxBufferSize = c.preferredBufferSize = 192;
  c.granularity = 0;
  c.sampleRates = {88200.0};
  c.currentRate = 88200.0;
  c.outputReadyResult = ASE_OK;
  c.switchCallback = VxTestAsioSwitchCallback::kTimeInfo;
  c.pace = VxTestAsioPace::kFast;
  c.switchLimit = 12;
  c.firstSwitchInStart = c.stopWhileSwitching = true;
  c.nullBufferChannel = 2;
  c.nullBufferHalves = 3;
  c.messages = {{1, 7}, {2, 0}};
  c.runMessages = {{3, 0}, {-1, 44100}};
  c.faults = kVxTestAsioFailSetSampleRate | kVxTestAsioFailStart | kVxTestAsioFailCreate;
  c.errorMessage = "no clock";
  c.logFile = L"C:\\log.txt";
  ASSERT_TRUE(c.Save(5));
  const VxTestAsioConfig r = VxTestAsioConfig::Load(5);
  VxTestAsioConfig::Erase(5);
  ::RegDeleteTreeW(
      HKEY_CURRENT_USER,
      (L"Software\\VxTestAsio\\Config " + std::to_wstring(::GetCurrentProcessId())).c_str());
  EXPECT_EQ(r.name, c.name);
  EXPECT_EQ(r.description, c.description);
  EXPECT_EQ(r.version, c.version);
  EXPECT_EQ(r.inputs, c.inputs);
  EXPECT_EQ(r.outputs, c.outputs);
  EXPECT_EQ(r.sampleTypes, c.sampleTypes);
  EXPECT_EQ(r.InputType(3), ASIOSTDSDInt8MSB1);
  EXPECT_EQ(r.minBufferSize, 192);
  EXPECT_EQ(r.maxBufferSize, 192);
  EXPECT_EQ(r.preferredBufferSize, 192);
  EXPECT_EQ(r.granularity, 0);
  EXPECT_EQ(r.sampleRates, c.sampleRates);
  EXPECT_EQ(r.currentRate, c.currentRate);
  EXPECT_EQ(r.outputReadyResult, ASE_OK);
  EXPECT_EQ(r.switchCallback, c.switchCallback);
  EXPECT_EQ(r.pace, c.pace);
  EXPECT_EQ(r.switchLimit, 12u);
  EXPECT_TRUE(r.firstSwitchInStart && r.stopWhileSwitching);
  EXPECT_EQ(r.nullBufferChannel, 2);
  EXPECT_EQ(r.nullBufferHalves, 3u);
  EXPECT_EQ(r.messages, c.messages);
  EXPECT_EQ(r.runMessages, c.runMessages);
  EXPECT_EQ(r.faults, c.faults);
  EXPECT_EQ(r.errorMessage, c.errorMessage);
  EXPECT_EQ(r.logFile, c.logFile);
}

}  // namespace
