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
                              FILE_FLAG_OVERLAPPED, nullptr));
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
  event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event_ || !::SetNamedPipeHandleState(pipe_.get(), &mode, nullptr, nullptr)) {
    lastError_ = ::GetLastError();
    return false;
  }
  return true;
}

bool VxProducer::Transfer(bool write, void* data, DWORD size, DWORD& done, DWORD timeoutMs) {
  OVERLAPPED ov = {};
  ov.hEvent = event_.get();
  ::ResetEvent(event_.get());
  const BOOL started = write ? ::WriteFile(pipe_.get(), data, size, nullptr, &ov)
                             : ::ReadFile(pipe_.get(), data, size, nullptr, &ov);
  if (!started && ::GetLastError() != ERROR_IO_PENDING) {
    lastError_ = ::GetLastError();
    return false;
  }
  if (::WaitForSingleObject(event_.get(), timeoutMs) != WAIT_OBJECT_0) {
    ::CancelIo(pipe_.get());
    (void)::GetOverlappedResult(pipe_.get(), &ov, &done, TRUE);
    lastError_ = ERROR_TIMEOUT;
    return false;
  }
  if (!::GetOverlappedResult(pipe_.get(), &ov, &done, FALSE)) {
    lastError_ = ::GetLastError();
    return false;
  }
  return true;
}

bool VxProducer::ReplyWaiting() const {
  DWORD available = 0;
  return ::PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0;
}

bool VxProducer::SendInPlace(const char* tag, std::vector<uint8_t>& buffer, size_t payloadSize) {
  PutHeader(buffer.data(), tag, payloadSize);
  DWORD written = 0;
  const DWORD size = static_cast<DWORD>(16 + payloadSize);
  return Transfer(true, buffer.data(), size, written, INFINITE) && written == size;
}

bool VxProducer::Send(const char* tag, const void* payload, size_t size) {
  scratch_.resize(16 + size);
  if (size)
    std::memcpy(scratch_.data() + 16, payload, size);
  return SendInPlace(tag, scratch_, size);
}

VxProducer::Reply VxProducer::ReadReply(DWORD timeoutMs) {
  char reply[4096];
  DWORD got = 0;
  if (!Transfer(false, reply, sizeof reply, got, timeoutMs)) {
    lastReply_.clear();
    return lastError_ == ERROR_TIMEOUT ? Reply::kNone : Reply::kBroken;
  }
  lastReply_.assign(reply, got);
  if (lastReply_ == ResultPacket('1'))
    return Reply::kAccepted;
  if (lastReply_ == ResultPacket('0'))
    return Reply::kRefused;
  return Reply::kBroken;
}
