#include "live_Main/boundary/VxRegistration.h"

#include "foundation/VxFormat.h"
#include "foundation/runtime/VxSettingsKey.h"
#include "live_Main/boundary/VxLiveVersion.h"

#define VX_WIDE2(text) u##text
#define VX_WIDE(text) VX_WIDE2(text)

void VxWriteRegistration(int32_t index, const VxString& name, const VxString& modulePath) {
  VxSettingsKey key =
      VxSettingsKey::Open(VxString(u"Plugins\\Live\\") + name, VxSettingsKey::kCreate);
  if (!key)
    return;
  // Write results are not checked: a key that fails is simply incomplete.
  (void)key.WriteInt(u"IVersion", 1);
  (void)key.WriteString(u"Company", VxString(VX_WIDE(VX_LIVE_COMPANY_TEXT)));
  (void)key.WriteString(u"Path", modulePath);
  (void)key.WriteInt(u"Index", index);
  (void)key.WriteString(u"Version", VxString(VX_WIDE(VX_LIVE_VERSION_TEXT)));
  (void)key.WriteString(u"URL", VxString(VX_WIDE(VX_LIVE_URL_TEXT)));
  (void)key.WriteString(u"Copyright", VxString(VX_WIDE(VX_LIVE_COPYRIGHT_TEXT)));
  (void)key.WriteString(u"Description",
                        VxFormat(u"%s (part of main Vexmoor main live plug-ins)", {name}));
}
