#include "sources/ipc/CIPCLivePlugin.h"

#include <new>

#include "foundation/VxBoundaryGuard.h"
#include "foundation/VxNumber.h"
#include "foundation/VxParameterList.h"
#include "foundation/runtime/VxMmcssScope.h"
#include "sources/ipc/VxIpcMessage.h"
#include "sources/ipc/VxPipeRead.h"

namespace {

// "pipe": hexadecimal, an optional lower-case "0x" skipped; 0 means none.
HANDLE ParsePipeHandle(const VxParameterList& list) {
  VxString text;
  list.values.GetString(text, VxString(u"pipe"), nullptr);
  const size_t skip = text.size() >= 2 && text[0] == u'0' && text[1] == u'x' ? 2 : 0;
  const uint64_t value = VxParseHex64(text.c_str() + skip);
  return value == 0 ? INVALID_HANDLE_VALUE
                    : reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

}  // namespace

int32_t CIPCLivePlugin::Open(const char16_t* parameters, IVxAudioLiveSink* sink) noexcept {
  if (sink_)
    return -1;
  sink_ = sink;
  return VxGuardBoundary(-1, [&] {
    VxParameterList list;
    list.Parse(VxString::From(parameters));
    pipe_.reset(ParsePipeHandle(list));
    streaming_ = list.values.GetInt(VxString(u"streaming"), 0) != 0;
    if (!pipe_)
      return -1;
    return Start(kThreadPriority, false) ? 0 : -1;
  });
}

void CIPCLivePlugin::ProcessMessage(VxByteBuffer* input,
                                    VxByteBuffer* output,
                                    bool* keepReading) noexcept {
  if (IsStopRequested())
    return;
  VxIpcMessage::Process(sink_, streaming_, *input, *output, *keepReading);
}

bool CIPCLivePlugin::Run() {
  VxMmcssScope mmcss(L"Pro Audio");
  VxByteBuffer input;
  VxByteBuffer output;
  bool keepReading = true;
  while (!IsStopRequested()) {
    if (!pipe_ || !keepReading)
      break;
    // Never shrinks: after the first round this is the same 1 MiB block.
    if (!input.SetLength(kReadBufferSize))
      break;
    uint32_t count = 0;
    if (!VxReadFileWithTimeout(pipe_.get(), input.Data(), static_cast<int32_t>(input.Length()),
                               &count, GetStopEvent()) ||
        count < 1) {
      // A handle that is not valid here must not be used or closed again.
      if (::GetLastError() == ERROR_INVALID_HANDLE)
        (void)pipe_.release();
      keepReading = false;
      continue;
    }
    (void)input.SetLength(count);  // shorter: cannot fail
    output.Free();
    ProcessMessage(&input, &output, &keepReading);
    // A failed reply is not acted on: the producer is gone or slow, and the
    // next read tells which.
    if (output.Length() > 0)
      (void)VxWritePipeReply(pipe_.get(), output.Data(), output.Length());
  }
  if (!IsStopRequested() && sink_)
    sink_->SourceEnded();
  input.Free();
  output.Free();
  return true;
}

CIPCLivePlugin::~CIPCLivePlugin() {
  Stop(-1);
  if (pipe_)
    VxShutdownPipe(pipe_.release());
}

IVxAudioLive* VxCreateIpcLivePlugin() noexcept {
  return new (std::nothrow) CIPCLivePlugin();
}
