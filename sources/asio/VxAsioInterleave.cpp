#include "sources/asio/VxAsioInterleave.h"

#include <cstring>

namespace {

// One channel into every `stride`-th sample of `out`. Fixed sample sizes let
// the compiler turn the copy into single loads and stores.
template <int kBytes>
void CopyChannel(uint8_t* out, const uint8_t* in, int frames, size_t stride) {
  if (!in) {
    for (int f = 0; f < frames; ++f, out += stride)
      std::memset(out, 0, kBytes);
    return;
  }
  for (int f = 0; f < frames; ++f, out += stride, in += kBytes)
    std::memcpy(out, in, kBytes);
}

template <int kBytes>
void InterleaveFixed(uint8_t* out, const void* const* data, int channels, int frames) {
  const size_t stride = static_cast<size_t>(channels) * kBytes;
  // Channels in groups of four: each pass writes neighbouring samples of a
  // frame, which keeps the output in cache for all channels.
  constexpr int kGroup = 4;
  constexpr int kFramesPerPass = 256;
  for (int start = 0; start < frames; start += kFramesPerPass) {
    const int count = frames - start < kFramesPerPass ? frames - start : kFramesPerPass;
    for (int c = 0; c < channels; c += kGroup) {
      const int group = channels - c < kGroup ? channels - c : kGroup;
      for (int g = 0; g < group; ++g) {
        const auto* in = static_cast<const uint8_t*>(data[c + g]);
        CopyChannel<kBytes>(
            out + static_cast<size_t>(start) * stride + static_cast<size_t>(c + g) * kBytes,
            in ? in + static_cast<size_t>(start) * kBytes : nullptr, count, stride);
      }
    }
  }
}

}  // namespace

void VxInterleave(uint8_t* out,
                  const void* const* data,
                  int channels,
                  int frames,
                  int bytesPerSample) noexcept {
  if (channels <= 0 || frames <= 0 || bytesPerSample <= 0)
    return;
  const size_t channelBytes = static_cast<size_t>(frames) * static_cast<size_t>(bytesPerSample);
  if (channels == 1) {
    if (data[0])
      std::memcpy(out, data[0], channelBytes);
    else
      std::memset(out, 0, channelBytes);
    return;
  }
  switch (bytesPerSample) {
    case 2:
      return InterleaveFixed<2>(out, data, channels, frames);
    case 3:
      return InterleaveFixed<3>(out, data, channels, frames);
    case 4:
      return InterleaveFixed<4>(out, data, channels, frames);
    case 8:
      return InterleaveFixed<8>(out, data, channels, frames);
    default:
      break;
  }
  const size_t stride = static_cast<size_t>(channels) * static_cast<size_t>(bytesPerSample);
  for (int c = 0; c < channels; ++c) {
    const auto* in = static_cast<const uint8_t*>(data[c]);
    uint8_t* o = out + static_cast<size_t>(c) * static_cast<size_t>(bytesPerSample);
    for (int f = 0; f < frames; ++f, o += stride) {
      if (in)
        std::memcpy(o, in + static_cast<size_t>(f) * bytesPerSample, bytesPerSample);
      else
        std::memset(o, 0, bytesPerSample);
    }
  }
}
