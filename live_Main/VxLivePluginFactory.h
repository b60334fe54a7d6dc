// The factory behind the exported GetLivePlugin, the module-wide ASIO instance
// table, and registration (DllRegisterServer); both exports are declared in
// IVxAudioLive.h.
//
// Factory indices: 0 ASIO, 1 Loopback, 2 IPC; every other index yields no
// source. A source that is not built into this module answers like an
// unknown index.
//
// ASIO instance table: exactly kVxAsioInstanceCount pointers, null when the
// module loads. The ASIO driver's callbacks carry no context pointer, so each
// table slot has its own set of callback entry points that find their source
// through the slot. The factory takes the first free slot for a new ASIO
// source (none when all are taken); the source gives it back when destroyed.
// No lock: the host creates, opens and deletes sources on one thread.
#pragma once

#include <cstdint>

class CASIOLivePlugin;

inline constexpr int kVxAsioInstanceCount = 4;
extern CASIOLivePlugin* gVxAsioInstances[kVxAsioInstanceCount];

// Stores `source` in the first free slot and returns the slot index, or -1
// when all slots are taken.
int32_t VxTakeAsioInstanceSlot(CASIOLivePlugin* source);
// Clears `slot` (ignored when out of range).
void VxReleaseAsioInstanceSlot(int32_t slot);

// Factory indices DllRegisterServer tries.
inline constexpr int32_t kVxFirstFactoryIndex = 0;
inline constexpr int32_t kVxLastFactoryIndex = 3;
