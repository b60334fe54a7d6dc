#include "sources/asio/VxAsioInterleave.h"

#include <array>
#include <cassert>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define VX_INTERLEAVE_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

namespace plain {
#define VX_TARGET
#define VX_LEVEL 0
#include "sources/asio/VxAsioInterleave.inc"
#undef VX_LEVEL
#undef VX_TARGET
}  // namespace plain

#if VX_INTERLEAVE_X86
namespace sse2 {
#define VX_TARGET __attribute__((target("sse2")))
#define VX_LEVEL 1
#include "sources/asio/VxAsioInterleave.inc"
#undef VX_LEVEL
#undef VX_TARGET
}  // namespace sse2

namespace ssse3 {
#define VX_TARGET __attribute__((target("ssse3")))
#define VX_LEVEL 2
#include "sources/asio/VxAsioInterleave.inc"
#undef VX_LEVEL
#undef VX_TARGET
}  // namespace ssse3

namespace avx2 {
#define VX_TARGET __attribute__((target("avx2")))
#define VX_LEVEL 3
#include "sources/asio/VxAsioInterleave.inc"
#undef VX_LEVEL
#undef VX_TARGET
}  // namespace avx2

namespace avx512 {
#define VX_TARGET __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi")))
#define VX_LEVEL 4
#include "sources/asio/VxAsioInterleave.inc"
#undef VX_LEVEL
#undef VX_TARGET
}  // namespace avx512
#endif

#if VX_INTERLEAVE_X86
struct Features {
  bool sse2 = false, ssse3 = false, avx2 = false, avx512 = false;
};

// What the processor has (CPUID) and what the system saves and restores on a
// thread switch (XGETBV): the 256-bit registers for AVX2, and also the mask
// and 512-bit registers for AVX-512. An instruction set the system does not
// save faults or corrupts registers, however the processor reports it.
Features Detect() {
  Features f;
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d))
    return f;
  f.sse2 = d & (1u << 26);
  f.ssse3 = c & (1u << 9);
  const bool osxsave = c & (1u << 27), avx = c & (1u << 28);
  if (!osxsave || !avx || __get_cpuid_max(0, nullptr) < 7)
    return f;
  unsigned lo = 0, hi = 0;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  const bool ymm = (lo & 0x6) == 0x6;           // SSE and AVX state
  const bool zmm = ymm && (lo & 0xE0) == 0xE0;  // opmask, ZMM0-15 high, ZMM16-31
  __cpuid_count(7, 0, a, b, c, d);
  f.avx2 = ymm && (b & (1u << 5));
  const bool avx512f = b & (1u << 16), avx512bw = b & (1u << 30), avx512vl = b & (1u << 31);
  const bool vbmi = c & (1u << 1);
  f.avx512 = zmm && f.avx2 && avx512f && avx512bw && avx512vl && vbmi;
  return f;
}
#endif

using InterleaveFn = void (*)(uint8_t*, const void* const*, int, int, int);

void Copy(uint8_t* out, const void* const* data, int, int frames, int bytesPerSample) {
  const size_t bytes = static_cast<size_t>(frames) * static_cast<size_t>(bytesPerSample);
  if (data[0])
    std::memcpy(out, data[0], bytes);
  else
    std::memset(out, 0, bytes);
}

// Sample sizes no kernel handles.
void Samples(uint8_t* out, const void* const* data, int channels, int frames, int bytesPerSample) {
  const size_t stride = static_cast<size_t>(channels) * static_cast<size_t>(bytesPerSample);
  for (int c = 0; c < channels; ++c) {
    const auto* in = static_cast<const uint8_t*>(data[c]);
    uint8_t* o = out + static_cast<size_t>(c) * static_cast<size_t>(bytesPerSample);
    for (int f = 0; f < frames; ++f, o += stride) {
      if (in)
        std::memcpy(o, in + static_cast<size_t>(f) * bytesPerSample, bytesPerSample);
      else
        std::memset(o, 0, bytesPerSample);
    }
  }
}

