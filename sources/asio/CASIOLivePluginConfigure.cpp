// The ASIO source's settings: the settings string of GetInfo(3) and the
// settings dialog of Configure. Both read the stored settings through the
// dialog class, over the list of installed drivers.
#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/VxBoundaryGuard.h"
#include "foundation/VxFormat.h"
#include "foundation/VxUrl.h"
#include "sources/asio/CASIOLivePlugin.h"
#include "sources/asio/VxAsioInstanceTable.h"
#include "ui/CConfigureASIODlg.h"

namespace {

constexpr size_t kInfoBufferChars = 1024;  // the host's GetInfo buffer

// The installed drivers' names and device IDs. A source whose driver runs
// lists through its own wrapper: a new wrapper in its place would release
// the running driver without stopping it. Otherwise the list of an open
// source is borrowed, or a fresh wrapper reads the registry and replaces the
// source's own.
void ChooseDriverList(bool ownDriverLoaded,
                      std::unique_ptr<ASIOWrapper>& own,
                      VxStringArray& names,
                      VxStringArray& ids) {
  names.clear();
  ids.clear();
  if (ownDriverLoaded && own) {
    own->ListDrivers(names, ids);
    return;
  }
  for (CASIOLivePlugin* source : gVxAsioInstances) {
    if (source && source->IsDriverLoaded() && source->Wrapper()) {
      source->Wrapper()->ListDrivers(names, ids);
      return;
    }
  }
  own = std::make_unique<ASIOWrapper>();
  own->ListDrivers(names, ids);
}

}  // namespace

int32_t CASIOLivePlugin::WriteSettings(void* buffer) {
  VxStringArray names, ids;
  ChooseDriverList(driverLoaded_, wrapper_, names, ids);
  const CConfigureASIODlg settings(zone_, names, ids);
  const VxString text =
      VxFormat(u"deviceindex=%d&deviceid=%s&samplerate=%d&channels=%d&channelshift=%d",
               {settings.DeviceIndex(), VxUrlEncode(settings.DeviceId()), settings.SampleRate(),
                settings.Channels(), settings.ChannelShift()});
  if (buffer) {
    const size_t length = std::min<size_t>(text.size(), kInfoBufferChars - 1);
    std::memcpy(buffer, text.c_str(), length * sizeof(char16_t));
    static_cast<char16_t*>(buffer)[length] = u'\0';
  }
  return 1;
}

int32_t CASIOLivePlugin::Configure(int32_t code, HWND parent) noexcept {
  if (code != 0)
    return -1;
  return VxGuardBoundary(-1, [&] {
    VxStringArray names, ids;
    ChooseDriverList(driverLoaded_, wrapper_, names, ids);
    CConfigureASIODlg dialog(zone_, names, ids);
    // Confirmed or cancelled, the answer is the same; the dialog stored the
    // choice itself, and a running stream keeps its settings.
    (void)dialog.DoModal(parent);
    return 0;
  });
}
