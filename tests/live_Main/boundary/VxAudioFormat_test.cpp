#include "live_Main/boundary/VxAudioFormat.h"

#include <gtest/gtest.h>

#include <bit>
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

TEST(AudioFormatRecord, ResetToInvalidIsTheDefaultRecordWithoutTag) {
  VxAudioFormat f = Make(32 | 0x20000 | 0x800000, 96000, 6, 0x3F, true, kVxSubTypeFloat);
  f.sampleFlags |= 0x40;
  f.ResetToInvalid();
  VxAudioFormat expected;
  expected.formatTag = 0;
  expected.sampleFlags |= 0x40;  // bit 2 set, bits 3 and 4 cleared, others kept
  for (size_t i = 0; i < sizeof f; ++i)
    ASSERT_EQ(At<uint8_t>(f, i), At<uint8_t>(expected, i)) << "offset " << i;
}

TEST(AudioFormatBuilder, SizesTagsAndFlagsFollowTheRequest) {
  VxGuid coded[4] = {kVxSubTypePcm, kVxSubTypePcm, kVxSubTypePcm, kVxSubTypePcm};
  coded[0].data1 = 0x92;
  coded[1].data1 = 7;
  coded[2].data1 = 0x50;
  coded[3].data1 = 0x1234;
  const struct {
    uint32_t bitsAndFlags, rate, channels;
    const VxGuid& sub;
    uint16_t tag, bits, validBits, blockAlign;
    uint32_t bytesPerSecond, flags;  // sampleFlags & 0x1C
  } cases[] = {
      {24, 48000, 2, kVxGuidNull, 1, 24, 24, 6, 288000, 4},
      // 32 and 64 bits are float unless the sub-type is PCM or 0x10000 forces integers.
      {32, 48000, 2, kVxGuidNull, 3, 32, 32, 8, 384000, 0},
      {64, 48000, 2, kVxGuidNull, 3, 64, 64, 16, 768000, 0},
      {32 | 0x10000, 48000, 2, kVxGuidNull, 1, 32, 32, 8, 384000, 4},
      {32, 48000, 2, kVxSubTypePcm, 1, 32, 32, 8, 384000, 4},
      // Padding flags lower the valid bits where the container is wide enough.
      {32 | 0x80000, 48000, 2, kVxSubTypePcm, 1, 32, 24, 8, 384000, 4},
      {8 | 0x80000, 44100, 2, kVxGuidNull, 1, 8, 8, 2, 88200, 4},
      {8 | 0x40000, 44100, 1, kVxGuidNull, 1, 8, 4, 1, 44100, 4},
      {24 | 0x40000, 44100, 2, kVxGuidNull, 1, 24, 20, 6, 264600, 4},
      {16 | 0x100000, 44100, 2, kVxGuidNull, 1, 16, 4, 4, 176400, 4},
      {16 | 0x200000, 44100, 2, kVxGuidNull, 1, 16, 2, 4, 176400, 4},
      {24 | 0x400000, 44100, 2, kVxGuidNull, 1, 24, 8, 6, 264600, 4},
      {16 | 0x400000, 44100, 2, kVxGuidNull, 1, 16, 16, 4, 176400, 4},
      // Odd sizes round the container up; one-bit streams keep theirs, with
      // block align 0 and the byte rate from channels x bits.
      {20, 44100, 1, kVxGuidNull, 1, 24, 20, 3, 132300, 4},
      {1, 2822400, 2, kVxGuidNull, 1, 1, 1, 0, 705600, 4},
      // Flag bits 3 and 4 follow input bits 17 and 23.
      {16 | 0x20000, 44100, 2, kVxGuidNull, 1, 16, 16, 4, 176400, 0xC},
      {16 | 0x800000, 44100, 2, kVxGuidNull, 1, 16, 16, 4, 176400, 0x14},
      // Coded sub-types give their tags; any other keeps tag 1.
      {16, 48000, 2, coded[0], 0x92, 16, 16, 4, 192000, 4},
      {8, 8000, 1, coded[1], 7, 8, 8, 1, 8000, 4},
      {16, 48000, 2, coded[2], 0x50, 16, 16, 4, 192000, 4},
      {16, 48000, 2, coded[3], 1, 16, 16, 4, 192000, 4},
  };
  for (const auto& c : cases) {
    const VxAudioFormat f = Make(c.bitsAndFlags, c.rate, c.channels, 0, false, c.sub);
    SCOPED_TRACE(testing::Message() << std::hex << c.bitsAndFlags << " tag " << c.tag);
    EXPECT_EQ(f.formatTag, c.tag);
    EXPECT_EQ(f.bitsPerSample, c.bits);
    EXPECT_EQ(f.validBitsPerSample, c.validBits);
    EXPECT_EQ(f.blockAlign, c.blockAlign);
    EXPECT_EQ(f.bytesPerSecond, c.bytesPerSecond);
    EXPECT_EQ(f.sampleFlags & 0x1Cu, c.flags);
    EXPECT_EQ(f.extensionSize, 0);
    const VxGuid& sub = c.tag == 3 ? kVxSubTypeFloat : c.sub == kVxGuidNull ? kVxSubTypePcm : c.sub;
    EXPECT_TRUE(f.subFormat == sub);
  }
  // Extensible: tag 0xFFFE with a 22-byte extension, the float sub-type kept.
  const VxAudioFormat ext = Make(32, 48000, 2, 0x3, true, kVxSubTypeFloat);
  EXPECT_EQ(ext.formatTag, 0xFFFE);
  EXPECT_EQ(ext.extensionSize, 22);
  EXPECT_EQ(ext.channelMask, 0x3u);
  EXPECT_EQ(ext.sampleFlags & 4u, 0u);
  EXPECT_TRUE(ext.subFormat == kVxSubTypeFloat);
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
      {3, 0x3, {2, 3, 5}, -1},  // two mask bits for three channels: the mask is dropped
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
    EXPECT_EQ(f.channelMask, std::popcount(c.mask) == static_cast<int>(c.channels) ? c.mask : 0u);
  }
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
