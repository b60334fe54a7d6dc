// Interleaving of per-channel buffer halves, against a byte-by-byte reference,
// for every instruction set this processor has.
#include "sources/asio/VxAsioInterleave.h"

#include <gtest/gtest.h>

#include <cstdio>
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

// Channel counts 1-33 reach every channel group of every vector path, alone
// and after wider groups; the frame counts give whole vector steps with and
// without tails, several passes, and blocks too short for any vector step.
// Each channel's half ends where its allocation ends (an overread shows under
// AddressSanitizer) and starts at an odd address.
TEST(AsioInterleave, EveryInstructionSetMatchesTheReferenceForEveryShape) {
  std::vector<VxInterleaveIsa> sets;
  for (VxInterleaveIsa isa :
       {VxInterleaveIsa::kPlain, VxInterleaveIsa::kSse2, VxInterleaveIsa::kSsse3,
        VxInterleaveIsa::kAvx2, VxInterleaveIsa::kAvx512}) {
    if (VxInterleaveIsaAvailable(isa))
      sets.push_back(isa);
  }
  std::printf("checked: %zu sets, VxInterleave uses %s\n", sets.size(),
              VxInterleaveIsaName(VxInterleaveChosenIsa()));
  constexpr size_t kGuard = 16;
  for (int bytes : {2, 3, 4, 8, 5}) {
    for (int channels = 1; channels <= 33; ++channels) {
      for (int frames : {1, 13, 61, 300}) {
        for (bool withSilent : {false, true}) {
          std::vector<std::vector<uint8_t>> halves(channels);
          std::vector<const void*> pointers(channels);
          for (int c = 0; c < channels; ++c) {
            const size_t skew = (c + channels) % 7 + 1;
            halves[c].resize(skew + static_cast<size_t>(frames) * bytes);
            for (size_t i = 0; i < halves[c].size(); ++i)
              halves[c][i] = static_cast<uint8_t>(i * 7 + c * 31 + 1);
            // Missing halves, at a different position for each channel count.
            const bool silent = withSilent && (c * 5 + channels) % 3 == 1;
            pointers[c] = silent ? nullptr : halves[c].data() + skew;
          }
          const std::vector<uint8_t> expected = Reference(pointers, frames, bytes);
          const size_t at = kGuard + (channels + frames) % 8;
          for (int run = 0; run <= static_cast<int>(sets.size()); ++run) {
            std::vector<uint8_t> out(at + expected.size() + kGuard, 0xEE);
            if (run == 0)
              VxInterleave(out.data() + at, pointers.data(), channels, frames, bytes);
            else
              VxInterleaveWith(sets[run - 1], out.data() + at, pointers.data(), channels, frames,
                               bytes);
            const char* name = run == 0 ? "chosen" : VxInterleaveIsaName(sets[run - 1]);
            ASSERT_EQ(0, std::memcmp(out.data() + at, expected.data(), expected.size()))
                << name << ": " << bytes << " bytes, " << channels << " channels, " << frames
                << " frames, silent channels " << withSilent;
            for (size_t i = 0; i < out.size(); i = (i + 1 == at) ? at + expected.size() : i + 1)
              ASSERT_EQ(out[i], 0xEE) << name << ": wrote outside the block at " << i;
          }
        }
      }
    }
  }
}

// A block without frames, channels or sample bytes, or with a negative count,
// writes nothing.
TEST(AsioInterleave, DegenerateShapesWriteNothing) {
  const std::vector<uint8_t> half(64, 0x11);
  const void* pointers[2] = {half.data(), half.data()};
  const int shapes[][3] = {{1, -1, 4}, {2, -1, 4}, {1, 0, 4}, {0, 5, 4},
                           {-1, 5, 4}, {2, 5, 0},  {1, 5, -2}};  // channels, frames, bytes
  for (const auto& s : shapes) {
    std::vector<uint8_t> out(64, 0xEE);
    VxInterleave(out.data(), pointers, s[0], s[1], s[2]);
    EXPECT_EQ(out, std::vector<uint8_t>(64, 0xEE)) << s[0] << " ch, " << s[1] << " frames";
  }
}

#if defined(__x86_64__) || defined(__i386__)
// The sets are found with CPUID and XGETBV; the compiler's runtime finds them
// its own way (also asking the system for the register state). A set wrongly
// missing only slows the interleave down, so no other test would notice.
TEST(AsioInterleave, FindsTheSetsTheCompilerRuntimeFinds) {
  __builtin_cpu_init();
  EXPECT_EQ(VxInterleaveIsaAvailable(VxInterleaveIsa::kSse2), !!__builtin_cpu_supports("sse2"));
  EXPECT_EQ(VxInterleaveIsaAvailable(VxInterleaveIsa::kSsse3), !!__builtin_cpu_supports("ssse3"));
  EXPECT_EQ(VxInterleaveIsaAvailable(VxInterleaveIsa::kAvx2), !!__builtin_cpu_supports("avx2"));
  EXPECT_EQ(VxInterleaveIsaAvailable(VxInterleaveIsa::kAvx512),
            __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi"));
}
#endif
