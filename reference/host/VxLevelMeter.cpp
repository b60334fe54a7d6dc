#include "reference/host/VxLevelMeter.h"

#include <cmath>
#include <cstring>

void VxLevelMeter::SetFormat(const VxAudioFormat& f) {
  std::lock_guard<std::mutex> hold(lock_);
  channels_ = f.channels;
  bytesPerSample_ = f.bitsPerSample / 8;
  float_ = f.IsFloat();
  const int container = bytesPerSample_ * 8;
  const int valid = f.validBitsPerSample > 0 && f.validBitsPerSample < container
                        ? f.validBitsPerSample
                        : container;
  if (container >= 2 && container <= 32) {
    clipLow_ = -(int64_t{1} << (container - 1));
    clipHigh_ = (int64_t{1} << (container - 1)) - (int64_t{1} << (container - valid));
  }
  frames_ = 0;
  levels_.assign(static_cast<size_t>(channels_ > 0 ? channels_ : 0), Channel{});
}

double VxLevelMeter::Sample(const uint8_t* p, bool& clipped) const {
  if (float_) {
    double v = 0;
    if (bytesPerSample_ == 4) {
      float f;
      std::memcpy(&f, p, 4);
      v = f;
    } else if (bytesPerSample_ == 8) {
      std::memcpy(&v, p, 8);
    }
    clipped = std::fabs(v) >= 1.0;
    return v;
  }
  if (bytesPerSample_ == 1) {
    clipped = p[0] == 0 || p[0] == 255;
    return (static_cast<int>(p[0]) - 128) / 128.0;
  }
  if (bytesPerSample_ > 4) {
    clipped = false;
    return 0;
  }
  // Little-endian, sign-extended from the container's top byte.
  uint32_t bits = 0;
  std::memcpy(&bits, p, static_cast<size_t>(bytesPerSample_));
  const int shift = 32 - bytesPerSample_ * 8;
  const int64_t v = static_cast<int32_t>(bits << shift) >> shift;
  clipped = v >= clipHigh_ || v <= clipLow_;
  return static_cast<double>(v) / static_cast<double>(-clipLow_);
}

void VxLevelMeter::Feed(const void* data, size_t bytes) {
  std::lock_guard<std::mutex> hold(lock_);
  if (channels_ <= 0 || bytesPerSample_ <= 0)
    return;
  const auto* p = static_cast<const uint8_t*>(data);
  const size_t frame = static_cast<size_t>(channels_) * static_cast<size_t>(bytesPerSample_);
  const size_t frames = bytes / frame;
  for (size_t i = 0; i < frames; ++i) {
    for (Channel& c : levels_) {
      bool clipped = false;
      const double v = Sample(p, clipped);
      p += bytesPerSample_;
      const double magnitude = std::fabs(v);
      c.intervalPeak = magnitude > c.intervalPeak ? magnitude : c.intervalPeak;
      c.peak = magnitude > c.peak ? magnitude : c.peak;
      c.sumOfSquares += v * v;
      c.clipped += clipped ? 1 : 0;
    }
  }
  frames_ += frames;
}

std::vector<double> VxLevelMeter::TakePeaks() {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<double> out;
  for (Channel& c : levels_) {
    out.push_back(c.intervalPeak);
    c.intervalPeak = 0;
  }
  return out;
}

std::vector<VxChannelLevels> VxLevelMeter::Totals() {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<VxChannelLevels> out;
  for (const Channel& c : levels_) {
    VxChannelLevels levels;
    levels.peak = c.peak;
    levels.rms = frames_ ? std::sqrt(c.sumOfSquares / static_cast<double>(frames_)) : 0;
    levels.clipped = c.clipped;
    out.push_back(levels);
  }
  return out;
}
