// VxSharedMemory: a named block of shared memory backed by the paging file.
//
// Constructed with a name and a size: a non-empty name creates (or opens, when
// another module of the process already created it) the mapping with
// read/write protection and maps all of it for reading and writing. When the
// mapping exists but cannot be mapped, the mapping is closed again, so View()
// is either null or a valid view over `size` bytes. The destructor unmaps the
// view and closes the mapping. No lock: users of the block agree on their own
// protocol for its content. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/VxHandle.h"
#include "foundation/VxString.h"

class VxSharedMemory {
 public:
  VxSharedMemory(const VxString& name, uint32_t size);
  virtual ~VxSharedMemory();
  VxSharedMemory(const VxSharedMemory&) = delete;
  VxSharedMemory& operator=(const VxSharedMemory&) = delete;

  void* View() const { return view_.get(); }
  const VxString& Name() const { return name_; }

 private:
  VxString name_;
  VxHandle mapping_;
  VxMappedView view_;
};
