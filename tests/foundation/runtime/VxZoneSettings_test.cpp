// The zone settings store and the settings key handle, against the real
// registry through the reference tools library loaded by the host library set.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "foundation/VxHandle.h"
#include "foundation/runtime/VxSettingsKey.h"
#include "foundation/runtime/VxZoneSettings.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

constexpr char16_t kAsioGroup[] = u"Live ASIO";
constexpr char16_t kAsioLegacyPath[] = u"Plugins\\Live\\ASIO";

VxToolsTestEnv& Env() {
  return VxToolsTestEnv::Instance();
}

std::wstring FullPath(const std::wstring& path) {
  return Env().SettingsRegistryPath() + L"\\" + path;
}

void Store(const std::wstring& path, const wchar_t* name, DWORD value) {
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, FullPath(path).c_str(), name, REG_DWORD, &value,
                              sizeof value),
            ERROR_SUCCESS);
}

void Store(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, FullPath(path).c_str(), name, REG_SZ,
                              value.c_str(), static_cast<DWORD>((value.size() + 1) * 2)),
            ERROR_SUCCESS);
}

bool KeyExists(const std::wstring& path) {
  VxRegKey key;
  return ::RegOpenKeyExW(HKEY_CURRENT_USER, FullPath(path).c_str(), 0, KEY_READ, key.put()) ==
         ERROR_SUCCESS;
}

// The stored value: text as it is, a REG_DWORD as "dword:" and the decimal
// number; nothing when it is missing.
std::optional<std::wstring> Stored(const std::wstring& path, const wchar_t* name) {
  wchar_t buffer[256] = {};
  DWORD type = 0, size = sizeof buffer;
  if (::RegGetValueW(HKEY_CURRENT_USER, FullPath(path).c_str(), name,
                     RRF_RT_REG_DWORD | RRF_RT_REG_SZ, &type, buffer, &size) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD number = 0;
  std::memcpy(&number, buffer, sizeof number);
  return type == REG_DWORD ? L"dword:" + std::to_wstring(number) : std::wstring(buffer);
}

class ZoneSettings : public ::testing::Test {
 protected:
  void SetUp() override { Env().DeleteSettings(); }
  void TearDown() override { Env().DeleteSettings(); }
};

}  // namespace

TEST(ZoneSettingsPath, NamesTheZoneKeyAndTheGroup) {
  EXPECT_EQ(VxZoneSettings::ZonePath(VxZoneSettings::kGlobalZone, kAsioGroup),
            u"Zones\\Global\\Live ASIO");
  EXPECT_EQ(VxZoneSettings::ZonePath(VxZoneSettings::kGlobalZone, u""), u"Zones\\Global");
  EXPECT_EQ(VxZoneSettings::ZonePath(3, u""), u"Zones\\3");
  EXPECT_EQ(VxZoneSettings::ZonePath(0, kAsioGroup), u"Zones\\0\\Live ASIO");
  EXPECT_EQ(VxZoneSettings::ZonePath(-2, u"G"), u"Zones\\-2\\G");
}

// The host keeps what is written even where nothing was stored before;
// reading creates nothing and a write creates no legacy key.
TEST_F(ZoneSettings, NothingStoredGivesDefaultsAndTheFirstWriteIsKept) {
  {
    VxZoneSettings settings(0, kAsioGroup, kAsioLegacyPath, u"");
    EXPECT_EQ(settings.ReadString(u"Device ID", u"{D}"), u"{D}");
    EXPECT_EQ(settings.ReadInt(u"Sample Rate", 44100), 44100);
  }
  EXPECT_FALSE(KeyExists(L"Zones\\0\\Live ASIO"));
  {
    VxZoneSettings settings(0, kAsioGroup, kAsioLegacyPath, u"");
    EXPECT_TRUE(settings.WriteInt(u"Channels", 6));
    EXPECT_TRUE(settings.WriteString(u"Device ID", u"{X}"));
  }
  EXPECT_EQ(Stored(L"Zones\\0\\Live ASIO", L"Channels"), L"dword:6");
  EXPECT_EQ(Stored(L"Zones\\0\\Live ASIO", L"Device ID"), L"{X}");
  EXPECT_FALSE(KeyExists(L"Plugins\\Live\\ASIO"));
}

