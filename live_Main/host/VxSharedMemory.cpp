#include "live_Main/host/VxSharedMemory.h"

VxSharedMemory::VxSharedMemory(const VxString& name, uint32_t size) : name_(name) {
  if (name_.empty())
    return;
  mapping_.reset(
      ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name_.Wide()));
  if (!mapping_)
    return;
  view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
  if (!view_)
    mapping_.reset();
}

VxSharedMemory::~VxSharedMemory() {
  view_.reset();
  mapping_.reset();
}
