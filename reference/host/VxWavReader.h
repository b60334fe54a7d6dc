// Reads a WAV file the reference host wrote, or any RIFF/WAVE or RF64 file,
// in pieces: the format chunk's fields and the data chunk's place and 64-bit
// size, then the data a piece at a time, so that no size is too large.
//
// A data chunk that claims more than the file holds (a recorder killed between
// two header updates claims less, never more) is cut to what is there.
// One thread; the file stays open until the reader is destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/VxHandle.h"

class VxWavReader {
 public:
  // Opens `path` and reads its chunks up to the data chunk. False with
  // `error` when it is not a readable WAV file.
  [[nodiscard]] bool Open(const std::wstring& path, std::wstring& error);
  // Reads up to `capacity` more data bytes; 0 at the end of the data.
  size_t Read(void* buffer, size_t capacity);

  uint16_t tag = 0;  // the sub-format's tag for an extensible header
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  bool rf64 = false;
  uint64_t dataOffset = 0;
  uint64_t dataBytes = 0;

 private:
  bool ReadAt(uint64_t offset, void* buffer, size_t bytes);

  VxFileHandle file_;
  uint64_t fileBytes_ = 0;
  uint64_t position_ = 0;  // data bytes read so far
};
