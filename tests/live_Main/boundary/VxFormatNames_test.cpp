// Format and rate names: the text a stream's format and a rate are shown as,
// with unit words translated and DSD names kept as they are.
#include "live_Main/boundary/VxFormatNames.h"

#include <gtest/gtest.h>

#include "live_Main/host/VxHostLibraries.h"
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
