// A host's view of the log as it is written: VxToolsSetLogListener (exported
// by VxTools.dll) installs one function that receives every entry after it was
// written to the log file, so that a host can show what a module logged
// during one of its calls (why a source refused to open) without reading the
// file back.
//
// The listener runs on the thread that wrote the entry, inside the log's lock:
// it must return quickly and must not log. Source and message are the entry's
// text before escaping, valid only during the call. Installing another
// listener or null waits until a running call has returned, so after
// VxToolsSetLogListener(nullptr, nullptr) returns the old listener is not
// called any more and its context may go.
#pragma once

#include <cstdint>

using VxToolsLogListener = void (*)(void* context,
                                    int32_t category,
                                    const wchar_t* source,
                                    const wchar_t* message);
using VxToolsSetLogListenerProc = void (*)(VxToolsLogListener listener, void* context);
