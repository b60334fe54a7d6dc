// Per-channel levels of interleaved blocks: peaks for progress lines, and
// peak, RMS level and clipped samples over the whole run for the summary.
//
// Feed() runs on the source's producer thread; TakePeaks() and Totals() on the
// host's main thread. Levels are fractions of full scale (0.0 to 1.0).
// Integer samples of 8 bits are unsigned, wider ones signed little-endian,
// with the format's valid bits at the top of the container; float samples are
// 32- or 64-bit IEEE. A sample is clipped when it reaches full scale: the
// largest or smallest code of its valid bits, or a float magnitude of 1.0 or
// more.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "live_Main/boundary/VxAudioFormat.h"

struct VxChannelLevels {
  double peak = 0;
  double rms = 0;
  uint64_t clipped = 0;
};

class VxLevelMeter {
 public:
  // Starts over for a new format (a mid-stream format change restarts the totals).
  void SetFormat(const VxAudioFormat& format);
  void Feed(const void* data, size_t bytes);
  // Peaks since the previous call; starts a new interval.
  std::vector<double> TakePeaks();
  // Levels since the last SetFormat, one entry per channel.
  std::vector<VxChannelLevels> Totals();

 private:
  struct Channel {
    double intervalPeak = 0;
    double peak = 0;
    double sumOfSquares = 0;
    uint64_t clipped = 0;
  };
  double Sample(const uint8_t* p, bool& clipped) const;

  std::mutex lock_;
  int channels_ = 0;
  int bytesPerSample_ = 0;
  bool float_ = false;
  int64_t clipHigh_ = 0;  // integers: the largest code of the valid bits, in the container
  int64_t clipLow_ = 0;   // and the smallest
  uint64_t frames_ = 0;
  std::vector<Channel> levels_;
};
