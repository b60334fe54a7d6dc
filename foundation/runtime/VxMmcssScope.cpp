#include "foundation/runtime/VxMmcssScope.h"

VxMmcssScope::VxMmcssScope(const wchar_t* taskName) noexcept {
  using SetFn = HANDLE(WINAPI*)(LPCWSTR, LPDWORD);
  if (!library_.Load(u"Avrt.dll", LOAD_LIBRARY_SEARCH_SYSTEM32))
    return;
  const auto set = reinterpret_cast<SetFn>(
      reinterpret_cast<void*>(::GetProcAddress(library_.Get(), "AvSetMmThreadCharacteristicsW")));
  revert_ = reinterpret_cast<RevertFn>(
      reinterpret_cast<void*>(::GetProcAddress(library_.Get(), "AvRevertMmThreadCharacteristics")));
  if (!set || !revert_ || !taskName || !*taskName)
    return;
  task_ = set(taskName, &taskIndex_);
}

VxMmcssScope::~VxMmcssScope() {
  if (task_ && revert_)
    revert_(task_);
  task_ = nullptr;
  taskIndex_ = 0;
}
