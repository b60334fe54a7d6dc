// VxZoneSettings: one settings group of one host playback zone, kept in the
// host's settings below "Zones", with a fall-back to an older location.
//
// The primary key is Zones\<zone>[\<group>] (Zones\Global[\<group>] for the
// global zone, kGlobalZone); the legacy key is the given legacy path, where
// each value name carries the legacy prefix. Reads take the primary value,
// else the legacy value, else the default. Writes go to the primary key only
// and first delete the legacy value, so a value written once lives only in
// the primary key; values that are only read stay where they are.
//
// Both keys are opened without creating them, anew for every object: a
// missing key (or a missing tools library) reads as defaults and makes writes
// fail. The legacy key receives zone 0 for the global group and the zone
// itself otherwise; the primary key is always called with zone 0.
//
// A short-lived local object without a lock: one thread at a time.
// Windows only.
#pragma once

#include <cstdint>

#include "foundation/runtime/VxSettingsKey.h"

class VxZoneSettings {
 public:
  static constexpr int32_t kGlobalZone = -10000;

  VxZoneSettings(int32_t zone,
                 const VxString& groupName,
                 const VxString& legacyPath,
                 const VxString& legacyPrefix);
  VxZoneSettings(const VxZoneSettings&) = delete;
  VxZoneSettings& operator=(const VxZoneSettings&) = delete;

  // "Zones\Global" or "Zones\<zone>", then "\<group>" when the group is not empty.
  static VxString ZonePath(int32_t zone, const VxString& groupName);

  VxString ReadString(const VxString& name, const VxString& defaultValue) const;
  int32_t ReadInt(const VxString& name, int32_t defaultValue) const;
  // The host's result of the primary write; false without a primary key.
  [[nodiscard]] bool WriteString(const VxString& name, const VxString& value);
  [[nodiscard]] bool WriteInt(const VxString& name, int32_t value);

  int32_t Zone() const { return zone_; }
  bool HasPrimaryKey() const { return static_cast<bool>(primaryKey_); }
  bool HasLegacyKey() const { return static_cast<bool>(legacyKey_); }

 private:
  int32_t LegacyZone() const { return zone_ == kGlobalZone ? 0 : zone_; }
  VxString LegacyName(const VxString& name) const { return legacyPrefix_ + name; }
  void DeleteLegacyValue(const VxString& name);

  int32_t zone_;
  VxSettingsKey primaryKey_;
  VxSettingsKey legacyKey_;  // null when no legacy path was given
  VxString groupName_;
  VxString legacyPrefix_;
  bool hasLegacyPath_ = false;
};
