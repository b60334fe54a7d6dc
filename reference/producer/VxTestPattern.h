// A deterministic byte stream for byte-exact checks of the IPC path.
//
// The byte at stream position p is byte (p mod 8) of a 64-bit mix of p / 8, so
// a dropped, repeated, reordered or altered block shows up at its position.
// Shared by the producer (which sends it) and the tests and benchmark (which
// check what the sink receives); header-only and portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint64_t VxPatternWord(uint64_t index) {
  uint64_t z = index + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

inline uint8_t VxPatternByte(uint64_t position) {
  return static_cast<uint8_t>(VxPatternWord(position / 8) >> (8 * (position % 8)));
}

// Writes the `size` pattern bytes that start at stream position `position`.
inline void VxFillPattern(uint8_t* out, uint64_t position, size_t size) {
  size_t i = 0;
  while (i < size && (position + i) % 8 != 0) {
    out[i] = VxPatternByte(position + i);
    ++i;
  }
  for (; i + 8 <= size; i += 8) {
    const uint64_t word = VxPatternWord((position + i) / 8);
    for (int b = 0; b < 8; ++b)
      out[i + b] = static_cast<uint8_t>(word >> (8 * b));
  }
  for (; i < size; ++i)
    out[i] = VxPatternByte(position + i);
}

// Follows a received stream and counts bytes that differ from the pattern.
class VxPatternChecker {
 public:
  // Checks `size` bytes as the continuation of everything checked before.
  void Check(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint8_t expected[4096];
    for (size_t done = 0; done < size;) {
      const size_t n = size - done < sizeof expected ? size - done : sizeof expected;
      VxFillPattern(expected, position_ + done, n);
      if (std::memcmp(expected, bytes + done, n) != 0)
        for (size_t i = 0; i < n; ++i)
          mismatches_ += expected[i] != bytes[done + i];
      done += n;
    }
    position_ += size;
  }
  uint64_t Position() const { return position_; }
  uint64_t Mismatches() const { return mismatches_; }

 private:
  uint64_t position_ = 0;
  uint64_t mismatches_ = 0;
};
