// interleave_bench: what interleaving one buffer half of every channel costs,
// against copying the same bytes, per sample type, channel count and buffer
// size. Portable: built natively (the portable core's build, against the C
// library's memcpy) and for Windows (run under Wine, where memcpy is Wine's).
//
// Each shape is timed through a plan made once for it (as the ASIO source
// does for its stream), as the best of several rounds; the baseline is the
// faster of memcpy and a plain vector copy loop measured in the same run.
// Goal for two or more channels: at most 1.25x the baseline at 256 frames and
// more, at most 2x below. One channel is a copy and is only shown.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/VxBestCopy.h"
#include "sources/asio/VxAsioInterleave.h"

namespace {

constexpr int kRounds = 15;

struct Type {
  const char* name;
  int bytes;
};
constexpr Type kTypes[] = {{"int16", 2},
                           {"int24", 3},
                           {"int32", 4},
                           {"float32", 4},
                           {"float64", 8}};
constexpr int kChannels[] = {1, 2, 8, 32};
constexpr int kFrames[] = {32, 256, 2048};

double Goal(int frames) {
  return frames >= 256 ? 1.25 : 2.0;
}

struct Args {
  bool chosen = true;
  VxInterleaveIsa isa = VxInterleaveIsa::kPlain;
  int rounds = kRounds;
};

bool ParseIsa(const char* name, VxInterleaveIsa* isa) {
  for (VxInterleaveIsa each :
       {VxInterleaveIsa::kPlain, VxInterleaveIsa::kSse2, VxInterleaveIsa::kSsse3,
        VxInterleaveIsa::kAvx2, VxInterleaveIsa::kAvx512}) {
    std::string lower = VxInterleaveIsaName(each);
    for (char& c : lower)
      c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == name) {
      *isa = each;
      return true;
    }
  }
  return false;
}

int Usage(int code) {
  std::printf(
      "usage: interleave_bench [--isa plain|sse2|ssse3|avx2|avx-512] [--rounds N]\n"
      "  Times the ASIO block interleave per sample type, channel count and frames\n"
      "  against the faster of memcpy and a vector copy loop of the same bytes.\n"
      "  --isa measures one instruction set instead of the one chosen at run time.\n"
      "  Exit code 0 when every shape of two or more channels meets its goal.\n");
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--isa") == 0 && i + 1 < argc) {
      args.chosen = false;
      if (!ParseIsa(argv[++i], &args.isa)) {
        std::fprintf(stderr, "unknown instruction set: %s\n", argv[i]);
        return Usage(2);
      }
      if (!VxInterleaveIsaAvailable(args.isa)) {
        std::fprintf(stderr, "%s is not available on this processor\n", argv[i]);
        return 2;
      }
    } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      args.rounds = std::max(1, std::atoi(argv[++i]));
    } else {
      return Usage(std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ? 0 : 2);
    }
  }
  const VxInterleaveIsa isa = args.chosen ? VxInterleaveChosenIsa() : args.isa;
  vxbench::CopyBaseline baseline;
  std::printf(
      "interleave (%s%s) vs copies of the same bytes, best of %d rounds; vector copy loop: "
      "%d-byte registers\n",
      VxInterleaveIsaName(isa), args.chosen ? ", chosen at run time" : "", args.rounds,
      baseline.VectorWidth());
  std::printf("%-8s %3s %6s %8s %11s %10s %10s %8s %8s %5s\n", "type", "ch", "frames", "bytes",
              "interleave", "memcpy", "vector", "x memcpy", "x best", "goal");
  int shapes = 0, met = 0;
  std::string above;
  for (const Type& t : kTypes) {
    for (int channels : kChannels) {
      for (int frames : kFrames) {
        const size_t half = static_cast<size_t>(frames) * static_cast<size_t>(t.bytes);
        const size_t bytes = half * static_cast<size_t>(channels);
        // All halves in one 64-byte aligned allocation, channel by channel,
        // as drivers commonly lay them out; the block after them, 2 KB on
        // from a page boundary, as the copy baseline's destination is.
        const size_t slot = (half + 63) / 64 * 64;
        const size_t halvesBytes = (slot * static_cast<size_t>(channels) * 2 + 4095) / 4096 * 4096;
        std::vector<uint8_t> arena(halvesBytes + 2048 + bytes + 4096);
        uint8_t* base =
            arena.data() + (4096 - reinterpret_cast<uintptr_t>(arena.data()) % 4096) % 4096;
        std::vector<const void*> pointers[2];
        for (size_t k = 0; k < static_cast<size_t>(channels) * 2; ++k) {
          uint8_t* p = base + k * slot;
          for (size_t i = 0; i < half; ++i)
            p[i] = static_cast<uint8_t>(i * 13 + k);
          pointers[k % 2].push_back(p);
        }
        uint8_t* block = base + halvesBytes + 2048;
        const int calls = static_cast<int>(std::max<size_t>(400, (48u << 20) / bytes / 2));
        // Made once for the shape, as the ASIO source makes it for its stream.
        const VxInterleavePlan plan(isa, channels, frames, t.bytes);
        const double ns = vxbench::NanosPerCall(args.rounds, calls, [&](int i) {
          plan.Run(block, pointers[i & 1].data());
          vxbench::gKeep = vxbench::gKeep + block[bytes - 1];
        });
        const vxbench::CopyCost copy = baseline.Measure(args.rounds, calls, bytes);
        const double ratio = ns / copy.Best();
        const bool counted = channels >= 2;
        const bool ok = ratio <= Goal(frames);
        shapes += counted;
        met += counted && ok;
        if (counted && !ok) {
          char shape[64];
          std::snprintf(shape, sizeof shape, " %s/%d/%d", t.name, channels, frames);
          above += shape;
        }
        std::printf("%-8s %3d %6d %8zu %11.1f %10.1f %10.1f %8.2f %8.2f %5s\n", t.name, channels,
                    frames, bytes, ns, copy.memcpyNs, copy.vectorNs, ns / copy.memcpyNs, ratio,
                    !counted ? "-"
                    : ok     ? "ok"
                             : "ABOVE");
      }
    }
  }
  std::printf("\n%d of %d shapes of two or more channels meet the goal (%s)%s%s\n", met, shapes,
              VxInterleaveIsaName(isa), above.empty() ? "" : "; above it:", above.c_str());
  return met == shapes ? 0 : 1;
}