TEST_F(ZoneSettings, PrimaryValueWinsLegacyValueFillsInAndWritingMovesIt) {
  Store(L"Plugins\\Live\\ASIO", L"Sample Rate", 48000);
  Store(L"Zones\\0\\Live ASIO", L"Sample Rate", 96000);
  Store(L"Plugins\\Live\\ASIO", L"Channels", 4);
  Store(L"Plugins\\Live\\ASIO", L"Device ID", L"{LEGACY}");
  {
    VxZoneSettings settings(0, kAsioGroup, kAsioLegacyPath, u"");
    EXPECT_EQ(settings.ReadInt(u"Sample Rate", 44100), 96000);
    EXPECT_EQ(settings.ReadInt(u"Channels", 2), 4);
    EXPECT_EQ(settings.ReadString(u"Device ID", u""), u"{LEGACY}");
    // Reading moves nothing.
    EXPECT_EQ(Stored(L"Plugins\\Live\\ASIO", L"Channels"), L"dword:4");
    EXPECT_FALSE(Stored(L"Zones\\0\\Live ASIO", L"Channels"));
  }
  {
    VxZoneSettings settings(0, kAsioGroup, kAsioLegacyPath, u"");
    EXPECT_TRUE(settings.WriteInt(u"Channels", 6));
    EXPECT_TRUE(settings.WriteString(u"Device ID", u"{NEW}"));
  }
  EXPECT_FALSE(Stored(L"Plugins\\Live\\ASIO", L"Channels"));
  EXPECT_FALSE(Stored(L"Plugins\\Live\\ASIO", L"Device ID"));
  EXPECT_EQ(Stored(L"Plugins\\Live\\ASIO", L"Sample Rate"), L"dword:48000") << "not written, stays";
  EXPECT_EQ(Stored(L"Zones\\0\\Live ASIO", L"Channels"), L"dword:6");
  EXPECT_EQ(Stored(L"Zones\\0\\Live ASIO", L"Device ID"), L"{NEW}");

  VxZoneSettings again(0, kAsioGroup, kAsioLegacyPath, u"");
  EXPECT_EQ(again.ReadInt(u"Channels", 2), 6);
  EXPECT_EQ(again.ReadString(u"Device ID", u""), u"{NEW}");
}

TEST_F(ZoneSettings, LegacyKeySeesTheZoneAndThePrefix) {
  // Zone 3: the legacy key is asked for zone 3, which it keeps under its own name.
  Store(L"Plugins\\Live\\ASIO", L"ASIO Channels", 9);
  Store(L"Plugins\\Live\\ASIO", L"ASIO Channels (Zone 3)", 5);
  Store(L"Plugins\\Live\\ASIO", L"ASIO Device ID (Zone 3)", L"{LEGACY 3}");
  {
    VxZoneSettings zone3(3, u"", kAsioLegacyPath, u"ASIO ");
    EXPECT_EQ(zone3.ReadInt(u"Channels", 2), 5);
    EXPECT_EQ(zone3.ReadString(u"Device ID", u""), u"{LEGACY 3}");
    EXPECT_TRUE(zone3.WriteInt(u"Channels", 7));
  }
  // The primary key is always asked for zone 0, so it keeps the plain names.
  Store(L"Zones\\3", L"Device ID", L"{PRIMARY 3}");
  {
    VxZoneSettings zone3(3, u"", kAsioLegacyPath, u"ASIO ");
    EXPECT_EQ(zone3.ReadInt(u"Channels", 2), 7);
    EXPECT_EQ(zone3.ReadString(u"Device ID", u""), u"{PRIMARY 3}");
  }
  EXPECT_FALSE(Stored(L"Plugins\\Live\\ASIO", L"ASIO Channels (Zone 3)"));
  EXPECT_EQ(Stored(L"Plugins\\Live\\ASIO", L"ASIO Channels"), L"dword:9") << "zone 0's value stays";
  EXPECT_EQ(Stored(L"Zones\\3", L"Channels"), L"dword:7") << "the primary key uses the plain name";

  // The global group: primary Zones\Global\Live ASIO, legacy asked for zone 0.
  {
    VxZoneSettings global(VxZoneSettings::kGlobalZone, kAsioGroup, kAsioLegacyPath, u"ASIO ");
    EXPECT_EQ(global.ReadInt(u"Channels", 2), 9);
    EXPECT_TRUE(global.WriteInt(u"Channels", 1));
  }
  EXPECT_FALSE(Stored(L"Plugins\\Live\\ASIO", L"ASIO Channels"));
  EXPECT_EQ(Stored(L"Zones\\Global\\Live ASIO", L"Channels"), L"dword:1");
}

TEST_F(ZoneSettings, EmptyLegacyPathOpensNoLegacyKeyAndDeletesNothing) {
  Store(L"Plugins\\Live\\ASIO", L"Channels", 4);
  Store(L"Zones\\0\\Live ASIO", L"Sample Rate", 96000);
  VxZoneSettings settings(0, kAsioGroup, u"", u"");
  EXPECT_FALSE(settings.HasLegacyKey());
  EXPECT_EQ(settings.ReadInt(u"Channels", 2), 2);
  EXPECT_TRUE(settings.WriteInt(u"Channels", 6));
  EXPECT_EQ(Stored(L"Plugins\\Live\\ASIO", L"Channels"), L"dword:4");
  EXPECT_EQ(Stored(L"Zones\\0\\Live ASIO", L"Channels"), L"dword:6");
}

