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
