// Interleaving of per-channel buffer halves, against a byte-by-byte reference.
#include "sources/asio/VxAsioInterleave.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> Reference(const std::vector<const void*>& data, int frames, int bytes) {
  const int channels = static_cast<int>(data.size());
  std::vector<uint8_t> out(static_cast<size_t>(channels) * frames * bytes);
  size_t o = 0;
  for (int f = 0; f < frames; ++f) {
    for (int c = 0; c < channels; ++c) {
      for (int b = 0; b < bytes; ++b, ++o)
        out[o] = data[c] ? static_cast<const uint8_t*>(data[c])[f * bytes + b] : 0;
    }
  }
  return out;
}

}  // namespace

TEST(AsioInterleave, MatchesFrameByFrameCopyForEverySampleSizeWithSilentChannels) {
  for (int bytes : {1, 2, 3, 4, 5, 8}) {
    for (int channels : {1, 2, 3, 5, 8, 32}) {
      for (int frames : {1, 7, 256, 600}) {
        std::vector<std::vector<uint8_t>> halves(channels);
        std::vector<const void*> pointers(channels);
        for (int c = 0; c < channels; ++c) {
          halves[c].resize(static_cast<size_t>(frames) * bytes);
          for (size_t i = 0; i < halves[c].size(); ++i)
            halves[c][i] = static_cast<uint8_t>(i * 7 + c * 31 + 1);
          // Every third channel has no buffer half: it must read as silence.
          pointers[c] = (c % 3 == 2) ? nullptr : halves[c].data();
        }
        const std::vector<uint8_t> expected = Reference(pointers, frames, bytes);
        std::vector<uint8_t> out(expected.size() + 16, 0xEE);
        VxInterleave(out.data(), pointers.data(), channels, frames, bytes);
        ASSERT_EQ(0, std::memcmp(out.data(), expected.data(), expected.size()))
            << bytes << " bytes, " << channels << " channels, " << frames << " frames";
        for (size_t i = expected.size(); i < out.size(); ++i)
          ASSERT_EQ(out[i], 0xEE) << "wrote past the block";
      }
    }
  }
}
