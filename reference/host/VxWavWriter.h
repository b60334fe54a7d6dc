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
// two syncs leaves a valid file holding everything up to the last sync.
//
// Past 4 GiB: a plain file reserves a JUNK chunk of a ds64 chunk's size after
// "WAVE". When the sizes no longer fit 32 bits, the header becomes RF64
// (EBU Tech 3306): "RF64", a ds64 chunk in the JUNK chunk's place with the
// true 64-bit RIFF size, data size and frame count, and 0xFFFFFFFF in every
// 32-bit size; Sync() keeps those up to date as it does the plain sizes.
// Below that the file stays plain WAV, readable by every reader.
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
  // Appends raw bytes to the data chunk. False before a format or when the
  // write failed.
  [[nodiscard]] bool Write(const void* data, size_t bytes);
  // Brings the header's sizes up to date on disk.
  [[nodiscard]] bool Sync();
  // Pads the data chunk to an even length, writes the final header, closes.
  [[nodiscard]] bool Close();

  uint64_t DataBytes() const;
  bool HasFormat() const;
  bool IsRf64() const;
  // Data size past which the header becomes RF64 although it would still fit
  // (for trying the RF64 path on small files); call before writing.
  void SetRf64Threshold(uint64_t dataBytes) { rf64After_ = dataBytes; }
  VxAudioFormat Format() const;

  // Why a format is not storable, for messages; empty when it is.
  static std::string Unsupported(const VxAudioFormat& format);
  // The header bytes for `format` with `dataBytes` of data, plain or RF64.
  static std::string Header(const VxAudioFormat& format, uint64_t dataBytes, bool rf64);

 private:
  bool WriteAt(uint64_t offset, const void* data, size_t bytes);
  bool WriteHeaderLocked();
  bool NeedsRf64(uint64_t dataBytes) const;

  mutable std::mutex lock_;
  VxFileHandle file_;
  VxAudioFormat format_;
  bool hasFormat_ = false;
  bool rf64_ = false;  // once RF64, always RF64
  uint64_t rf64After_ = UINT64_MAX;
  uint64_t dataBytes_ = 0;
  uint64_t syncedBytes_ = UINT64_MAX;
  size_t headerBytes_ = 0;
};
