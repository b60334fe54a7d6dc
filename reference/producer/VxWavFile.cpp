#include "reference/producer/VxWavFile.h"

#include <cstring>
#include <vector>

namespace {

uint32_t U32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

}  // namespace

VxWavFile::~VxWavFile() {
  if (file_)
    std::fclose(file_);
}

bool VxWavFile::Fail(const char* text) {
  error_ = text;
  return false;
}

bool VxWavFile::Open(const std::wstring& path) {
  file_ = _wfopen(path.c_str(), L"rb");
  if (!file_)
    return Fail("cannot open the file");
  uint8_t riff[12];
  if (std::fread(riff, 1, 12, file_) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0)
    return Fail("not a RIFF/WAVE file");
  bool haveFormat = false;
  for (;;) {
    uint8_t header[8];
    if (std::fread(header, 1, 8, file_) != 8)
      return Fail("no data chunk");
    const uint32_t size = U32(header + 4);
    if (std::memcmp(header, "fmt ", 4) == 0) {
      if (size < 16 || size > 1024)
        return Fail("bad fmt chunk");
      std::vector<uint8_t> fmt(size + (size & 1));
      if (std::fread(fmt.data(), 1, fmt.size(), file_) != fmt.size())
        return Fail("short fmt chunk");
      uint16_t tag = U16(&fmt[0]);
      format_.channels = U16(&fmt[2]);
      format_.sampleRate = U32(&fmt[4]);
      format_.bitsPerSample = U16(&fmt[14]);
      format_.validBits = format_.bitsPerSample;
      if (tag == 0xFFFE) {
        if (size < 40)
          return Fail("short extensible fmt chunk");
        format_.validBits = U16(&fmt[18]) ? U16(&fmt[18]) : format_.bitsPerSample;
        tag = U16(&fmt[24]);  // first bytes of the sub-format GUID
      }
      if (tag == 3) {
        format_.isFloat = true;
        if (format_.bitsPerSample != 32 && format_.bitsPerSample != 64)
          return Fail("float samples must be 32 or 64 bits");
      } else if (tag == 1) {
        if (format_.bitsPerSample % 8 != 0 || format_.bitsPerSample < 8 ||
            format_.bitsPerSample > 32)
          return Fail("PCM samples must be 8, 16, 24 or 32 bits");
      } else {
        return Fail("unsupported sample format");
      }
      if (format_.channels == 0 || format_.sampleRate == 0)
        return Fail("no channels or no rate");
      haveFormat = true;
    } else if (std::memcmp(header, "data", 4) == 0) {
      if (!haveFormat)
        return Fail("data chunk before fmt chunk");
      // A file cut short keeps what it holds, but only whole frames make sense:
      // half a frame at the end means the data is not what the header says.
      const long here = std::ftell(file_);
      if (here < 0 || std::fseek(file_, 0, SEEK_END) != 0)
        return Fail("cannot find the end of the file");
      const uint64_t available = static_cast<uint64_t>(std::ftell(file_) - here);
      if (std::fseek(file_, here, SEEK_SET) != 0)
        return Fail("cannot seek back to the data");
      dataBytes_ = size < available ? size : available;
      if (dataBytes_ % format_.BlockAlign() != 0) {
        error_ = "the data ends inside a frame (" + std::to_string(dataBytes_) +
                 " bytes are not whole frames of " + std::to_string(format_.BlockAlign()) +
                 " bytes)";
        return false;
      }
      dataLeft_ = dataBytes_;
      return true;
    } else if (std::fseek(file_, size + (size & 1), SEEK_CUR) != 0) {
      return Fail("truncated chunk");
    }
  }
}

size_t VxWavFile::Read(void* out, size_t size) {
  if (size > dataLeft_)
    size = static_cast<size_t>(dataLeft_);
  const size_t got = size ? std::fread(out, 1, size, file_) : 0;
  dataLeft_ -= got;
  return got;
}
