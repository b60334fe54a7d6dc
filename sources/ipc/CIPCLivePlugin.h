// CIPCLivePlugin: the live source that receives audio from another process
// through a named pipe (factory index 2).
//
// The host owns the pipe's server end and passes its handle value in the
// "pipe" setting; from the moment Open stores that value the source owns the
// handle and closes it when it is deleted (flush, disconnect, close). Open
// starts a worker thread at time-critical priority, registered with the
// multimedia class scheduler as "Pro Audio", that reads one message at a time
// (at most 2,500 ms each, 1 MiB buffer reused), hands "fmt1" to the sink's
// SetFormat and "data" to its Write, and answers each format, data and bad
// message with a "Result" packet unless "streaming" is set. When the stream
// ends by itself (a "stop" message, a failed, empty or timed-out read) the sink
// gets SourceEnded once; when the host deletes the source it does not.
// Deleting stops the worker (a pending read is abandoned at once), then flushes,
// disconnects and closes the pipe; the flush waits until the producer has read
// every reply sent to it or has closed its end.
//
// Threads: Open, GetInfo and the destructor on the host's thread; Run,
// ProcessMessage and every sink call on the worker. The sink is borrowed and
// must stay valid until the source is deleted. The pipe field is written by the
// worker only while it runs (to forget an invalid handle) and by the destructor
// after the worker has stopped.
//
// Layout: IVxAudioLive (through VxAudioLiveBase) is the first base, so a
// pointer to the source is its interface pointer; ProcessMessage is the sixth
// slot of that table, declared before the destructor so that it stays there.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/VxByteBuffer.h"
#include "foundation/VxHandle.h"
#include "foundation/runtime/VxThread.h"
#include "live_Main/boundary/IVxAudioLive.h"

class CIPCLivePlugin final : public VxAudioLiveBase, public VxThread {
 public:
  static constexpr int32_t kThreadPriority = THREAD_PRIORITY_TIME_CRITICAL;
  static constexpr size_t kReadBufferSize = 0x100000;

  // GetInfo: 0 writes "IPC" and its terminator (8 bytes); 1 answers 1, 2 answers 0.
  static constexpr VxSourceInfo kInfo{u"IPC", 1, 0};

  CIPCLivePlugin() noexcept : VxAudioLiveBase(kInfo) {}

  VX_SCALAR_DELETING_DESTRUCTOR(CIPCLivePlugin)
  // 0 when the worker runs; -1 for a second Open (nothing changes), a missing,
  // zero or unparsable "pipe", or a thread that did not start.
  int32_t Open(const char16_t* parameters, IVxAudioLiveSink* sink) noexcept override;
  // Handles one received message (see VxIpcMessage); nothing at all once a
  // stop was requested. Called by the worker only.
  virtual void ProcessMessage(VxByteBuffer* input,
                              VxByteBuffer* output,
                              bool* keepReading) noexcept;

  ~CIPCLivePlugin() override;

  bool IsStreaming() const { return streaming_; }
  HANDLE GetPipe() const { return pipe_.get(); }

 protected:
  bool Run() override;

 private:
  IVxAudioLiveSink* sink_ = nullptr;
  VxFileHandle pipe_;
  bool streaming_ = false;
};

// Creates the source that the factory hands out for index 2.
IVxAudioLive* VxCreateIpcLivePlugin() noexcept;
