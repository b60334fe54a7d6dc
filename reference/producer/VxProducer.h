// VxProducer: the client end of an IPC source's pipe, as a producing program
// sees it. Connects to the named pipe, switches to message read mode, sends
// framed messages (one WriteFile each, overlapped so that a reply can be
// waited for with a time limit) and, in request/reply mode, reads and
// checks the "Result" reply that follows each format and data message.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/VxHandle.h"

class VxProducer {
 public:
  enum class Reply { kAccepted, kRefused, kBroken, kNone };

  // `name` is a full pipe path or just the pipe's name under \\.\pipe\.
  // Waits up to `timeoutMs` for a free pipe instance.
  bool Connect(const std::wstring& name, DWORD timeoutMs);
  // Sends one message: 16-byte header for `tag`, then `payload`.
  bool Send(const char* tag, const void* payload, size_t size);
  // Sends a message whose payload is already at buffer[16...]; fills the header.
  bool SendInPlace(const char* tag, std::vector<uint8_t>& buffer, size_t payloadSize);
  // Reads one reply; kNone when none came within `timeoutMs`, kBroken when the
  // read fails or the reply is not one of the two exact "Result" packets.
  Reply ReadReply(DWORD timeoutMs);
  // True when the host has sent something that was not read: a reply, which a
  // host in streaming mode never sends.
  bool ReplyWaiting() const;
  DWORD LastError() const { return lastError_; }
  const std::string& LastReplyText() const { return lastReply_; }

 private:
  bool Transfer(bool write, void* data, DWORD size, DWORD& done, DWORD timeoutMs);

  VxFileHandle pipe_;
  VxHandle event_;
  std::vector<uint8_t> scratch_;
  std::string lastReply_;
  DWORD lastError_ = 0;
};
