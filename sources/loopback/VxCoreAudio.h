// Core Audio declarations the loopback source relies on, in one place.
//
// The interfaces themselves (IMMDeviceEnumerator, IMMDeviceCollection,
// IMMDevice, IPropertyStore, IAudioClient, IAudioCaptureClient,
// IAudioEndpointVolume, IAudioEndpointVolumeCallback) come from the MinGW-w64
// headers, whose tables match the platform's. The class and interface IDs, the
// property key and the sub-format GUIDs are declared here as constants instead:
// MinGW only provides them as link-time symbols spread over uuid, ksuser and
// ksguid, some behind INITGUID, and a missing or differently spelt symbol
// would only show at link time in whichever module first used it. Everything
// is inline constexpr, so any module (the source, a test endpoint) may include
// this header without defining anything.
//
// Windows only.
#pragma once

#include <windows.h>

#include <audioclient.h>
#include <endpointvolume.h>
#include <mmdeviceapi.h>
#include <propidl.h>
#include <propsys.h>
#include <cstdint>

namespace vxcoreaudio {

inline constexpr CLSID kClsidDeviceEnumerator = {0xBCDE0395,
                                                 0xE52F,
                                                 0x467C,
                                                 {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
inline constexpr IID kIidDeviceEnumerator = {0xA95664D2,
                                             0x9614,
                                             0x4F35,
                                             {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
inline constexpr IID kIidDeviceCollection = {0x0BD7A1BE,
                                             0x7A1A,
                                             0x44DB,
                                             {0x83, 0x97, 0xCC, 0x53, 0x92, 0x38, 0x7B, 0x5E}};
inline constexpr IID kIidDevice = {0xD666063F,
                                   0x1587,
                                   0x4E43,
                                   {0x81, 0xF1, 0xB9, 0x48, 0xE8, 0x07, 0x36, 0x3F}};
inline constexpr IID kIidAudioClient = {0x1CB9AD4C,
                                        0xDBFA,
                                        0x4C32,
                                        {0xB1, 0x78, 0xC2, 0xF5, 0x68, 0xA7, 0x03, 0xB2}};
inline constexpr IID kIidAudioCaptureClient = {0xC8ADBD64,
                                               0xE71E,
                                               0x48A0,
                                               {0xA4, 0xDE, 0x18, 0x5C, 0x39, 0x5C, 0xD3, 0x17}};
inline constexpr IID kIidAudioEndpointVolume = {0x5CDF2C82,
                                                0x841E,
                                                0x4546,
                                                {0x97, 0x22, 0x0C, 0xF7, 0x40, 0x78, 0x22, 0x9A}};
inline constexpr IID kIidAudioEndpointVolumeCallback = {
    0x657804FA,
    0xD6AD,
    0x4496,
    {0x8A, 0x60, 0x35, 0x27, 0x52, 0xAF, 0x4F, 0x89}};
inline constexpr IID kIidPropertyStore = {0x886D8EEB,
                                          0x8CF2,
                                          0x4446,
                                          {0x8D, 0x02, 0xCD, 0xBA, 0x1D, 0xBD, 0xCF, 0x99}};
inline constexpr IID kIidUnknown = {0x00000000,
                                    0x0000,
                                    0x0000,
                                    {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The endpoint's friendly name ("Speakers (High Definition Audio)").
inline constexpr PROPERTYKEY kKeyDeviceFriendlyName = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}},
    14};

// Sub-format GUIDs of the extensible wave format: {0000tttt-0000-0010-8000-00AA00389B71}.
constexpr GUID WaveSubType(std::uint16_t tag) {
  return {tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
inline constexpr GUID kSubTypePcm = WaveSubType(1);
inline constexpr GUID kSubTypeFloat = WaveSubType(3);

inline constexpr WORD kWaveFormatExtensible = 0xFFFE;
// IAudioClient::Initialize: capture what the endpoint renders.
inline constexpr DWORD kStreamFlagsLoopback = 0x00020000;
// IMMDevice::Activate: in-process, local, remote and handler contexts together.
inline constexpr DWORD kClsctxAll = 23;

// HRESULTs the audio stack answers (audioclient.h spells some of them only
// through macros that expand to non-constant expressions).
inline constexpr HRESULT kHrWrongEndpointType = static_cast<HRESULT>(0x88890003);
inline constexpr HRESULT kHrDeviceInvalidated = static_cast<HRESULT>(0x88890004);
inline constexpr HRESULT kHrNotFound = static_cast<HRESULT>(0x80070490);

}  // namespace vxcoreaudio
