// VxWavFile: reads the format and the sample data of a RIFF/WAVE file for the
// producer. Integer PCM of 8 to 32 bits, IEEE float of 32 or 64 bits, plain or
// extensible (with valid bits narrower than the container).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct VxWavFormat {
  uint32_t sampleRate = 0;
  uint32_t channels = 0;
  uint32_t bitsPerSample = 0;  // container bits
  uint32_t validBits = 0;
  bool isFloat = false;
  uint32_t BlockAlign() const { return bitsPerSample / 8 * channels; }
};

class VxWavFile {
 public:
  ~VxWavFile();
  // False with a message in Error() when the file cannot be read or its format
  // is not supported.
  bool Open(const std::wstring& path);
  const VxWavFormat& Format() const { return format_; }
  uint64_t DataBytes() const { return dataBytes_; }
  // Reads up to `size` bytes of sample data; 0 at the end.
  size_t Read(void* out, size_t size);
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const char* text);

  FILE* file_ = nullptr;
  VxWavFormat format_;
  uint64_t dataBytes_ = 0;
  uint64_t dataLeft_ = 0;
  std::string error_;
};
