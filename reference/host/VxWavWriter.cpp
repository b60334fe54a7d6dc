#include "reference/host/VxWavWriter.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 256;

void Put16(std::string& b, uint32_t v) {
  b.push_back(static_cast<char>(v & 0xFF));
  b.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// The extensible sub-format of a plain tag: the tag in the first four bytes of
// the common base GUID.
VxGuid SubFormatOfTag(uint16_t tag) {
  VxGuid guid = kVxSubTypePcm;
  guid.data1 = tag;
  return guid;
}

uint16_t ValidBits(const VxAudioFormat& f) {
  return f.validBitsPerSample && f.validBitsPerSample <= f.bitsPerSample ? f.validBitsPerSample
                                                                         : f.bitsPerSample;
}

bool NeedsExtensible(const VxAudioFormat& f) {
  return f.formatTag == 0xFFFE || f.channels > 2 || f.channelMask != 0 ||
         ValidBits(f) < f.bitsPerSample;
}

}  // namespace

VxWavWriter::~VxWavWriter() {
  if (file_)
    (void)Close();
}

std::string VxWavWriter::Unsupported(const VxAudioFormat& f) {
  if (f.formatTag == 0)
    return "the record carries no usable format (tag 0)";
  if (f.channels == 0)
    return "zero channels";
  if (f.sampleRate == 0)
    return "a sample rate of 0";
  if (f.bitsPerSample == 0 || f.bitsPerSample % 8 != 0)
    return "bits per sample not a multiple of 8";
  if (f.blockAlign != f.bitsPerSample / 8 * f.channels)
    return "a block align that is not one sample per channel";
  return {};
}

std::string VxWavWriter::Header(const VxAudioFormat& f, uint64_t dataBytes) {
  const bool extensible = NeedsExtensible(f);
  const VxGuid sub = f.formatTag == 0xFFFE ? f.subFormat : SubFormatOfTag(f.formatTag);
  const bool isPcm = extensible ? sub == kVxSubTypePcm : f.formatTag == 1;
  const uint32_t data = static_cast<uint32_t>(dataBytes);
  std::string fmt;
  Put16(fmt, extensible ? 0xFFFE : f.formatTag);
  Put16(fmt, f.channels);
  Put32(fmt, f.sampleRate);
  Put32(fmt, f.sampleRate * f.blockAlign);
  Put16(fmt, f.blockAlign);
  Put16(fmt, f.bitsPerSample);
  if (extensible) {
    Put16(fmt, 22);
    Put16(fmt, ValidBits(f));
    Put32(fmt, f.channelMask);
    fmt.append(reinterpret_cast<const char*>(&sub), sizeof sub);
  } else if (!isPcm) {
    Put16(fmt, 0);
  }
  // Every format but integer PCM carries a fact chunk with the frame count.
  const uint32_t factBytes = isPcm ? 0 : 12;
  std::string h = "RIFF";
  Put32(h, 4 + 8 + static_cast<uint32_t>(fmt.size()) + factBytes + 8 + data + (data & 1));
  h += "WAVEfmt ";
  Put32(h, static_cast<uint32_t>(fmt.size()));
  h += fmt;
  if (!isPcm) {
    h += "fact";
    Put32(h, 4);
    Put32(h, data / f.blockAlign);
  }
  h += "data";
  Put32(h, data);
  return h;
}

bool VxWavWriter::Open(const std::wstring& path) {
  std::lock_guard<std::mutex> hold(lock_);
  file_.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  dataBytes_ = 0;
  syncedBytes_ = UINT64_MAX;
  headerBytes_ = 0;
  full_ = false;
  hasFormat_ = false;
  return static_cast<bool>(file_);
}

bool VxWavWriter::WriteAt(uint64_t offset, const void* data, size_t bytes) {
  // Positioned writes: the header rewrite must not move where data goes.
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD written = 0;
  return ::WriteFile(file_.get(), data, static_cast<DWORD>(bytes), &written, &at) &&
         written == bytes;
}

bool VxWavWriter::WriteHeaderLocked() {
  const std::string h = Header(format_, dataBytes_);
  if (!WriteAt(0, h.data(), h.size()))
    return false;
  headerBytes_ = h.size();
  syncedBytes_ = dataBytes_;
  return true;
}

bool VxWavWriter::SetFormat(const VxAudioFormat& format) {
  if (!Unsupported(format).empty())
    return false;
  std::lock_guard<std::mutex> hold(lock_);
  if (dataBytes_ != 0)
    return Header(format, 0) == Header(format_, 0);
  format_ = format;
  hasFormat_ = true;
  if (!file_)
    return true;
  // The header's length depends on the format: start the file again.
  const LARGE_INTEGER zero = {};
  if (!::SetFilePointerEx(file_.get(), zero, nullptr, FILE_BEGIN) || !::SetEndOfFile(file_.get()))
    return false;
  return WriteHeaderLocked();
}

bool VxWavWriter::Write(const void* data, size_t bytes) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!file_ || !hasFormat_ || full_)
    return false;
  if (dataBytes_ + bytes > kMaxDataBytes) {
    full_ = true;
    return false;
  }
  if (bytes && !WriteAt(headerBytes_ + dataBytes_, data, bytes))
    return false;
  dataBytes_ += bytes;
  return true;
}

bool VxWavWriter::Sync() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!file_ || !hasFormat_)
      return true;
    if (syncedBytes_ == dataBytes_)
      return true;
    if (!WriteHeaderLocked())
      return false;
  }
  // Outside the lock: the source's thread keeps writing while this waits.
  return ::FlushFileBuffers(file_.get()) != 0;
}

bool VxWavWriter::Close() {
  std::lock_guard<std::mutex> hold(lock_);
  if (!file_)
    return false;
  bool ok = true;
  if (hasFormat_) {
    if (dataBytes_ & 1) {
      const char pad = 0;
      ok = WriteAt(headerBytes_ + dataBytes_, &pad, 1);
    }
    ok = WriteHeaderLocked() && ok;
  }
  ok = ::FlushFileBuffers(file_.get()) && ok;
  file_.reset();
  return ok;
}

uint64_t VxWavWriter::DataBytes() const {
  std::lock_guard<std::mutex> hold(lock_);
  return dataBytes_;
}
bool VxWavWriter::HasFormat() const {
  std::lock_guard<std::mutex> hold(lock_);
  return hasFormat_;
}
bool VxWavWriter::Full() const {
  std::lock_guard<std::mutex> hold(lock_);
  return full_;
}
VxAudioFormat VxWavWriter::Format() const {
  std::lock_guard<std::mutex> hold(lock_);
  return format_;
}
