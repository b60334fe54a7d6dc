// The copy baselines the interleave benchmarks measure against, in the same
// run: the C library's memcpy, and a plain loop of the widest vector loads
// and stores this processor has (under Wine the first is Wine's own memcpy,
// which can be several times slower than the hardware allows, so the faster
// of the two is the floor a ratio is taken against). Portable, header-only.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VX_BEST_COPY_X86 1
#endif

namespace vxbench {

using Clock = std::chrono::steady_clock;

inline volatile unsigned gKeep;

// Best of `rounds` rounds of `calls` calls, after one round untimed (caches,
// pages and the clock speed settle): nanoseconds per call.
template <typename F>
double NanosPerCall(int rounds, int calls, F&& call) {
  for (int i = 0; i < calls; ++i)
    call(i);
  double best = 1e300;
  for (int round = 0; round < rounds; ++round) {
    const auto start = Clock::now();
    for (int i = 0; i < calls; ++i)
      call(i);
    const double ns =
        std::chrono::duration<double, std::nano>(Clock::now() - start).count() / calls;
    best = std::min(best, ns);
  }
  return best;
}

#if VX_BEST_COPY_X86
__attribute__((target("avx512f"))) inline void Copy64(uint8_t* to, const uint8_t* from, size_t n) {
  size_t i = 0;
  for (; i + 64 <= n; i += 64)
    _mm512_storeu_si512(to + i, _mm512_loadu_si512(from + i));
  std::memcpy(to + i, from + i, n - i);
}
__attribute__((target("avx"))) inline void Copy32(uint8_t* to, const uint8_t* from, size_t n) {
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i)));
  }
  std::memcpy(to + i, from + i, n - i);
}
inline void Copy16(uint8_t* to, const uint8_t* from, size_t n) {
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
  }
  std::memcpy(to + i, from + i, n - i);
}
#endif

using CopyFn = void (*)(uint8_t*, const uint8_t*, size_t);

// The widest vector copy loop this processor runs, and its register width.
inline CopyFn VectorCopy(int* width) {
#if VX_BEST_COPY_X86
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) {
    *width = 64;
    return Copy64;
  }
  if (__builtin_cpu_supports("avx")) {
    *width = 32;
    return Copy32;
  }
  *width = 16;
  return Copy16;
#else
  *width = 1;
  return [](uint8_t* to, const uint8_t* from, size_t n) { std::memcpy(to, from, n); };
#endif
}

// What copying `bytes` costs by memcpy and by the vector loop, each call
// reading one of two source buffers in turn (as a buffer switch reads one of
// two halves) into one destination.
struct CopyCost {
  double memcpyNs;
  double vectorNs;
  double Best() const { return std::min(memcpyNs, vectorNs); }
};

class CopyBaseline {
 public:
  CopyBaseline() : vector_(VectorCopy(&width_)) {}
  CopyBaseline(const CopyBaseline&) = delete;
  CopyBaseline& operator=(const CopyBaseline&) = delete;
  int VectorWidth() const { return width_; }

  CopyCost Measure(int rounds, int calls, size_t bytes) {
    Resize(bytes);
    CopyCost cost;
    cost.memcpyNs = NanosPerCall(rounds, calls, [&](int i) {
      const uint8_t* from = (i & 1) ? from1_ : from0_;
      std::memcpy(to_, from, bytes);
      gKeep = gKeep + to_[bytes - 1];
    });
    cost.vectorNs = NanosPerCall(rounds, calls, [&](int i) {
      const uint8_t* from = (i & 1) ? from1_ : from0_;
      vector_(to_, from, bytes);
      gKeep = gKeep + to_[bytes - 1];
    });
    return cost;
  }

 private:
  // One arena: the two sources at page boundaries, the destination 2 KB on
  // from one, so that the loads of a copy do not alias its stores in the
  // page (which the processor would take for a dependency).
  void Resize(size_t bytes) {
    if (bytes <= capacity_)
      return;
    capacity_ = bytes;
    const size_t pages = (bytes + 4095) / 4096 * 4096;
    arena_.assign(3 * pages + 2048 + 4096, 0);
    uint8_t* base = arena_.data();
    base += (4096 - reinterpret_cast<uintptr_t>(base) % 4096) % 4096;
    from0_ = base;
    from1_ = base + pages;
    to_ = base + 2 * pages + 2048;
    std::memset(from0_, 1, bytes);
    std::memset(from1_, 2, bytes);
  }

  int width_ = 0;
  CopyFn vector_;
  size_t capacity_ = 0;
  std::vector<uint8_t> arena_;
  uint8_t* from0_ = nullptr;
  uint8_t* from1_ = nullptr;
  uint8_t* to_ = nullptr;
};

}  // namespace vxbench
