#include "live_Main/VxAudioFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint32_t> Codes(const VxAudioFormat& f) {
  std::vector<uint32_t> codes;
  for (int i = 0; i < f.channels && i < VxAudioFormat::kMaxChannelMap; ++i)
    codes.push_back(f.channelMap[i].speaker);
  return codes;
}

VxAudioFormat Make(uint32_t bits,
                   uint32_t rate,
                   uint32_t channels,
                   uint32_t mask = 0,
                   bool ext = false,
                   const VxGuid& sub = kVxGuidNull) {
  VxAudioFormat f;
  f.Set(bits, rate, channels, mask, ext, sub);
  return f;
}

template <typename T>
T At(const VxAudioFormat& f, size_t offset) {
  T v;
  std::memcpy(&v, reinterpret_cast<const uint8_t*>(&f) + offset, sizeof v);
  return v;
}

}  // namespace

TEST(AudioFormatRecord, DefaultIsStereo16BitPcmByteForByte) {
  VxAudioFormat f;
  EXPECT_EQ(At<uint16_t>(f, 0), 1);
  EXPECT_EQ(At<uint16_t>(f, 2), 2);
  EXPECT_EQ(At<uint32_t>(f, 4), 44100u);
  EXPECT_EQ(At<uint32_t>(f, 8), 176400u);
  EXPECT_EQ(At<uint16_t>(f, 12), 4);
  EXPECT_EQ(At<uint16_t>(f, 14), 16);
  EXPECT_EQ(At<uint16_t>(f, 16), 0);
  EXPECT_EQ(At<uint16_t>(f, 18), 16);
  EXPECT_EQ(At<uint32_t>(f, 20), 0u);
  EXPECT_TRUE(f.subFormat == kVxSubTypePcm);
  EXPECT_EQ(At<uint32_t>(f, 2856), 4u);
  EXPECT_EQ(At<uint32_t>(f, 40), 2u);
  EXPECT_EQ(At<uint8_t>(f, 44), 1);
  EXPECT_EQ(At<uint32_t>(f, 40 + 44), 3u);
  // Everything past the second map entry stays zero.
  const auto* bytes = reinterpret_cast<const uint8_t*>(&f);
  for (size_t i = 40 + 2 * 44; i < 2856; ++i)
    ASSERT_EQ(bytes[i], 0) << "offset " << i;
}

TEST(AudioFormatRecord, ResetToInvalidKeepsNumbersButClearsTag) {
  VxAudioFormat f = Make(32 | 0x20000 | 0x800000, 96000, 6, 0x3F, true, kVxSubTypeFloat);
  f.sampleFlags |= 0x40;
  f.ResetToInvalid();
  EXPECT_EQ(f.formatTag, 0);
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.sampleRate, 44100u);
  EXPECT_EQ(f.bytesPerSecond, 176400u);
  EXPECT_EQ(f.blockAlign, 4);
  EXPECT_EQ(f.extensionSize, 0);
  EXPECT_TRUE(f.subFormat == kVxSubTypePcm);
  EXPECT_EQ(f.sampleFlags, 4u | 0x40u);  // bit 2 set, bits 3 and 4 cleared, others kept
  EXPECT_EQ(Codes(f), (std::vector<uint32_t>{2, 3}));
  EXPECT_EQ(f.channelMap[2].present, 0);
}

