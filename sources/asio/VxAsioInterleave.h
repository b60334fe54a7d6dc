// Interleaving of the ASIO driver's per-channel buffer halves into one block.
//
// Samples are copied unchanged (the formats the source handles are
// little-endian like the block); a channel whose source pointer is null gets
// silence. Portable, pure, any thread.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes `frames` frames of `channels` samples of `bytesPerSample` bytes to
// `out` (frames * channels * bytesPerSample bytes): frame f, channel c comes
// from channelData[c] + f * bytesPerSample.
void VxInterleave(uint8_t* out,
                  const void* const* channelData,
                  int channels,
                  int frames,
                  int bytesPerSample) noexcept;
