// Settings keys are real registry keys below the process's settings root.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundation/VxHandle.h"
#include "live_Main/IVxTools.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

VxToolsTestEnv& Env() {
  return VxToolsTestEnv::Instance();
}

class Buffer final : public IVxDllBuffer {
 public:
  bool SetSize(uint32_t size) override {
    bytes_.resize(size);
    return true;
  }
  void* GetData() override { return bytes_.empty() ? nullptr : bytes_.data(); }
  uint32_t GetSize() const override { return static_cast<uint32_t>(bytes_.size()); }
  std::vector<uint8_t> bytes_;
};

struct KeyDeleter {
  void operator()(IVxSettingsKey* key) const {
    if (key)
      key->DeletingDestructor(1);
  }
};
using KeyPtr = std::unique_ptr<IVxSettingsKey, KeyDeleter>;

VxString TakeBstr(BSTR s) {
  VxString text(s ? reinterpret_cast<const char16_t*>(s) : u"", s ? ::SysStringLen(s) : 0);
  ::SysFreeString(s);
  return text;
}

// Reads a value straight from the registry: its type and bytes.
bool RegistryValue(const std::wstring& subkey,
                   const wchar_t* name,
                   DWORD& type,
                   std::vector<BYTE>& data) {
  VxRegKey key;
  const std::wstring path = Env().SettingsRegistryPath() + L"\\" + subkey;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return false;
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  data.resize(size);
  return ::RegQueryValueExW(key.get(), name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
}

bool RegistryKeyExists(const std::wstring& subkey) {
  VxRegKey key;
  const std::wstring path = Env().SettingsRegistryPath() + L"\\" + subkey;
  return ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

class SettingsKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    tools_ = Env().LoadTools();
    ASSERT_NE(tools_, nullptr);
    Env().DeleteSettings();
  }
  void TearDown() override { Env().DeleteSettings(); }
  KeyPtr Open(const char16_t* path, int32_t create) {
    return KeyPtr(tools_->OpenSettingsKey(path, create, 0));
  }
  IVxTools* tools_ = nullptr;
};

}  // namespace

TEST_F(SettingsKeys, CreateFlagDecidesWhetherAMissingKeyAppears) {
  EXPECT_EQ(Open(u"Plugins\\Live\\Test", 0), nullptr);
  EXPECT_FALSE(RegistryKeyExists(L"Plugins\\Live\\Test"));
  KeyPtr created = Open(u"Plugins\\Live\\Test", 1);
  ASSERT_NE(created, nullptr);
  EXPECT_TRUE(RegistryKeyExists(L"Plugins\\Live\\Test"));
  EXPECT_NE(Open(u"Plugins\\Live\\Test", 0), nullptr) << "an existing key opens without create";
}

