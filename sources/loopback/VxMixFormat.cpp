#include "sources/loopback/VxMixFormat.h"

#include <cstring>

#include "foundation/VxHandle.h"

namespace {

VxGuid ToVxGuid(const GUID& guid) {
  VxGuid out;
  static_assert(sizeof(out) == sizeof(guid));
  std::memcpy(&out, &guid, sizeof(out));
  return out;
}

GUID SubTypeForTag(WORD tag) {
  switch (tag) {
    case 1:
    case 3:
    case 0x92:
    case 7:
    case 0x50:
      return vxcoreaudio::WaveSubType(tag);
    default:
      return GUID{};
  }
}

}  // namespace

void VxFormatFromWave(const WAVEFORMATEX& wave, VxAudioFormat& format) noexcept {
  GUID subFormat;
  DWORD mask = 0;
  const bool extensible = wave.wFormatTag == vxcoreaudio::kWaveFormatExtensible;
  if (extensible) {
    const auto& ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(wave);
    mask = ext.dwChannelMask;
    subFormat = ext.SubFormat;
  } else {
    subFormat = SubTypeForTag(wave.wFormatTag);
  }
  format.Set(wave.wBitsPerSample, wave.nSamplesPerSec, wave.nChannels, mask, extensible,
             ToVxGuid(subFormat));
}

HRESULT VxReadMixFormat(IAudioClient* client, VxAudioFormat& format) noexcept {
  WAVEFORMATEX* wave = nullptr;
  const HRESULT hr = client->GetMixFormat(&wave);
  VxCoTaskMem owned(wave);
  if (!wave) {
    format.ResetToInvalid();
    return FAILED(hr) ? hr : E_POINTER;
  }
  // A structure handed out alongside a failure is still the endpoint's format.
  VxFormatFromWave(*wave, format);
  return S_OK;
}
