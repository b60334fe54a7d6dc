// The factory behind the exported GetLivePlugin, and registration
// (DllRegisterServer); both exports are declared in IVxAudioLive.h.
//
// Factory indices: 0 ASIO, 1 Loopback, 2 IPC; every other index yields no
// source. A source that is not built into this module answers like an
// unknown index. An ASIO source takes its instance-table slot when made
// (sources/asio/VxAsioInstanceTable.h).
#pragma once

#include <cstdint>

// Factory indices DllRegisterServer tries.
inline constexpr int32_t kVxFirstFactoryIndex = 0;
inline constexpr int32_t kVxLastFactoryIndex = 3;