namespace {

int gKeyDeletions = 0;
unsigned gKeyDeleteFlags = 0;

// Host key stand-in that records how the handle deletes it and every
// reserved argument it is given (the host expects 0 in each).
int gReservedNotZero = 0;
struct CountingKey final : IVxSettingsKey {
  void* DeletingDestructor(unsigned int flags) noexcept override {
    ++gKeyDeletions;
    gKeyDeleteFlags = flags;
    return this;
  }
  static bool Reserved(int a, int b = 0) {
    gReservedNotZero += (a != 0) + (b != 0);
    return false;
  }
  bool ReadBinary(const char16_t*, IVxDllBuffer*, int a, int b) override { return Reserved(a, b); }
  int32_t ReadInt(const char16_t*, int32_t, int32_t, int a) override { return Reserved(a); }
  void ReadString(BSTR*, const char16_t*, const char16_t*, int32_t, const char16_t*, int a)
      override {
    Reserved(a);
  }
  bool WriteBinary(const char16_t*, const void*, int32_t, int a, int b) override {
    return Reserved(a, b);
  }
  bool WriteInt(const char16_t*, int32_t, int a, int b) override { return Reserved(a, b); }
  bool WriteString(const char16_t*, const char16_t*, int a, const char16_t*, int b) override {
    return Reserved(a, b);
  }
  void Unused7() override {}
  void Unused8() override {}
  bool DeleteValue(const char16_t*) override { return false; }
  void Unused10() override {}
  void Unused11() override {}
  void Unused12() override {}
  void Unused13() override {}
  void Unused14() override {}
  void GetZoneValueName(BSTR*, const char16_t*, int32_t) override {}
};

}  // namespace

TEST(SettingsKeyHandle, DeletesTheHostKeyOnceThroughSlotZeroAndPassesZeroInReservedArguments) {
  CountingKey first, second;
  {
    VxSettingsKey handle(&first);
    VxSettingsKey moved(std::move(handle));
    EXPECT_FALSE(handle);
    EXPECT_EQ(gKeyDeletions, 0);
    moved.Reset(&second);
    EXPECT_EQ(gKeyDeletions, 1);
    EXPECT_EQ(gKeyDeleteFlags, 1u) << "flags bit 0: free the memory";
    std::vector<uint8_t> bytes;
    (void)moved.ReadBinary(u"B", bytes);
    (void)moved.ReadInt(u"I", 0, 3);
    (void)moved.ReadString(u"S", u"", 3);
    (void)moved.WriteBinary(u"B", "x", 1);
    (void)moved.WriteInt(u"I", 1);
    (void)moved.WriteString(u"S", u"x");
    EXPECT_EQ(gReservedNotZero, 0);
  }
  EXPECT_EQ(gKeyDeletions, 2);
}

TEST(SettingsKeyHandle, NullHandleSkipsEveryOperation) {
  const VxSettingsKey none;
  std::vector<uint8_t> bytes = {7};
  EXPECT_FALSE(none.ReadBinary(u"B", bytes));
  EXPECT_EQ(bytes, std::vector<uint8_t>{7});
  EXPECT_EQ(none.ReadInt(u"I", 44100), 44100);
  EXPECT_EQ(none.ReadString(u"S", u"default"), u"default");
  EXPECT_FALSE(none.WriteInt(u"I", 1));
  EXPECT_FALSE(none.WriteString(u"S", u"x"));
  EXPECT_FALSE(none.WriteBinary(u"B", "x", 1));
  EXPECT_FALSE(none.DeleteValue(u"I"));
  EXPECT_EQ(none.GetZoneValueName(u"I", 3), u"I");
}

TEST_F(ZoneSettings, HandleReadsAndWritesRealKeys) {
  VxSettingsKey created = VxSettingsKey::Open(u"Plugins\\Live\\Handle", VxSettingsKey::kCreate);
  ASSERT_TRUE(created);
  EXPECT_TRUE(KeyExists(L"Plugins\\Live\\Handle"));
  const uint8_t blob[] = {1, 2, 3, 0, 255};
  EXPECT_TRUE(created.WriteBinary(u"Placement", blob, sizeof blob));
  EXPECT_TRUE(created.WriteString(u"Text", u"caf\u00e9 \u4e2d"));
  EXPECT_TRUE(created.WriteInt(u"Number", -7));

  VxSettingsKey opened =
      VxSettingsKey::Open(u"Plugins\\Live\\Handle", VxSettingsKey::kOpenExisting);
  ASSERT_TRUE(opened);
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(opened.ReadBinary(u"Placement", bytes));
  EXPECT_EQ(bytes, std::vector<uint8_t>(blob, blob + sizeof blob));
  EXPECT_EQ(opened.ReadString(u"Text", u""), u"caf\u00e9 \u4e2d");
  EXPECT_EQ(opened.ReadString(u"Missing", u"fallback"), u"fallback");
  EXPECT_EQ(opened.ReadInt(u"Number", 0), -7);
  EXPECT_EQ(opened.GetZoneValueName(u"Number", 0), u"Number");
  EXPECT_TRUE(opened.DeleteValue(u"Number"));
  EXPECT_FALSE(Stored(L"Plugins\\Live\\Handle", L"Number"));

  // The host answers a key that does not exist yet; opening it creates nothing.
  EXPECT_TRUE(VxSettingsKey::Open(u"Plugins\\Live\\Absent", VxSettingsKey::kOpenExisting));
  EXPECT_FALSE(KeyExists(L"Plugins\\Live\\Absent"));
}
