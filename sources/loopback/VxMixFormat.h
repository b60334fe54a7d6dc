// Reads an audio client's mix format into the stream format record.
//
// The record is built with VxAudioFormat::Set from the wave format's bits,
// rate and channels; the sub-format and channel mask come from the extension
// for tag 0xFFFE, and from the tag otherwise (PCM for 1, IEEE float for 3, the
// matching {0000tttt-0000-0010-8000-00AA00389B71} sub-type for 0x92, 7 and
// 0x50, the all-zero GUID for any other tag, mask 0). The valid-bits field is
// not read: the record's valid bits equal its container bits.
// Windows only; call on a thread with COM initialised.
#pragma once

#include <windows.h>

#include "live_Main/boundary/VxAudioFormat.h"
#include "sources/loopback/VxCoreAudio.h"

// Asks `client` for its mix format and fills `format` from it. A call that
// fails without handing out a structure leaves the record reset to invalid
// (tag 0) and gives the call's result; a call that succeeds without a
// structure gives E_POINTER the same way. Anything the call hands out is freed.
[[nodiscard]] HRESULT VxReadMixFormat(IAudioClient* client, VxAudioFormat& format) noexcept;

// The conversion on its own, for a structure at hand.
void VxFormatFromWave(const WAVEFORMATEX& wave, VxAudioFormat& format) noexcept;
