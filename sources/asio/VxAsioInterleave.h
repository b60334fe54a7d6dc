// Interleaving of the ASIO driver's per-channel buffer halves into one block.
//
// Samples are copied unchanged (the formats the source handles are
// little-endian like the block); a channel whose source pointer is null gets
// silence. Portable, pure, any thread; no allocation.
//
// 16-, 24-, 32- and 64-bit samples go through vector code for the best
// instruction set the processor has, chosen once on first use; every variant
// writes the same bytes. Other sample sizes are copied by plain code.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes `frames` frames of `channels` samples of `bytesPerSample` bytes to
// `out` (frames * channels * bytesPerSample bytes): frame f, channel c comes
// from channelData[c] + f * bytesPerSample. No alignment is needed.
void VxInterleave(uint8_t* out,
                  const void* const* channelData,
                  int channels,
                  int frames,
                  int bytesPerSample) noexcept;

// kAvx512 needs AVX-512 F, BW, VL and VBMI (byte permutes).
enum class VxInterleaveIsa { kPlain, kSse2, kSsse3, kAvx2, kAvx512 };

// Whether this build, processor and system can run `isa`.
bool VxInterleaveIsaAvailable(VxInterleaveIsa isa) noexcept;
// The set VxInterleave uses: the best available one.
VxInterleaveIsa VxInterleaveChosenIsa() noexcept;
const char* VxInterleaveIsaName(VxInterleaveIsa isa) noexcept;
// VxInterleave with the given, available, set (for tests and benchmarks).
void VxInterleaveWith(VxInterleaveIsa isa,
                      uint8_t* out,
                      const void* const* channelData,
                      int channels,
                      int frames,
                      int bytesPerSample) noexcept;

// One shape's interleave, chosen once. A stream's blocks all have the same
// shape, so the set, the sample size and the channel count are looked at when
// the plan is made, and Run goes straight to the loop for the shape. A plan
// made by default, or for a shape without frames, channels or sample bytes,
// writes nothing. Copyable; Run may be called from any thread.
class VxInterleavePlan {
 public:
  VxInterleavePlan() = default;
  VxInterleavePlan(int channels, int frames, int bytesPerSample) noexcept;
  // With the given, available, set (for tests and benchmarks).
  VxInterleavePlan(VxInterleaveIsa isa, int channels, int frames, int bytesPerSample) noexcept;

  // Whether the plan was made for this shape.
  bool Fits(int channels, int frames, int bytesPerSample) const noexcept {
    return function_ && channels == channels_ && frames == frames_ &&
           bytesPerSample == bytesPerSample_;
  }
  // VxInterleave of the plan's shape.
  void Run(uint8_t* out, const void* const* channelData) const noexcept {
    if (function_)
      function_(out, channelData, channels_, frames_, bytesPerSample_);
  }

 private:
  void (*function_)(uint8_t*, const void* const*, int, int, int) = nullptr;
  int channels_ = 0;
  int frames_ = 0;
  int bytesPerSample_ = 0;
};
