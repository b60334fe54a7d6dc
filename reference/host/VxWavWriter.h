// Writes a stream of interleaved blocks to a RIFF/WAVE file that stays valid on
// disk while it grows.
//
// The header is written as soon as the format is known and describes it
// exactly: plain PCM (tag 1) or IEEE float (tag 3, with a fact chunk) when
// that loses nothing, WAVE_FORMAT_EXTENSIBLE when the plain form would lose
// information (more than two channels, a channel mask, valid bits narrower
// than the container, a record that is extensible already). Data goes to the
// file at once (no buffering in the process); Sync() rewrites the header's
// sizes for what has been written and flushes, so a process killed between
// two syncs leaves a valid file holding everything up to the last sync. WAVE
// sizes are 32-bit: Write() refuses data that would take the data chunk past
// 4 GiB and reports it through Full().
//
// Threads: Write and SetFormat on one thread (the source's thread), Sync from
// another (the recorder's); an internal lock orders them. Close() after the
// source is deleted.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "foundation/VxHandle.h"
#include "live_Main/boundary/VxAudioFormat.h"

class VxWavWriter {
 public:
  VxWavWriter() = default;
  ~VxWavWriter();
  VxWavWriter(const VxWavWriter&) = delete;
  VxWavWriter& operator=(const VxWavWriter&) = delete;

  // Creates (truncates) the file. False with the last error on failure.
  [[nodiscard]] bool Open(const std::wstring& path);
  // Takes the format for the header and writes the header. After data was
  // written only the same format is accepted: one file holds one format.
  [[nodiscard]] bool SetFormat(const VxAudioFormat& format);
  // Appends raw bytes to the data chunk. False before a format, when the write
  // failed, or when the data chunk would pass 4 GiB.
  [[nodiscard]] bool Write(const void* data, size_t bytes);
  // Brings the header's sizes up to date on disk.
  [[nodiscard]] bool Sync();
  // Pads the data chunk to an even length, writes the final header, closes.
  [[nodiscard]] bool Close();

  uint64_t DataBytes() const;
  bool HasFormat() const;
  bool Full() const;
  VxAudioFormat Format() const;

  // Why a format is not storable, for messages; empty when it is.
  static std::string Unsupported(const VxAudioFormat& format);
  // The header bytes for `format` with `dataBytes` of data.
  static std::string Header(const VxAudioFormat& format, uint64_t dataBytes);

 private:
  bool WriteAt(uint64_t offset, const void* data, size_t bytes);
  bool WriteHeaderLocked();

  mutable std::mutex lock_;
  VxFileHandle file_;
  VxAudioFormat format_;
  bool hasFormat_ = false;
  bool full_ = false;
  uint64_t dataBytes_ = 0;
  uint64_t syncedBytes_ = UINT64_MAX;
  size_t headerBytes_ = 0;
};
