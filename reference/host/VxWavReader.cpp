#include "reference/host/VxWavReader.h"

#include <windows.h>

#include <cstring>

namespace {

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
  return Le16(p) | (static_cast<uint32_t>(Le16(p + 2)) << 16);
}
uint64_t Le64(const uint8_t* p) {
  return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

}  // namespace

bool VxWavReader::ReadAt(uint64_t offset, void* buffer, size_t bytes) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  return ::ReadFile(file_.get(), buffer, static_cast<DWORD>(bytes), &read, &at) && read == bytes;
}

bool VxWavReader::Open(const std::wstring& path, std::wstring& error) {
  file_.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size = {};
  uint8_t head[12];
  if (!file_ || !::GetFileSizeEx(file_.get(), &size) || !ReadAt(0, head, sizeof head) ||
      (std::memcmp(head, "RIFF", 4) != 0 && std::memcmp(head, "RF64", 4) != 0) ||
      std::memcmp(head + 8, "WAVE", 4) != 0) {
    error = L"not a readable WAV file";
    return false;
  }
  fileBytes_ = static_cast<uint64_t>(size.QuadPart);
  rf64 = std::memcmp(head, "RF64", 4) == 0;
  uint64_t ds64Data = 0;
  bool haveFormat = false;
  for (uint64_t at = 12; at + 8 <= fileBytes_;) {
    uint8_t chunk[8];
    if (!ReadAt(at, chunk, 8))
      break;
    uint64_t bytes = Le32(chunk + 4);
    if (std::memcmp(chunk, "ds64", 4) == 0 && bytes >= 24) {
      uint8_t body[24];
      if (!ReadAt(at + 8, body, sizeof body))
        break;
      ds64Data = Le64(body + 8);
    } else if (std::memcmp(chunk, "fmt ", 4) == 0 && bytes >= 16) {
      uint8_t body[40] = {};
      if (!ReadAt(at + 8, body, bytes >= 40 ? 40 : 16))
        break;
      tag = Le16(body);
      channels = Le16(body + 2);
      sampleRate = Le32(body + 4);
      blockAlign = Le16(body + 12);
      bitsPerSample = Le16(body + 14);
      if (tag == 0xFFFE && bytes >= 40)
        tag = Le16(body + 24);  // the sub-format's first two bytes
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (rf64 && bytes == 0xFFFFFFFF)
        bytes = ds64Data;
      dataOffset = at + 8;
      const uint64_t available = fileBytes_ - dataOffset;
      dataBytes = bytes < available ? bytes : available;
      if (!haveFormat) {
        error = L"no format chunk before the data";
        return false;
      }
      return true;
    }
    at += 8 + bytes + (bytes & 1);
  }
  error = L"no data chunk";
  return false;
}

size_t VxWavReader::Read(void* buffer, size_t capacity) {
  const uint64_t left = dataBytes - position_;
  const size_t bytes = static_cast<size_t>(left < capacity ? left : capacity);
  if (bytes == 0 || !ReadAt(dataOffset + position_, buffer, bytes))
    return 0;
  position_ += bytes;
  return bytes;
}
