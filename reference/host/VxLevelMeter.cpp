#include "reference/host/VxLevelMeter.h"

#include <cmath>
#include <cstring>

void VxLevelMeter::SetFormat(const VxAudioFormat& f) {
  std::lock_guard<std::mutex> hold(lock_);
  channels_ = f.channels;
  bytesPerSample_ = f.bitsPerSample / 8;
  float_ = f.IsFloat();
  peaks_.assign(static_cast<size_t>(channels_), 0.0);
}

void VxLevelMeter::Feed(const void* data, size_t bytes) {
  std::lock_guard<std::mutex> hold(lock_);
  if (channels_ <= 0 || bytesPerSample_ <= 0)
    return;
  const auto* p = static_cast<const uint8_t*>(data);
  const size_t frame = static_cast<size_t>(channels_) * static_cast<size_t>(bytesPerSample_);
  const size_t frames = bytes / frame;
  for (size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels_; ++c, p += bytesPerSample_) {
      double v = 0;
      if (float_ && bytesPerSample_ == 4) {
        float f;
        std::memcpy(&f, p, 4);
        v = f;
      } else if (float_ && bytesPerSample_ == 8) {
        std::memcpy(&v, p, 8);
      } else if (bytesPerSample_ == 1) {
        v = (static_cast<int>(p[0]) - 128) / 128.0;
      } else {
        // Signed little-endian: the top two bytes carry enough resolution for a meter.
        const int16_t top =
            static_cast<int16_t>(p[bytesPerSample_ - 1] << 8 | p[bytesPerSample_ - 2]);
        v = top / 32768.0;
      }
      v = std::fabs(v);
      if (v > peaks_[static_cast<size_t>(c)])
        peaks_[static_cast<size_t>(c)] = v;
    }
  }
}

std::vector<double> VxLevelMeter::TakePeaks() {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<double> out = peaks_;
  peaks_.assign(peaks_.size(), 0.0);
  return out;
}
