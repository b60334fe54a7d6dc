// The pure parts of the ASIO source: stream formats from sample types, the
// buffer-size rule, device ID text and asioMessage.
#include <gtest/gtest.h>

#include "sources/asio/ASIODriverList.h"
#include "sources/asio/ASIOWrapper.h"
#include "sources/asio/CASIOLivePlugin.h"

namespace {

std::string Utf8(const VxString& s) {
  return s.ToUtf8();
}

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