InterleaveFn Function(VxInterleaveIsa isa, int channels, int bytesPerSample) {
#if VX_INTERLEAVE_X86
  // AVX2 and up copy one channel themselves.
  if (channels == 1 && isa == VxInterleaveIsa::kAvx2)
    return avx2::Pick(channels, bytesPerSample);
  if (channels == 1 && isa == VxInterleaveIsa::kAvx512)
    return avx512::Pick(channels, bytesPerSample);
#endif
  if (channels == 1)
    return Copy;
  if (bytesPerSample != 2 && bytesPerSample != 3 && bytesPerSample != 4 && bytesPerSample != 8)
    return Samples;
  switch (isa) {
#if VX_INTERLEAVE_X86
    case VxInterleaveIsa::kSse2:
      return sse2::Pick(channels, bytesPerSample);
    case VxInterleaveIsa::kSsse3:
      return ssse3::Pick(channels, bytesPerSample);
    case VxInterleaveIsa::kAvx2:
      return avx2::Pick(channels, bytesPerSample);
    case VxInterleaveIsa::kAvx512:
      return avx512::Pick(channels, bytesPerSample);
#endif
    default:
      return plain::Pick(channels, bytesPerSample);
  }
}

}  // namespace

bool VxInterleaveIsaAvailable(VxInterleaveIsa isa) noexcept {
#if VX_INTERLEAVE_X86
  static const Features features = Detect();
  switch (isa) {
    case VxInterleaveIsa::kPlain:
      return true;
    case VxInterleaveIsa::kSse2:
      return features.sse2;
    case VxInterleaveIsa::kSsse3:
      return features.ssse3;
    case VxInterleaveIsa::kAvx2:
      return features.avx2;
    case VxInterleaveIsa::kAvx512:
      return features.avx512;
  }
  return false;
#else
  return isa == VxInterleaveIsa::kPlain;
#endif
}

VxInterleaveIsa VxInterleaveChosenIsa() noexcept {
  static const VxInterleaveIsa chosen = [] {
    constexpr VxInterleaveIsa kBestFirst[] = {VxInterleaveIsa::kAvx512, VxInterleaveIsa::kAvx2,
                                              VxInterleaveIsa::kSsse3, VxInterleaveIsa::kSse2};
    for (VxInterleaveIsa isa : kBestFirst) {
      if (VxInterleaveIsaAvailable(isa))
        return isa;
    }
    return VxInterleaveIsa::kPlain;
  }();
  return chosen;
}

const char* VxInterleaveIsaName(VxInterleaveIsa isa) noexcept {
  switch (isa) {
    case VxInterleaveIsa::kSse2:
      return "SSE2";
    case VxInterleaveIsa::kSsse3:
      return "SSSE3";
    case VxInterleaveIsa::kAvx2:
      return "AVX2";
    case VxInterleaveIsa::kAvx512:
      return "AVX-512";
    default:
      return "plain";
  }
}

VxInterleavePlan::VxInterleavePlan(VxInterleaveIsa isa,
                                   int channels,
                                   int frames,
                                   int bytesPerSample) noexcept {
  assert(VxInterleaveIsaAvailable(isa));
  if (channels <= 0 || frames <= 0 || bytesPerSample <= 0)
    return;
  function_ = Function(isa, channels, bytesPerSample);
  channels_ = channels;
  frames_ = frames;
  bytesPerSample_ = bytesPerSample;
}

VxInterleavePlan::VxInterleavePlan(int channels, int frames, int bytesPerSample) noexcept
    : VxInterleavePlan(VxInterleaveChosenIsa(), channels, frames, bytesPerSample) {}

void VxInterleaveWith(VxInterleaveIsa isa,
                      uint8_t* out,
                      const void* const* data,
                      int channels,
                      int frames,
                      int bytesPerSample) noexcept {
  VxInterleavePlan(isa, channels, frames, bytesPerSample).Run(out, data);
}

void VxInterleave(uint8_t* out,
                  const void* const* data,
                  int channels,
                  int frames,
                  int bytesPerSample) noexcept {
  VxInterleavePlan(channels, frames, bytesPerSample).Run(out, data);
}
