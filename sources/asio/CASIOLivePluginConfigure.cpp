// The ASIO source's settings: the settings string of GetInfo(3) and the
// settings dialog of Configure. Neither is available yet; both answer -1.
#include "sources/asio/CASIOLivePlugin.h"

int32_t CASIOLivePlugin::WriteSettings(void*) noexcept {
  return -1;
}

int32_t CASIOLivePlugin::Configure(int32_t, HWND) noexcept {
  return -1;
}