TEST(AudioFormatBuilder, IntegerAndFloatRules) {
  VxAudioFormat a = Make(24, 48000, 2);
  EXPECT_EQ(a.bitsPerSample, 24);
  EXPECT_EQ(a.blockAlign, 6);
  EXPECT_EQ(a.bytesPerSecond, 288000u);
  EXPECT_EQ(a.validBitsPerSample, 24);
  EXPECT_EQ(a.formatTag, 1);
  EXPECT_TRUE(a.subFormat == kVxSubTypePcm);
  EXPECT_EQ(a.sampleFlags & 4u, 4u);

  VxAudioFormat b = Make(32, 48000, 2, 0x3, true, kVxSubTypeFloat);
  EXPECT_EQ(b.blockAlign, 8);
  EXPECT_EQ(b.validBitsPerSample, 32);
  EXPECT_EQ(b.channelMask, 0x3u);
  EXPECT_EQ(b.formatTag, 0xFFFE);
  EXPECT_EQ(b.extensionSize, 22);
  EXPECT_EQ(b.sampleFlags & 4u, 0u);
  EXPECT_TRUE(b.subFormat == kVxSubTypeFloat);

  // 32 bits with a null sub-format is float unless 0x10000 forces integers.
  EXPECT_TRUE(Make(32, 48000, 2).subFormat == kVxSubTypeFloat);
  EXPECT_EQ(Make(32, 48000, 2).formatTag, 3);
  VxAudioFormat c = Make(32 | 0x10000, 48000, 2);
  EXPECT_TRUE(c.subFormat == kVxSubTypePcm);
  EXPECT_EQ(c.formatTag, 1);
  // The PCM sub-type keeps 32 bits integer; 64-bit float works as well.
  EXPECT_EQ(Make(32, 48000, 2, 0, false, kVxSubTypePcm).formatTag, 1);
  EXPECT_EQ(Make(64, 48000, 2).formatTag, 3);
  EXPECT_EQ(Make(64, 48000, 2).blockAlign, 16);
}

TEST(AudioFormatBuilder, PaddingAndRounding) {
  VxAudioFormat a = Make(32 | 0x80000, 48000, 2, 0, false, kVxSubTypePcm);
  EXPECT_EQ(a.bitsPerSample, 32);
  EXPECT_EQ(a.validBitsPerSample, 24);
  EXPECT_EQ(a.formatTag, 1);
  VxAudioFormat b = Make(20, 44100, 1);
  EXPECT_EQ(b.bitsPerSample, 24);
  EXPECT_EQ(b.validBitsPerSample, 20);
  EXPECT_EQ(b.blockAlign, 3);
  EXPECT_EQ(Make(24 | 0x40000, 44100, 2).validBitsPerSample, 20);
  EXPECT_EQ(Make(16 | 0x100000, 44100, 2).validBitsPerSample, 4);
  EXPECT_EQ(Make(16 | 0x200000, 44100, 2).validBitsPerSample, 2);
  EXPECT_EQ(Make(24 | 0x400000, 44100, 2).validBitsPerSample, 8);
  EXPECT_EQ(Make(16 | 0x400000, 44100, 2).validBitsPerSample, 16);  // needs more than 16 bits
  EXPECT_EQ(Make(8 | 0x80000, 44100, 2).validBitsPerSample, 8);     // needs more than 8 bits
  // One-bit streams keep their container size; block align is then 0 and the
  // byte rate comes from channels x bits.
  VxAudioFormat dsd = Make(1, 2822400, 2);
  EXPECT_EQ(dsd.bitsPerSample, 1);
  EXPECT_EQ(dsd.blockAlign, 0);
  EXPECT_EQ(dsd.bytesPerSecond, 705600u);
  // Flag bits 3 and 4 follow input bits 17 and 23.
  EXPECT_EQ(Make(16 | 0x20000, 44100, 2).sampleFlags & 0x18u, 0x8u);
  EXPECT_EQ(Make(16 | 0x800000, 44100, 2).sampleFlags & 0x18u, 0x10u);
}

