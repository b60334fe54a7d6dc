#include <cstring>
#include <string>

#include "live_Main/boundary/IVxAudioLive.h"

int32_t VxAudioLiveBase::GetInfo(int32_t code, void* buffer) noexcept {
  switch (code) {
    case 0:
      // The host's buffer holds at least 1024 wide characters; names are short.
      if (buffer && info_.name)
        std::memcpy(buffer, info_.name,
                    (std::char_traits<char16_t>::length(info_.name) + 1) * sizeof(char16_t));
      return 0;
    case 1:
      return info_.info1;
    case 2:
      return info_.info2;
    default:
      return -1;
  }
}
