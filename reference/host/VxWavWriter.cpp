#include "reference/host/VxWavWriter.h"

#include <windows.h>

#include <cstring>

namespace {

// A ds64 chunk's body: RIFF size, data size, sample count (64 bits each) and
// an empty table. A JUNK chunk of the same size keeps its place in a plain
// file, so that turning the file into RF64 moves no byte of the data.
constexpr uint32_t kDs64Bytes = 28;
constexpr uint32_t kNoSize = 0xFFFFFFFF;

void Put64(std::string& b, uint64_t v);

void Put16(std::string& b, uint32_t v) {
  b.push_back(static_cast<char>(v & 0xFF));
  b.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Put64(std::string& b, uint64_t v) {
  Put32(b, static_cast<uint32_t>(v));
  Put32(b, static_cast<uint32_t>(v >> 32));
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

std::string VxWavWriter::Header(const VxAudioFormat& f, uint64_t dataBytes, bool rf64) {
  const bool extensible = NeedsExtensible(f);
  const VxGuid sub = f.formatTag == 0xFFFE ? f.subFormat : SubFormatOfTag(f.formatTag);
  const bool isPcm = extensible ? sub == kVxSubTypePcm : f.formatTag == 1;
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
  const uint64_t frames = dataBytes / f.blockAlign;
  const uint64_t riff =
      4 + 8 + kDs64Bytes + 8 + fmt.size() + factBytes + 8 + dataBytes + (dataBytes & 1);
  // In RF64 the 32-bit sizes say "see ds64".
  const auto size32 = [rf64](uint64_t v) { return rf64 ? kNoSize : static_cast<uint32_t>(v); };
  std::string h = rf64 ? "RF64" : "RIFF";
  Put32(h, size32(riff));
  h += "WAVE";
  h += rf64 ? "ds64" : "JUNK";
  Put32(h, kDs64Bytes);
  if (rf64) {
    Put64(h, riff);
    Put64(h, dataBytes);
    Put64(h, frames);
    Put32(h, 0);
  } else {
    h.append(kDs64Bytes, '\0');
  }
  h += "fmt ";
  Put32(h, static_cast<uint32_t>(fmt.size()));
  h += fmt;
  if (!isPcm) {
    h += "fact";
    Put32(h, 4);
    Put32(h, size32(frames));
  }
  h += "data";
  Put32(h, size32(dataBytes));
  return h;
}

bool VxWavWriter::NeedsRf64(uint64_t dataBytes) const {
  // The RIFF size counts the header (under 128 bytes) and the data.
  return dataBytes > rf64After_ || dataBytes > kNoSize - 256;
}

bool VxWavWriter::Open(const std::wstring& path) {
  std::lock_guard<std::mutex> hold(lock_);
  file_.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  dataBytes_ = 0;
  syncedBytes_ = UINT64_MAX;
  headerBytes_ = 0;
  rf64_ = false;
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
  rf64_ = rf64_ || NeedsRf64(dataBytes_);
  const std::string h = Header(format_, dataBytes_, rf64_);
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
    return Header(format, 0, false) == Header(format_, 0, false);
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
  if (!file_ || !hasFormat_)
    return false;
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
bool VxWavWriter::IsRf64() const {
  std::lock_guard<std::mutex> hold(lock_);
  return rf64_;
}
VxAudioFormat VxWavWriter::Format() const {
  std::lock_guard<std::mutex> hold(lock_);
  return format_;
}