TEST(AudioFormatBuilder, CodedSubTypesGiveTheirTags) {
  VxGuid g = kVxSubTypePcm;
  g.data1 = 0x92;
  EXPECT_EQ(Make(16, 48000, 2, 0, false, g).formatTag, 0x92);
  g.data1 = 7;
  EXPECT_EQ(Make(8, 8000, 1, 0, false, g).formatTag, 7);
  g.data1 = 0x50;
  EXPECT_EQ(Make(16, 48000, 2, 0, false, g).formatTag, 0x50);
  g.data1 = 0x1234;
  VxAudioFormat other = Make(16, 48000, 2, 0, false, g);
  EXPECT_EQ(other.formatTag, 1);
  EXPECT_TRUE(other.subFormat == g);
}

TEST(AudioFormatChannelMap, LayoutsForEveryListedCount) {
  struct Case {
    uint32_t channels, mask;
    std::vector<uint32_t> codes;
    int lfeEntry;
  };
  const Case cases[] = {
      {1, 0, {1}, -1},
      {2, 0, {2, 3}, -1},
      {3, 0x7, {2, 3, 4}, -1},
      {3, 0, {2, 3, 5}, -1},
      {3, 0x13, {2, 3, 5}, -1},
      {4, 0xF, {2, 3, 4, 5}, 3},
      {4, 0x33, {2, 3, 6, 7}, -1},
      {4, 0, {2, 3, 6, 7}, -1},
      {5, 0, {2, 3, 4, 6, 7}, -1},
      {6, 0, {2, 3, 4, 5, 6, 7}, 3},
      {7, 0x70F, {2, 3, 4, 5, 10, 6, 7}, 3},
      {7, 0, {2, 3, 4, 5, 6, 7, 10}, 3},
      {8, 0, {2, 3, 4, 5, 8, 9, 6, 7}, 3},
      {10, 0, {2, 3, 4, 5, 6, 7, 54, 55, 56, 57}, 3},
      {12, 0, {2, 3, 4, 5, 8, 9, 6, 7, 54, 55, 56, 57}, 3},
      {9, 0, {2, 3, 4, 5, 8, 9, 6, 7, 13}, 3},
      {11, 0, {2, 3, 4, 5, 8, 9, 6, 7, 13, 14, 15}, 3},
  };
  for (const Case& c : cases) {
    VxAudioFormat f = Make(16, 48000, c.channels, c.mask);
    EXPECT_EQ(Codes(f), c.codes) << c.channels << " channels, mask " << c.mask;
    for (uint32_t i = 0; i < c.channels; ++i) {
      EXPECT_EQ(f.channelMap[i].present, 1);
      EXPECT_EQ(f.channelMap[i].level, static_cast<int>(i) == c.lfeEntry ? 10.0f : 0.0f)
          << c.channels << " channels, entry " << i;
    }
    EXPECT_EQ(f.channelMap[c.channels].present, 0);
  }
}

TEST(AudioFormatChannelMap, MaskMustMatchChannelCount) {
  VxAudioFormat f = Make(16, 48000, 3, 0x3);  // two bits for three channels
  EXPECT_EQ(f.channelMask, 0u);
  EXPECT_EQ(Codes(f), (std::vector<uint32_t>{2, 3, 5}));
}

TEST(AudioFormatChannelMap, ManyChannelsCountUpThenZero) {
  VxAudioFormat f = Make(32, 48000, 40);
  for (int i = 8; i < 32; ++i)
    EXPECT_EQ(f.channelMap[i].speaker, static_cast<uint32_t>(i + 5));
  for (int i = 32; i < 40; ++i) {
    EXPECT_EQ(f.channelMap[i].speaker, 0u);
    EXPECT_EQ(f.channelMap[i].present, 1);
  }
  EXPECT_EQ(f.channelMap[40].present, 0);
  VxAudioFormat wide = Make(16, 48000, 70);
  EXPECT_EQ(wide.channelMap[63].present, 1);  // entries from 64 on do not exist
  EXPECT_EQ(wide.sampleFlags & 4u, 4u);
  VxAudioFormat none = Make(16, 48000, 0);
  EXPECT_EQ(none.channelMap[0].present, 0);
  EXPECT_EQ(none.blockAlign, 0);
}
