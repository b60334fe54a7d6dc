#include "reference/producer/VxProducer.h"

#include <cstring>

namespace {

void PutHeader(uint8_t* at, const char* tag, uint64_t payloadLength) {
  std::memcpy(at, tag, 4);
  std::memcpy(at + 4, "vxpr", 4);  // reserved: the source does not read it
  for (int i = 0; i < 8; ++i)
    at[8 + i] = static_cast<uint8_t>(payloadLength >> (8 * i));
}

std::string ResultPacket(char digit) {
  std::string text = "<VXIPC version=\"1.0\">\r\n<Item Name=\"Result\">";
  text += digit;
  text += "</Item>\r\n</VXIPC>";
  text.push_back('\0');
  return text;
}

}  // namespace

bool VxProducer::Connect(const std::wstring& name, DWORD timeoutMs) {
  const std::wstring path = name.rfind(L"\\\\", 0) == 0 ? name : L"\\\\.\\pipe\\" + name;
  const DWORD start = ::GetTickCount();
  for (;;) {
    pipe_.reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr));
    if (pipe_)
      break;
    lastError_ = ::GetLastError();
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= timeoutMs)
      return false;
    if (lastError_ == ERROR_PIPE_BUSY) {
      ::WaitNamedPipeW(path.c_str(), timeoutMs - elapsed);
    } else if (lastError_ == ERROR_FILE_NOT_FOUND) {
      ::Sleep(10);  // the server has not created the pipe yet; nothing to wait on
    } else {
      return false;
    }
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!::SetNamedPipeHandleState(pipe_.get(), &mode, nullptr, nullptr)) {
    lastError_ = ::GetLastError();
    return false;
  }
  return true;
}

bool VxProducer::SendInPlace(const char* tag, std::vector<uint8_t>& buffer, size_t payloadSize) {
  PutHeader(buffer.data(), tag, payloadSize);
  DWORD written = 0;
  const DWORD size = static_cast<DWORD>(16 + payloadSize);
  if (!::WriteFile(pipe_.get(), buffer.data(), size, &written, nullptr) || written != size) {
    lastError_ = ::GetLastError();
    return false;
  }
  return true;
}

bool VxProducer::Send(const char* tag, const void* payload, size_t size) {
  scratch_.resize(16 + size);
  if (size)
    std::memcpy(scratch_.data() + 16, payload, size);
  return SendInPlace(tag, scratch_, size);
}

VxProducer::Reply VxProducer::ReadReply() {
  char reply[4096];
  DWORD got = 0;
  if (!::ReadFile(pipe_.get(), reply, sizeof reply, &got, nullptr)) {
    lastError_ = ::GetLastError();
    lastReply_.clear();
    return Reply::kBroken;
  }
  lastReply_.assign(reply, got);
  if (lastReply_ == ResultPacket('1'))
    return Reply::kAccepted;
  if (lastReply_ == ResultPacket('0'))
    return Reply::kRefused;
  return Reply::kBroken;
}