TEST_F(SettingsKeys, ValuesAreStoredWithRegistryTypes) {
  KeyPtr key = Open(u"Zones\\0\\Live ASIO", 1);
  ASSERT_NE(key, nullptr);
  EXPECT_TRUE(key->WriteInt(u"Sample Rate", 48000, 0, 0));
  EXPECT_TRUE(key->WriteInt(u"Negative", -5, 0, 0));
  EXPECT_TRUE(key->WriteString(u"Device ID", u"{ABC}", 0, u"", 0));
  const uint8_t blob[] = {0, 1, 2, 0xFE, 0xFF};
  EXPECT_TRUE(key->WriteBinary(u"Placement", blob, sizeof blob, 0, 0));

  DWORD type = 0;
  std::vector<BYTE> data;
  ASSERT_TRUE(RegistryValue(L"Zones\\0\\Live ASIO", L"Sample Rate", type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  ASSERT_EQ(data.size(), 4u);
  DWORD rate;
  std::memcpy(&rate, data.data(), 4);
  EXPECT_EQ(rate, 48000u);
  ASSERT_TRUE(RegistryValue(L"Zones\\0\\Live ASIO", L"Device ID", type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(data.data())), L"{ABC}");
  ASSERT_TRUE(RegistryValue(L"Zones\\0\\Live ASIO", L"Placement", type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(data, std::vector<BYTE>(blob, blob + sizeof blob));

  // And they read back through a freshly opened key.
  KeyPtr again = Open(u"Zones\\0\\Live ASIO", 0);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->ReadInt(u"Sample Rate", 1, 0, 0), 48000);
  EXPECT_EQ(again->ReadInt(u"Negative", 1, 0, 0), -5);
  BSTR text = nullptr;
  again->ReadString(&text, u"Device ID", u"default", 0, u"", 0);
  EXPECT_EQ(TakeBstr(text), u"{ABC}");
  Buffer buffer;
  EXPECT_TRUE(again->ReadBinary(u"Placement", &buffer, 0, 0));
  EXPECT_EQ(buffer.bytes_, std::vector<uint8_t>(blob, blob + sizeof blob));
}

TEST_F(SettingsKeys, MissingOrMistypedValuesGiveTheDefault) {
  KeyPtr key = Open(u"Defaults", 1);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadInt(u"Channels", 2, 0, 0), 2);
  BSTR text = nullptr;
  key->ReadString(&text, u"Device ID", u"", 0, u"", 0);
  EXPECT_EQ(TakeBstr(text), u"");
  Buffer buffer;
  EXPECT_FALSE(key->ReadBinary(u"Placement", &buffer, 0, 0));

  EXPECT_TRUE(key->WriteString(u"Channels", u"4", 0, u"", 0));
  EXPECT_EQ(key->ReadInt(u"Channels", 2, 0, 0), 2) << "text is not an integer value";
  EXPECT_TRUE(key->WriteInt(u"Device ID", 3, 0, 0));
  key->ReadString(&text, u"Device ID", u"none", 0, u"", 0);
  EXPECT_EQ(TakeBstr(text), u"none");
}

TEST_F(SettingsKeys, DeleteValueRemovesItFromTheRegistry) {
  KeyPtr key = Open(u"Delete", 1);
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(key->WriteInt(u"Channels", 6, 0, 0));
  EXPECT_TRUE(key->DeleteValue(u"Channels"));
  DWORD type;
  std::vector<BYTE> data;
  EXPECT_FALSE(RegistryValue(L"Delete", L"Channels", type, data));
  EXPECT_EQ(key->ReadInt(u"Channels", 2, 0, 0), 2);
  EXPECT_FALSE(key->DeleteValue(u"Channels")) << "nothing left to delete";
}

TEST_F(SettingsKeys, ZoneReadsUseTheZoneValueName) {
  KeyPtr key = Open(u"Plugins\\Live\\ASIO", 1);
  ASSERT_NE(key, nullptr);
  BSTR name = nullptr;
  key->GetZoneValueName(&name, u"Channels", 0);
  EXPECT_EQ(TakeBstr(name), u"Channels");
  key->GetZoneValueName(&name, u"Channels", 3);
  const VxString zone3 = TakeBstr(name);
  EXPECT_EQ(zone3, u"Channels (Zone 3)");

  ASSERT_TRUE(key->WriteInt(u"Channels", 4, 0, 0));
  ASSERT_TRUE(key->WriteInt(zone3.c_str(), 8, 0, 0));
  ASSERT_TRUE(key->WriteString(u"Device ID (Zone 3)", u"zone three", 0, u"", 0));
  EXPECT_EQ(key->ReadInt(u"Channels", 2, 0, 0), 4);
  EXPECT_EQ(key->ReadInt(u"Channels", 2, 3, 0), 8);
  EXPECT_EQ(key->ReadInt(u"Channels", 2, 5, 0), 2) << "nothing stored for zone 5";
  BSTR text = nullptr;
  key->ReadString(&text, u"Device ID", u"", 3, u"", 0);
  EXPECT_EQ(TakeBstr(text), u"zone three");

  // Deleting the name GetZoneValueName gives removes what that zone reads.
  EXPECT_TRUE(key->DeleteValue(zone3.c_str()));
  EXPECT_EQ(key->ReadInt(u"Channels", 2, 3, 0), 2);
  EXPECT_EQ(key->ReadInt(u"Channels", 2, 0, 0), 4);
}

TEST_F(SettingsKeys, DeletingDestructorReturnsTheObject) {
  IVxSettingsKey* key = tools_->OpenSettingsKey(u"Destroy", 1, 0);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->DeletingDestructor(1), key);
}

TEST_F(SettingsKeys, EachSettingsRootIsSeparate) {
  KeyPtr mine = Open(u"Shared", 1);
  ASSERT_NE(mine, nullptr);
  ASSERT_TRUE(mine->WriteInt(u"Value", 1, 0, 0));
  const std::wstring root = Env().SettingsRoot();
  Env().SetOption(L"VXTOOLS_SETTINGS_ROOT", (root + L" other").c_str());
  EXPECT_EQ(Open(u"Shared", 0), nullptr);
  Env().SetOption(L"VXTOOLS_SETTINGS_ROOT", root.c_str());
  ::RegDeleteTreeW(HKEY_CURRENT_USER, (Env().SettingsRegistryPath() + L" other").c_str());
  EXPECT_NE(Open(u"Shared", 0), nullptr);
}
