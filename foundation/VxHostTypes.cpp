#include "foundation/VxHostTypes.h"

#include "foundation/VxBoundaryGuard.h"

void VxDllString::SetText(const char16_t* text, int length) noexcept {
  VxGuardBoundary([&] {
    if (!text) {
      text_.clear();
    } else if (length < 0) {
      text_.assign(text);
    } else {
      text_.assign(text, static_cast<size_t>(length));
    }
  });
}

void VxDllString::Reserve(int length) noexcept {
  VxGuardBoundary([&] {
    if (length > 0)
      text_.reserve(static_cast<size_t>(length));
  });
}

bool VxDllBuffer::SetSize(uint32_t size) noexcept {
  return VxGuardBoundary(false, [&] {
    bytes_.resize(size);
    return true;
  });
}
