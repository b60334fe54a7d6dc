// Per-channel peak levels of interleaved blocks, for progress lines.
//
// Feed() runs on the source's producer thread; TakePeaks() on the host's main
// thread returns the peaks since the previous call (0.0 to 1.0 of full scale)
// and starts a new interval. Integer samples of 8 bits are unsigned, wider
// ones signed little-endian; float samples are 32- or 64-bit IEEE.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "live_Main/boundary/VxAudioFormat.h"

class VxLevelMeter {
 public:
  void SetFormat(const VxAudioFormat& format);
  void Feed(const void* data, size_t bytes);
  std::vector<double> TakePeaks();

 private:
  std::mutex lock_;
  int channels_ = 0;
  int bytesPerSample_ = 0;
  bool float_ = false;
  std::vector<double> peaks_;
};
