// Short names for stream formats and sample rates, for logs and the settings
// dialog ("44.1 kHz 24bit 2ch", "DoP DSD64 (1x) 1bit 2ch").
//
// The unit words ("bit", "ch", " (padded)", "Hz", "kHz", "MHz") pass through
// the host's translation service; the DSD rate names and the "DSD "/"DoP "
// prefixes do not. The decimal separator follows the C runtime's locale as it
// stands on the first call in the process. Any thread may call these.
#pragma once

#include <cstdint>

#include "foundation/VxString.h"
#include "live_Main/boundary/VxAudioFormat.h"

// SampleRateText flags.
inline constexpr uint32_t kVxRateBlank = 2;       // blank between number and unit
inline constexpr uint32_t kVxRateTimesEight = 4;  // the rate is a DSD byte rate
inline constexpr uint32_t kVxRateNoDsdName = 8;   // never use the DSD rate names

// Extensible formats whose sub-format marks native DSD (8 bits carry 8 DSD
// samples) or DSD over PCM.
bool IsDSDFormat(const VxAudioFormat& format);
bool IsDoPFormat(const VxAudioFormat& format);

// "<prefix><rate> <bits>bit[ (padded)] <channels>ch".
VxString FormatName(const VxAudioFormat& format);
// The rate with one decimal at most and a unit, or a DSD rate name.
VxString SampleRateText(int32_t rate, uint32_t flags);
