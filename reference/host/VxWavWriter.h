// Writes a stream of interleaved blocks to a RIFF/WAVE file.
//
// The header follows the last format passed to SetFormat: plain PCM (tag 1),
// IEEE float (tag 3, with a fact chunk), or WAVE_FORMAT_EXTENSIBLE when the
// record is extensible. The header is written with placeholder sizes when the
// file opens and rewritten by Close() with the real sizes, so a file closed
// normally is always valid. WAVE sizes are 32-bit: Write() refuses data that
// would take the data chunk past 4 GiB and reports it through Full().
//
// Threads: one writer thread at a time (the source's producer thread); Close()
// after the source is deleted.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "live_Main/VxAudioFormat.h"

class VxWavWriter {
 public:
  VxWavWriter() = default;
  ~VxWavWriter();
  VxWavWriter(const VxWavWriter&) = delete;
  VxWavWriter& operator=(const VxWavWriter&) = delete;

  // Opens (truncates) the file. False with errno set on failure.
  [[nodiscard]] bool Open(const std::wstring& path);
  // Checks that the format can be stored in a WAVE file; keeps it for the header.
  [[nodiscard]] bool SetFormat(const VxAudioFormat& format);
  // Appends raw bytes to the data chunk. False when the file is not open, the
  // write failed, or the data chunk would pass 4 GiB.
  [[nodiscard]] bool Write(const void* data, size_t bytes);
  // Rewrites the header with the final sizes and closes. True when all went well.
  [[nodiscard]] bool Close();

  uint64_t DataBytes() const { return dataBytes_; }
  bool HasFormat() const { return hasFormat_; }
  bool Full() const { return full_; }
  const VxAudioFormat& Format() const { return format_; }

  // Why a format is not storable, for messages; empty when it is.
  static std::string Unsupported(const VxAudioFormat& format);

 private:
  bool WriteHeader();

  FILE* file_ = nullptr;
  VxAudioFormat format_;
  bool hasFormat_ = false;
  bool full_ = false;
  uint64_t dataBytes_ = 0;
  uint32_t headerBytes_ = 0;
};
