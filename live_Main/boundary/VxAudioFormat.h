// VxAudioFormat: the stream format record handed to the host sink.
//
// The host reads this record by its binary layout: 2860 bytes, little-endian,
// no padding. The first 40 bytes are the operating system's extensible wave
// format, so a pointer to the record serves wherever that structure is
// expected. Channel map entries beyond the channel count stay zero.
#pragma once

#include <cstddef>
#include <cstdint>

// Same layout as the platform's GUID.
struct VxGuid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
  bool operator==(const VxGuid&) const = default;
};

inline constexpr VxGuid kVxGuidNull = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr VxGuid kVxSubTypePcm = {0x00000001,
                                         0x0000,
                                         0x0010,
                                         {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr VxGuid kVxSubTypeFloat = {0x00000003,
                                           0x0000,
                                           0x0010,
                                           {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

#pragma pack(push, 1)
struct VxChannelMapEntry {
  uint32_t speaker;  // speaker code, see FillChannelMap
  uint8_t present;   // 1 for every channel of the stream
  uint8_t zero[3];
  float level;  // 10.0 on the low-frequency entry, else 0
  uint8_t unused[32];
};

struct VxAudioFormat {
  static constexpr int kMaxChannelMap = 64;

  // Sample flag bits.
  static constexpr uint32_t kFlagInteger = 4;
  static constexpr uint32_t kFlagBit3 = 8;
  static constexpr uint32_t kFlagBit4 = 16;
  static constexpr uint32_t kFlagRateTimesEight = 64;

  // Builder input bits above the low 16 bits of bitsAndFlags.
  static constexpr uint32_t kSetForceInteger = 0x10000;
  static constexpr uint32_t kSetFlagBit3 = 0x20000;
  static constexpr uint32_t kSetFlagBit4 = 0x800000;

  uint16_t formatTag;
  uint16_t channels;
  uint32_t sampleRate;
  uint32_t bytesPerSecond;
  uint16_t blockAlign;
  uint16_t bitsPerSample;
  uint16_t extensionSize;
  uint16_t validBitsPerSample;
  uint32_t channelMask;
  VxGuid subFormat;
  VxChannelMapEntry channelMap[kMaxChannelMap];
  uint32_t sampleFlags;

  // 2 channels, 44100 Hz, 16-bit integer PCM, tag 1, flags 4.
  VxAudioFormat();

  // Marks the record as carrying no usable format (tag 0) with the default
  // numbers otherwise.
  void ResetToInvalid();

  // The builder: bits per sample in the low 16 bits of bitsAndFlags, option
  // bits above (force integer 0x10000, flag bit 3 0x20000, padding 0x40000 to
  // 0x400000, flag bit 4 0x800000).
  void Set(uint32_t bitsAndFlags,
           uint32_t sampleRate,
           uint32_t channels,
           uint32_t channelMask,
           bool extensible,
           const VxGuid& subFormat);

  // Zeroes all 64 entries, then fills one per channel from the channel count
  // (and, for 3, 4 and 7 channels, the mask).
  void FillChannelMap(uint32_t channelMaskOrZero);

  bool IsFloat() const { return (sampleFlags & kFlagInteger) == 0; }
};
#pragma pack(pop)

static_assert(sizeof(VxChannelMapEntry) == 44);
static_assert(sizeof(VxAudioFormat) == 2860);
static_assert(offsetof(VxAudioFormat, channels) == 2);
static_assert(offsetof(VxAudioFormat, sampleRate) == 4);
static_assert(offsetof(VxAudioFormat, bytesPerSecond) == 8);
static_assert(offsetof(VxAudioFormat, blockAlign) == 12);
static_assert(offsetof(VxAudioFormat, bitsPerSample) == 14);
static_assert(offsetof(VxAudioFormat, extensionSize) == 16);
static_assert(offsetof(VxAudioFormat, validBitsPerSample) == 18);
static_assert(offsetof(VxAudioFormat, channelMask) == 20);
static_assert(offsetof(VxAudioFormat, subFormat) == 24);
static_assert(offsetof(VxAudioFormat, channelMap) == 40);
static_assert(offsetof(VxAudioFormat, sampleFlags) == 2856);
static_assert(offsetof(VxChannelMapEntry, level) == 8);
