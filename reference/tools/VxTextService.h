// The text service of the reference tools library: printf-style formatting
// over the typed argument list. Stateless; any thread.
#pragma once

#include "live_Main/host/IVxTools.h"

class VxTextService final : public IVxTextService {
 public:
  void Format(IVxDllString* out,
              const char16_t* format,
              const VxArg* const* args,
              int capacity) override;
};
