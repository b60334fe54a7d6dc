#include "live_Main/boundary/VxFormatNames.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/VxFormat.h"
#include "live_Main/host/VxLog.h"

namespace {

constexpr uint16_t kExtensibleTag = 0xFFFE;

constexpr VxGuid kDsdSubTypes[] = {
    {0x34CF0AEF, 0x4A1B, 0x4927, {0x97, 0x9D, 0xDE, 0x4D, 0x41, 0x71, 0xA6, 0xB1}},
    {0xB3B3761C, 0x48C9, 0x46AE, {0xB8, 0x63, 0x67, 0x6D, 0xF6, 0x06, 0x1D, 0xB5}},
};
constexpr VxGuid kDopSubTypes[] = {
    {0x759FB349, 0xE701, 0x4AFB, {0x92, 0x76, 0xA2, 0xDD, 0xD8, 0x75, 0x35, 0xD5}},
    {0x274485C3, 0x69F6, 0x4912, {0x84, 0x93, 0x89, 0x53, 0xE7, 0x0E, 0x1E, 0x74}},
};

struct DsdRateName {
  int32_t rate;
  const char16_t* name;
};
constexpr DsdRateName kDsdRateNames[] = {
    {2822400, u"DSD64 (1x)"},   {5644800, u"DSD128 (2x)"},    {11289600, u"DSD256 (4x)"},
    {22579200, u"DSD512 (8x)"}, {45158400, u"DSD1024 (16x)"},
};

bool HasSubType(const VxAudioFormat& format, const VxGuid (&types)[2]) {
  return format.formatTag == kExtensibleTag &&
         (format.subFormat == types[0] || format.subFormat == types[1]);
}

// Whether the runtime writes 1.1 with a comma; asked once per process so that
// a later locale change cannot make names of one run disagree.
char16_t DecimalSeparator() {
  static const char16_t separator = [] {
    char text[16] = {};
    std::snprintf(text, sizeof text, "%.1f", 1.1);
    return std::strchr(text, ',') ? u',' : u'.';
  }();
  return separator;
}

}  // namespace

bool IsDSDFormat(const VxAudioFormat& format) {
  return HasSubType(format, kDsdSubTypes);
}

bool IsDoPFormat(const VxAudioFormat& format) {
  return HasSubType(format, kDopSubTypes);
}

VxString SampleRateText(int32_t rate, uint32_t flags) {
  // 32-bit arithmetic: the times-eight rate wraps like the value it stands for.
  int32_t value = rate;
  if (flags & kVxRateTimesEight)
    value = static_cast<int32_t>(static_cast<uint32_t>(value) * 8u);
  if (!(flags & kVxRateNoDsdName)) {
    for (const DsdRateName& entry : kDsdRateNames) {
      if (entry.rate == value)
        return VxString(entry.name);
    }
  }
  double scaled = value;
  const char16_t* unit = u"Hz";
  if (scaled >= 1000) {
    scaled /= 1000;
    unit = u"kHz";
    if (scaled >= 1000) {
      scaled /= 1000;
      unit = u"MHz";
    }
  }
  const long long tenths = static_cast<long long>(std::floor(scaled * 10 + 0.5));
  const long long magnitude = std::llabs(tenths);
  VxString number = VxFormat(u"%s%d", {tenths < 0 ? u"-" : u"", magnitude / 10});
  if (magnitude % 10 != 0) {
    number += DecimalSeparator();
    number += static_cast<char16_t>(u'0' + magnitude % 10);
  }
  if (flags & kVxRateBlank)
    number += u' ';
  return number + VxTranslate(VxString(unit));
}

VxString FormatName(const VxAudioFormat& format) {
  int32_t rate = static_cast<int32_t>(format.sampleRate);
  int32_t bits = format.bitsPerSample;
  bool padded = false;
  if (format.validBitsPerSample != 0 && format.validBitsPerSample < bits) {
    padded = true;
    bits = format.validBitsPerSample;
  }
  const bool dsd = IsDSDFormat(format);
  const bool dop = IsDoPFormat(format);
  const char16_t* prefix = u"";
  if (dsd && bits == 8) {
    rate = static_cast<int32_t>(static_cast<uint32_t>(rate) * 8u);
    bits = 1;
    prefix = u"DSD ";
  }
  if (dop) {
    rate = static_cast<int32_t>(static_cast<uint32_t>(rate) * 16u);
    bits = 1;
    prefix = u"DoP ";
  }
  uint32_t flags = (dsd || dop) ? kVxRateBlank : (kVxRateBlank | kVxRateNoDsdName);
  if (format.sampleFlags & VxAudioFormat::kFlagRateTimesEight)
    flags |= kVxRateTimesEight;
  const VxString rateText = SampleRateText(rate, flags);
  const VxString bit = VxTranslate(VxString(u"bit"));
  const VxString pad = padded ? VxTranslate(VxString(u" (padded)")) : VxString();
  const VxString ch = VxTranslate(VxString(u"ch"));
  return VxFormat(u"%s%s %d%s%s %d%s",
                  {prefix, rateText, bits, bit, pad, static_cast<int>(format.channels), ch});
}
