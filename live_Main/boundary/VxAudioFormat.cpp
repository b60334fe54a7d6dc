#include "live_Main/boundary/VxAudioFormat.h"

#include <bit>
#include <cstring>

#include "live_Main/boundary/contract/VxLiveHost.h"

// The header hosts build against describes this record, field for field.
static_assert(sizeof(VxLiveFormat) == sizeof(VxAudioFormat));
static_assert(offsetof(VxLiveFormat, channelMask) == offsetof(VxAudioFormat, channelMask));
static_assert(offsetof(VxLiveFormat, subFormat) == offsetof(VxAudioFormat, subFormat));
static_assert(offsetof(VxLiveFormat, channelMap) == offsetof(VxAudioFormat, channelMap));
static_assert(offsetof(VxLiveFormat, sampleFlags) == offsetof(VxAudioFormat, sampleFlags));
static_assert(sizeof(VxLiveChannelMapEntry) == sizeof(VxChannelMapEntry));
static_assert(offsetof(VxLiveChannelMapEntry, level) == offsetof(VxChannelMapEntry, level));

namespace {

constexpr VxGuid kSubType92 = {0x00000092,
                               0x0000,
                               0x0010,
                               {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr VxGuid kSubType07 = {0x00000007,
                               0x0000,
                               0x0010,
                               {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr VxGuid kSubType50 = {0x00000050,
                               0x0000,
                               0x0010,
                               {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

constexpr uint32_t kCodeLowFrequency = 5;

}  // namespace

VxAudioFormat::VxAudioFormat() {
  std::memset(static_cast<void*>(this), 0, sizeof(*this));
  sampleFlags = kFlagInteger;
  Set(16, 44100, 2, 0, false, kVxGuidNull);
}

void VxAudioFormat::ResetToInvalid() {
  sampleFlags = (sampleFlags & ~(kFlagBit3 | kFlagBit4)) | kFlagInteger;
  extensionSize = 0;
  validBitsPerSample = 16;
  blockAlign = 4;
  bitsPerSample = 16;
  sampleRate = 44100;
  channels = 2;
  bytesPerSecond = 176400;
  channelMask = 0;
  FillChannelMap(0);
  formatTag = 0;
  subFormat = kVxSubTypePcm;
}

void VxAudioFormat::Set(uint32_t bitsAndFlags,
                        uint32_t rate,
                        uint32_t channelCount,
                        uint32_t mask,
                        bool extensible,
                        const VxGuid& sub) {
  const uint16_t bits = static_cast<uint16_t>(bitsAndFlags & 0xFFFF);
  const bool isFloat = (bitsAndFlags & kSetForceInteger) == 0 && !(sub == kVxSubTypePcm) &&
                       (bits == 32 || bits == 64);

  if (isFloat)
    sampleFlags &= ~kFlagInteger;
  else
    sampleFlags |= kFlagInteger;
  if (bitsAndFlags & kSetFlagBit3)
    sampleFlags |= kFlagBit3;
  else
    sampleFlags &= ~kFlagBit3;
  if (bitsAndFlags & kSetFlagBit4)
    sampleFlags |= kFlagBit4;
  else
    sampleFlags &= ~kFlagBit4;

  uint16_t padding = 0;
  if ((bitsAndFlags & 0x40000) && bits >= 8)
    padding = 4;
  else if ((bitsAndFlags & 0x80000) && bits > 8)
    padding = 8;
  else if ((bitsAndFlags & 0x100000) && bits >= 16)
    padding = 12;
  else if ((bitsAndFlags & 0x200000) && bits >= 16)
    padding = 14;
  else if ((bitsAndFlags & 0x400000) && bits > 16)
    padding = 16;

  extensionSize = extensible ? 22 : 0;
  bitsPerSample = (bits == 1 || bits % 8 == 0) ? bits : static_cast<uint16_t>((bits / 8 + 1) * 8);
  sampleRate = rate;
  channels = static_cast<uint16_t>(channelCount & 0xFFFF);
  blockAlign = static_cast<uint16_t>((bitsPerSample / 8) * channels);
  const uint32_t bitsPerFrame =
      blockAlign ? uint32_t{blockAlign} * 8u : uint32_t{channels} * bitsPerSample;
  bytesPerSecond = bitsPerFrame * sampleRate / 8u;
  validBitsPerSample = static_cast<uint16_t>(bits - padding);

  channelMask = std::popcount(mask) == static_cast<int>(channels) ? mask : 0;
  FillChannelMap(channelMask);

  if (sub == kVxGuidNull || sub == kVxSubTypePcm || sub == kVxSubTypeFloat)
    subFormat = isFloat ? kVxSubTypeFloat : kVxSubTypePcm;
  else
    subFormat = sub;

  if (extensible)
    formatTag = 0xFFFE;
  else if (subFormat == kVxSubTypeFloat)
    formatTag = 3;
  else if (subFormat == kSubType92)
    formatTag = 0x92;
  else if (subFormat == kSubType07)
    formatTag = 7;
  else if (subFormat == kSubType50)
    formatTag = 0x50;
  else
    formatTag = 1;
}

void VxAudioFormat::FillChannelMap(uint32_t maskOrZero) {
  std::memset(channelMap, 0, sizeof(channelMap));
  static constexpr uint32_t k3Centre[] = {2, 3, 4};
  static constexpr uint32_t k3Lfe[] = {2, 3, 5};
  static constexpr uint32_t k4Quad[] = {2, 3, 4, 5};
  static constexpr uint32_t k4Surround[] = {2, 3, 6, 7};
  static constexpr uint32_t k5[] = {2, 3, 4, 6, 7};
  static constexpr uint32_t k6[] = {2, 3, 4, 5, 6, 7};
  static constexpr uint32_t k7RearCentreFirst[] = {2, 3, 4, 5, 10, 6, 7};
  static constexpr uint32_t k7[] = {2, 3, 4, 5, 6, 7, 10};
  static constexpr uint32_t k8[] = {2, 3, 4, 5, 8, 9, 6, 7};
  static constexpr uint32_t k10[] = {2, 3, 4, 5, 6, 7, 54, 55, 56, 57};
  static constexpr uint32_t k12[] = {2, 3, 4, 5, 8, 9, 6, 7, 54, 55, 56, 57};

  const int count = channels;
  if (count == 0)
    return;
  uint32_t codes[kMaxChannelMap] = {};
  bool lfeLevel = true;
  auto copy = [&](const uint32_t* src, int n) {
    for (int i = 0; i < n; ++i)
      codes[i] = src[i];
  };
  switch (count) {
    case 1:
      codes[0] = 1;
      break;
    case 2:
      codes[0] = 2;
      codes[1] = 3;
      break;
    case 3:
      copy(maskOrZero == 0x7 ? k3Centre : k3Lfe, 3);
      lfeLevel = false;
      break;
    case 4:
      copy(maskOrZero == 0xF ? k4Quad : k4Surround, 4);
      break;
    case 5:
      copy(k5, 5);
      break;
    case 6:
      copy(k6, 6);
      break;
    case 7:
      copy((maskOrZero & 0x700) == 0x700 ? k7RearCentreFirst : k7, 7);
      break;
    case 8:
      copy(k8, 8);
      break;
    case 10:
      copy(k10, 10);
      break;
    case 12:
      copy(k12, 12);
      break;
    default:
      copy(k8, 8);
      for (int i = 8; i < 32 && i < count; ++i)
        codes[i] = static_cast<uint32_t>(i + 5);
      break;
  }
  const int entries = count < kMaxChannelMap ? count : kMaxChannelMap;
  for (int i = 0; i < entries; ++i) {
    channelMap[i].speaker = codes[i];
    channelMap[i].present = 1;
    if (lfeLevel && codes[i] == kCodeLowFrequency)
      channelMap[i].level = 10.0f;
  }
}
