#include "sources/asio/VxAsioInstanceTable.h"

#include <atomic>

CASIOLivePlugin* gVxAsioInstances[kVxAsioInstanceCount] = {};

int32_t VxTakeAsioInstanceSlot(CASIOLivePlugin* source) {
  for (int32_t slot = 0; slot < kVxAsioInstanceCount; ++slot) {
    std::atomic_ref<CASIOLivePlugin*> entry(gVxAsioInstances[slot]);
    if (!entry.load()) {
      entry.store(source);
      return slot;
    }
  }
  return -1;
}

void VxReleaseAsioInstanceSlot(int32_t slot) {
  if (slot >= 0 && slot < kVxAsioInstanceCount)
    std::atomic_ref<CASIOLivePlugin*>(gVxAsioInstances[slot]).store(nullptr);
}

CASIOLivePlugin* VxAsioInstanceInSlot(int32_t slot) noexcept {
  return std::atomic_ref<CASIOLivePlugin*>(gVxAsioInstances[slot]).load();
}
