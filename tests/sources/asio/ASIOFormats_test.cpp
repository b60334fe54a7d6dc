// The pure parts of the ASIO source: stream formats from sample types, format
// and rate names, the buffer-size rule, device ID text and asioMessage.
#include <gtest/gtest.h>

#include "live_Main/boundary/VxFormatNames.h"
#include "live_Main/host/VxHostLibraries.h"
#include "sources/asio/ASIODriverList.h"
#include "sources/asio/ASIOWrapper.h"
#include "sources/asio/CASIOLivePlugin.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

std::string Utf8(const VxString& s) {
  return s.ToUtf8();
}

VxAudioFormat Pcm(uint32_t rate, uint16_t bits, uint16_t valid, uint16_t channels) {
  VxAudioFormat f;
  f.sampleRate = rate;
  f.bitsPerSample = bits;
  f.validBitsPerSample = valid;
  f.channels = channels;
  return f;
}

VxAudioFormat Extensible(const VxGuid& sub, uint32_t rate, uint16_t bits, uint16_t valid) {
  VxAudioFormat f = Pcm(rate, bits, valid, 2);
  f.formatTag = 0xFFFE;
  f.subFormat = sub;
  return f;
}

constexpr VxGuid kDsd{0x34CF0AEF, 0x4A1B, 0x4927, {0x97, 0x9D, 0xDE, 0x4D, 0x41, 0x71, 0xA6, 0xB1}};
constexpr VxGuid kDop{0x274485C3, 0x69F6, 0x4912, {0x84, 0x93, 0x89, 0x53, 0xE7, 0x0E, 0x1E, 0x74}};

}  // namespace

TEST(AsioStreamFormat, HandledTypesDescribeTheDriverSamples) {
  const std::pair<ASIOSampleType, uint16_t> handled[] = {{ASIOSTInt16LSB, 16},
                                                         {ASIOSTInt24LSB, 24},
                                                         {ASIOSTInt32LSB, 32},
                                                         {ASIOSTFloat32LSB, 32},
                                                         {ASIOSTFloat64LSB, 64}};
  for (const auto& [type, bits] : handled) {
    SCOPED_TRACE(type);
    const bool isFloat = type == ASIOSTFloat32LSB || type == ASIOSTFloat64LSB;
    const VxAudioFormat f = CASIOLivePlugin::MakeStreamFormat(type, 96000, 6);
    EXPECT_EQ(f.formatTag, isFloat ? 3 : 1);
    EXPECT_EQ(f.bitsPerSample, bits);
    EXPECT_EQ(f.validBitsPerSample, bits);
    EXPECT_EQ(f.sampleRate, 96000u);
    EXPECT_EQ(f.channels, 6);
    EXPECT_EQ(f.blockAlign, 6 * bits / 8);
    EXPECT_EQ(f.bytesPerSecond, 96000u * 6 * bits / 8);
    EXPECT_EQ(f.IsFloat(), isFloat);
    EXPECT_EQ(f.subFormat, isFloat ? kVxSubTypeFloat : kVxSubTypePcm);
    EXPECT_EQ(f.sampleFlags & (VxAudioFormat::kFlagBit3 | VxAudioFormat::kFlagBit4), 0u);
    EXPECT_EQ(f.channelMap[5].present, 1);
    EXPECT_EQ(f.channelMap[6].present, 0);
  }
}

TEST(FormatNames, NamesPcmFloatPaddedDsdAndDopFormats) {
  struct Case {
    VxAudioFormat format;
    const char* name;
  } cases[] = {
      {Pcm(44100, 16, 16, 2), "44.1 kHz 16bit 2ch"},
      {Pcm(48000, 32, 24, 2), "48 kHz 24bit (padded) 2ch"},
      {Pcm(96000, 64, 64, 8), "96 kHz 64bit 8ch"},
      {Pcm(2822400, 16, 16, 2), "2.8 MHz 16bit 2ch"},
      {Pcm(352800, 24, 0, 1), "352.8 kHz 24bit 1ch"},
      {Extensible(kDsd, 352800, 8, 8), "DSD DSD64 (1x) 1bit 2ch"},
      {Extensible(kDop, 176400, 24, 24), "DoP DSD64 (1x) 1bit 2ch"},
      {Extensible(kDop, 176400, 32, 24), "DoP DSD64 (1x) 1bit (padded) 2ch"},
      {Extensible(kDsd, 352800, 16, 16), "352.8 kHz 16bit 2ch"},  // DSD needs 8 bits
  };
  for (const Case& c : cases)
    EXPECT_EQ(Utf8(FormatName(c.format)), c.name);

  VxAudioFormat timesEight = Pcm(352800, 16, 16, 2);
  timesEight.sampleFlags |= VxAudioFormat::kFlagRateTimesEight;
  EXPECT_EQ(Utf8(FormatName(timesEight)), "2.8 MHz 16bit 2ch");
}

