#include "reference/host/VxWavWriter.h"

#include <cstring>
#include <vector>

namespace {

constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 256;

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutTag(std::vector<uint8_t>& b, const char* tag) {
  b.insert(b.end(), tag, tag + 4);
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
  if (f.blockAlign == 0)
    return "a block align of 0";
  return {};
}

bool VxWavWriter::Open(const std::wstring& path) {
  if (file_)
    (void)Close();
  file_ = _wfopen(path.c_str(), L"wb");
  if (!file_)
    return false;
  setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  dataBytes_ = 0;
  full_ = false;
  hasFormat_ = false;
  return WriteHeader();
}

bool VxWavWriter::SetFormat(const VxAudioFormat& format) {
  if (!Unsupported(format).empty())
    return false;
  // The header is rewritten at Close; before any data it can be rewritten now
  // so that a file cut short by a crash still names the right format.
  format_ = format;
  hasFormat_ = true;
  if (file_ && dataBytes_ == 0) {
    if (fseek(file_, 0, SEEK_SET) != 0)
      return false;
    return WriteHeader();
  }
  return true;
}

bool VxWavWriter::WriteHeader() {
  std::vector<uint8_t> h;
  const VxAudioFormat& f = format_;
  const bool extensible = hasFormat_ && f.formatTag == 0xFFFE;
  const bool isFloat = hasFormat_ && (f.formatTag == 3 || (extensible && f.IsFloat()));
  const uint32_t data = static_cast<uint32_t>(dataBytes_);
  std::vector<uint8_t> fmt;
  Put16(fmt, extensible ? 0xFFFE : (hasFormat_ ? f.formatTag : 1));
  Put16(fmt, hasFormat_ ? f.channels : 2);
  Put32(fmt, hasFormat_ ? f.sampleRate : 44100);
  Put32(fmt, hasFormat_ ? f.bytesPerSecond : 176400);
  Put16(fmt, hasFormat_ ? f.blockAlign : 4);
  Put16(fmt, hasFormat_ ? f.bitsPerSample : 16);
  if (extensible) {
    Put16(fmt, 22);
    Put16(fmt, f.validBitsPerSample);
    Put32(fmt, f.channelMask);
    const auto* g = reinterpret_cast<const uint8_t*>(&f.subFormat);
    fmt.insert(fmt.end(), g, g + 16);
  } else if (isFloat) {
    Put16(fmt, 0);
  }
  PutTag(h, "RIFF");
  const uint32_t factBytes = isFloat ? 12 : 0;
  Put32(h, 4 + 8 + static_cast<uint32_t>(fmt.size()) + factBytes + 8 + data + (data & 1));
  PutTag(h, "WAVE");
  PutTag(h, "fmt ");
  Put32(h, static_cast<uint32_t>(fmt.size()));
  h.insert(h.end(), fmt.begin(), fmt.end());
  if (isFloat) {
    PutTag(h, "fact");
    Put32(h, 4);
    Put32(h, f.blockAlign ? data / f.blockAlign : 0);
  }
  PutTag(h, "data");
  Put32(h, data);
  // The header length can change when the format does (plain PCM 44 bytes,
  // float 58, extensible 68): it may only change before any data is written.
  if (dataBytes_ != 0 && headerBytes_ != h.size())
    return false;
  headerBytes_ = static_cast<uint32_t>(h.size());
  return fwrite(h.data(), 1, h.size(), file_) == h.size();
}

bool VxWavWriter::Write(const void* data, size_t bytes) {
  if (!file_ || full_)
    return false;
  if (dataBytes_ + bytes > kMaxDataBytes) {
    full_ = true;
    return false;
  }
  if (bytes && fwrite(data, 1, bytes, file_) != bytes)
    return false;
  dataBytes_ += bytes;
  return true;
}

bool VxWavWriter::Close() {
  if (!file_)
    return false;
  bool ok = true;
  if (dataBytes_ & 1)
    ok = fputc(0, file_) != EOF;
  ok = fseek(file_, 0, SEEK_SET) == 0 && WriteHeader() && ok;
  ok = fclose(file_) == 0 && ok;
  file_ = nullptr;
  return ok;
}
