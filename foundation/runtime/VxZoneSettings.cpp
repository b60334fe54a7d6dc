#include "foundation/runtime/VxZoneSettings.h"

namespace {
constexpr char16_t kZonesKey[] = u"Zones";
}

VxZoneSettings::VxZoneSettings(int32_t zone,
                               const VxString& groupName,
                               const VxString& legacyPath,
                               const VxString& legacyPrefix)
    : zone_(zone), groupName_(groupName), legacyPrefix_(legacyPrefix) {
  primaryKey_ = VxSettingsKey::Open(ZonePath(zone_, groupName_), VxSettingsKey::kOpenExisting);
  hasLegacyPath_ = !legacyPath.empty();
  if (hasLegacyPath_)
    legacyKey_ = VxSettingsKey::Open(legacyPath, VxSettingsKey::kOpenExisting);
}

VxString VxZoneSettings::ZonePath(int32_t zone, const VxString& groupName) {
  VxString path = zone == kGlobalZone ? VxFormat(u"%s\\Global", {kZonesKey})
                                      : VxFormat(u"%s\\%d", {kZonesKey, zone});
  if (!groupName.empty())
    path += u"\\" + groupName;
  return path;
}

VxString VxZoneSettings::ReadString(const VxString& name, const VxString& defaultValue) const {
  VxString result = defaultValue;
  if (legacyKey_)
    result = legacyKey_.ReadString(LegacyName(name).c_str(), result, LegacyZone());
  if (primaryKey_)
    result = primaryKey_.ReadString(name.c_str(), result, 0);
  return result;
}

int32_t VxZoneSettings::ReadInt(const VxString& name, int32_t defaultValue) const {
  int32_t result = defaultValue;
  if (legacyKey_)
    result = legacyKey_.ReadInt(LegacyName(name).c_str(), result, LegacyZone());
  if (primaryKey_)
    result = primaryKey_.ReadInt(name.c_str(), result, 0);
  return result;
}

void VxZoneSettings::DeleteLegacyValue(const VxString& name) {
  if (!hasLegacyPath_)
    return;
  const VxString legacyName = legacyKey_.GetZoneValueName(LegacyName(name).c_str(), LegacyZone());
  if (legacyKey_)
    (void)legacyKey_.DeleteValue(legacyName.c_str());
}

bool VxZoneSettings::WriteString(const VxString& name, const VxString& value) {
  DeleteLegacyValue(name);
  if (!primaryKey_)
    return false;
  return primaryKey_.WriteString(name.c_str(), value);
}

bool VxZoneSettings::WriteInt(const VxString& name, int32_t value) {
  DeleteLegacyValue(name);
  if (!primaryKey_)
    return false;
  return primaryKey_.WriteInt(name.c_str(), value);
}