TEST(FormatNames, SampleRateTextRoundsAndPicksUnitsAndDsdNames) {
  // clang-format off
  struct Case { int32_t rate; uint32_t flags; const char* text; } cases[] = {
      {44100, 2, "44.1 kHz"}, {48000, 2, "48 kHz"}, {88200, 2, "88.2 kHz"},
      {176400, 2, "176.4 kHz"}, {192000, 2, "192 kHz"}, {999, 2, "999 Hz"}, {1000, 0, "1kHz"},
      {352800, 2, "352.8 kHz"}, {1250, 2, "1.3 kHz"}, {0, 2, "0 Hz"},
      {2822400, 2, "DSD64 (1x)"}, {2822400, 10, "2.8 MHz"}, {352800, 6, "DSD64 (1x)"},
      {45158400, 0, "DSD1024 (16x)"}, {11289600, 8, "11.3MHz"}};
  // clang-format on
  for (const Case& c : cases)
    EXPECT_EQ(Utf8(SampleRateText(c.rate, c.flags)), c.text) << c.rate << " flags " << c.flags;
  EXPECT_TRUE(IsDSDFormat(Extensible(kDsd, 1, 8, 8)));
  EXPECT_FALSE(IsDSDFormat(Pcm(1, 8, 8, 2)));  // the sub-format counts only when extensible
  EXPECT_TRUE(IsDoPFormat(Extensible(kDop, 1, 24, 24)));
}

TEST(FormatNames, UnitWordsPassThroughTranslationDsdNamesDoNot) {
  VxToolsTestEnv& env = VxToolsTestEnv::Instance();
  ASSERT_TRUE(VxHostLibraries::Instance().LoadTools());
  env.SetOption(L"VXTOOLS_PSEUDO_TRANSLATE", L"1");
  const std::string pcm = Utf8(FormatName(Pcm(48000, 32, 24, 2)));
  const std::string dop = Utf8(FormatName(Extensible(kDop, 176400, 24, 24)));
  env.SetOption(L"VXTOOLS_PSEUDO_TRANSLATE", nullptr);
  EXPECT_EQ(pcm, "48 [[kHz]] 24[[bit]][[ (padded)]] 2[[ch]]");
  EXPECT_EQ(dop, "DoP DSD64 (1x) 1[[bit]] 2[[ch]]");
}

TEST(AsioBufferSize, PreferredSizeIsCutToAPowerOfTwoThenHalvedDownToTheMinimum) {
  // clang-format off
  struct Case { int32_t min, max, preferred, chosen; } cases[] = {
      {64, 512, 1000, 512}, {64, 256, 384, 256}, {200, 100, 600, 200}, {64, 2048, 256, 256},
      {128, 128, 128, 128}, {16, 4096, 100, 100}, {64, 512, 32, 32}, {1, 0, 8, 1}, {0, 0, 8, 0},
      {0, -5, 8, 0}, {64, 512, 0, 0}, {64, 512, -3, 0}, {0, 1000, 2147483647, 512}};
  // clang-format on
  for (const Case& c : cases)
    EXPECT_EQ(ASIOWrapper::ChooseBufferSize(c.min, c.max, c.preferred), c.chosen)
        << c.min << "/" << c.max << "/" << c.preferred;
}

TEST(AsioDeviceId, ReadsBracedBareAndSystemFormsAndWritesUpperCaseBraced) {
  const GUID id = {0x1A2B3C4D, 0x5E6F, 0x7081, {0x92, 0xA3, 0xB4, 0xC5, 0xD6, 0xE7, 0xF8, 0x09}};
  const VxString text = VxAsioDeviceId(id);
  EXPECT_EQ(Utf8(text), "{1A2B3C4D-5E6F-7081-92A3-B4C5D6E7F809}");
  for (const char16_t* form :
       {u"{1A2B3C4D-5E6F-7081-92A3-B4C5D6E7F809}", u"{1a2b3c4d-5e6f-7081-92a3-b4c5d6e7f809}",
        u"1A2B3C4D-5E6F-7081-92A3-B4C5D6E7F809"})
    EXPECT_TRUE(IsEqualGUID(VxAsioParseDeviceId(VxString(form)), id)) << Utf8(VxString(form));
  for (const char16_t* bad : {u"", u"not a guid", u"{1A2B3C4D-5E6F-7081-92A3-B4C5D6E7F8}",
                              u"{1A2B3C4D-5E6F-7081-92A3-B4C5D6E7F80G}"})
    EXPECT_TRUE(IsEqualGUID(VxAsioParseDeviceId(VxString(bad)), GUID{})) << Utf8(VxString(bad));
}

TEST(AsioMessage, AnswersTheDriverQuestionsTheSourceSupports) {
  for (long value = -1; value < 20; ++value) {
    const bool supported = value == 2 || value == 3 || value == 5 || value == 6 || value == 7 ||
                           value == 8 || value == 10;
    EXPECT_EQ(CASIOLivePlugin::AsioMessage(kAsioSelectorSupported, value, nullptr, nullptr),
              supported ? 1 : 0)
        << value;
  }
  // clang-format off
  const long answers[][2] = {
      {kAsioEngineVersion, 2}, {kAsioResetRequest, 1}, {kAsioBufferSizeChange, 0},
      {kAsioResyncRequest, 1}, {kAsioLatenciesChanged, 1}, {kAsioSupportsTimeInfo, 1},
      {kAsioSupportsTimeCode, 0}, {kAsioOverload, 0}, {0, 0}, {12345, 0}};
  // clang-format on
  for (const auto& a : answers)
    EXPECT_EQ(CASIOLivePlugin::AsioMessage(a[0], 256, nullptr, nullptr), a[1]) << a[0];
}
