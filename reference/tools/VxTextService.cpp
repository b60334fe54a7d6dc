#include "reference/tools/VxTextService.h"

void VxTextService::Format(IVxDllString* out,
                           const char16_t* format,
                           const VxArg* const* args,
                           int capacity) {
  if (!out)
    return;
  const VxString text = VxFormatArgs(format, args, capacity);
  out->SetText(text.c_str(), text.Length());
}
