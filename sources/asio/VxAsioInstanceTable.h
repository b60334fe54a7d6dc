// The module-wide ASIO instance table: exactly kVxAsioInstanceCount pointers,
// null when the module loads.
//
// The ASIO driver's callbacks carry no context pointer, so each table slot has
// its own set of callback entry points that find their source through the
// slot. The factory takes the first free slot for a new ASIO source (none when
// all are taken); the source gives it back when destroyed. Slots are written
// on the host's thread only (the host creates, opens and deletes sources on
// one thread, so there is no lock) and read by driver threads, hence atomic.
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
// The source in `slot` as a driver thread sees it (`slot` must be in range).
CASIOLivePlugin* VxAsioInstanceInSlot(int32_t slot) noexcept;
