#include "testdevices/asio/VxTestAsioConfig.h"

#include <cwchar>
#include <cwctype>

#include "foundation/VxHandle.h"

namespace {

// {0B8E5D12-7C3A-4E6F-9D21-4A5B6C7D8E0n}, n = 1 .. 8.
CLSID MakeClassId(int index) {
  CLSID id = {0x0B8E5D12, 0x7C3A, 0x4E6F, {0x9D, 0x21, 0x4A, 0x5B, 0x6C, 0x7D, 0x8E, 0x01}};
  id.Data4[7] = static_cast<unsigned char>(index + 1);
  return id;
}

const CLSID kClassIds[kVxTestAsioDriverCount] = {MakeClassId(0), MakeClassId(1), MakeClassId(2),
                                                 MakeClassId(3), MakeClassId(4), MakeClassId(5),
                                                 MakeClassId(6), MakeClassId(7)};

const struct {
  const wchar_t* name;
  unsigned bit;
} kFaultNames[] = {
    {L"create", kVxTestAsioFailCreate},
    {L"init", kVxTestAsioFailInit},
    {L"getChannels", kVxTestAsioFailGetChannels},
    {L"canSampleRate", kVxTestAsioFailCanSampleRate},
    {L"setSampleRate", kVxTestAsioFailSetSampleRate},
    {L"getBufferSize", kVxTestAsioFailGetBufferSize},
    {L"createBuffers", kVxTestAsioFailCreateBuffers},
    {L"start", kVxTestAsioFailStart},
    {L"getLatencies", kVxTestAsioFailGetLatencies},
    {L"getChannelInfo", kVxTestAsioFailGetChannelInfo},
};

std::vector<std::wstring> SplitList(const std::wstring& text) {
  std::vector<std::wstring> items;
  size_t from = 0;
  while (from <= text.size()) {
    size_t end = text.find(L',', from);
    if (end == std::wstring::npos)
      end = text.size();
    std::wstring item = text.substr(from, end - from);
    while (!item.empty() && std::iswspace(item.front()))
      item.erase(item.begin());
    while (!item.empty() && std::iswspace(item.back()))
      item.pop_back();
    if (!item.empty())
      items.push_back(item);
    from = end + 1;
  }
  return items;
}

std::wstring FormatNumber(double value) {
  wchar_t text[64];
  std::swprintf(text, 64, L"%.17g", value);
  return text;
}

class ValueReader {
 public:
  explicit ValueReader(HKEY key) : key_(key) {}
  void Read(const wchar_t* name, long& out) const {
    DWORD value = 0, size = sizeof value, type = 0;
    if (key_ &&
        ::RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD)
      out = static_cast<long>(value);
  }
  void Read(const wchar_t* name, unsigned long& out) const {
    long value = static_cast<long>(out);
    Read(name, value);
    out = static_cast<unsigned long>(value);
  }
  void Read(const wchar_t* name, bool& out) const {
    long value = out ? 1 : 0;
    Read(name, value);
    out = value != 0;
  }
  bool Read(const wchar_t* name, std::wstring& out) const {
    wchar_t text[2048] = {};
    DWORD size = sizeof text - sizeof(wchar_t), type = 0;
    if (!key_ ||
        ::RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
      return false;
    out = text;
    return true;
  }

 private:
  HKEY key_;
};

class ValueWriter {
 public:
  explicit ValueWriter(HKEY key) : key_(key) {}
  void Write(const wchar_t* name, long value) {
    const DWORD v = static_cast<DWORD>(value);
    ok_ &= ::RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                            sizeof v) == ERROR_SUCCESS;
  }
  void Write(const wchar_t* name, const std::wstring& value) {
    ok_ &=
        ::RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }
  bool Ok() const { return ok_; }

 private:
  HKEY key_;
  bool ok_ = true;
};

std::vector<std::pair<long, long>> ParseMessages(const std::wstring& text) {
  std::vector<std::pair<long, long>> messages;
  for (const std::wstring& item : SplitList(text)) {
    wchar_t* end = nullptr;
    const long selector = std::wcstol(item.c_str(), &end, 10);
    const long value = *end == L':' ? std::wcstol(end + 1, nullptr, 10) : 0;
    messages.emplace_back(selector, value);
  }
  return messages;
}

std::wstring MessagesText(const std::vector<std::pair<long, long>>& messages) {
  std::wstring list;
  for (const auto& [selector, value] : messages)
    list += (list.empty() ? L"" : L",") + std::to_wstring(selector) + L":" + std::to_wstring(value);
  return list;
}

std::wstring Narrowed(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

}  // namespace

const CLSID& VxTestAsioClassId(int index) {
  return kClassIds[index];
}

int VxTestAsioIndexOf(REFCLSID clsid) {
  for (int i = 0; i < kVxTestAsioDriverCount; ++i)
    if (::IsEqualGUID(clsid, kClassIds[i]))
      return i;
  return -1;
}

std::wstring VxTestAsioClassIdText(int index) {
  const CLSID& id = kClassIds[index];
  wchar_t text[40];
  std::swprintf(text, 40, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", id.Data1,
                id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4],
                id.Data4[5], id.Data4[6], id.Data4[7]);
  return text;
}

std::wstring VxTestAsioConfigPath(int index) {
  wchar_t root[256] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"VXTESTASIO_ROOT", root, 256);
  const std::wstring rootName = n > 0 && n < 256 ? root : L"Default";
  return L"Software\\VxTestAsio\\" + rootName + L"\\" + VxTestAsioClassIdText(index);
}

unsigned VxTestAsioParseFaults(const std::wstring& text) {
  unsigned faults = 0;
  for (const std::wstring& item : SplitList(text))
    for (const auto& f : kFaultNames)
      if (_wcsicmp(item.c_str(), f.name) == 0)
        faults |= f.bit;
  return faults;
}

std::wstring VxTestAsioFaultText(unsigned faults) {
  std::wstring text;
  for (const auto& f : kFaultNames)
    if (faults & f.bit)
      text += (text.empty() ? L"" : L",") + std::wstring(f.name);
  return text;
}

ASIOSampleType VxTestAsioConfig::InputType(long channel) const {
  if (sampleTypes.empty())
    return ASIOSTInt32LSB;
  const size_t i = channel < 0 ? 0 : static_cast<size_t>(channel);
  return sampleTypes[i < sampleTypes.size() ? i : sampleTypes.size() - 1];
}

VxTestAsioConfig VxTestAsioConfig::Load(int index) {
  VxTestAsioConfig c;
  c.name = L"VxTestAsio " + std::to_wstring(index + 1);
  c.description = c.name;
  VxRegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, VxTestAsioConfigPath(index).c_str(), 0, KEY_READ,
                      key.put()) != ERROR_SUCCESS)
    return c;
  const ValueReader r(key.get());
  r.Read(L"Name", c.name);
  if (!r.Read(L"Description", c.description))
    c.description = c.name;
  r.Read(L"Version", c.version);
  r.Read(L"Inputs", c.inputs);
  r.Read(L"Outputs", c.outputs);
  std::wstring text;
  if (r.Read(L"SampleTypes", text)) {
    c.sampleTypes.clear();
    for (const std::wstring& item : SplitList(text))
      c.sampleTypes.push_back(std::wcstol(item.c_str(), nullptr, 10));
  }
  r.Read(L"MinBufferSize", c.minBufferSize);
  r.Read(L"MaxBufferSize", c.maxBufferSize);
  r.Read(L"PreferredBufferSize", c.preferredBufferSize);
  r.Read(L"Granularity", c.granularity);
  if (r.Read(L"SampleRates", text)) {
    c.sampleRates.clear();
    for (const std::wstring& item : SplitList(text))
      c.sampleRates.push_back(std::wcstod(item.c_str(), nullptr));
  }
  if (r.Read(L"CurrentRate", text))
    c.currentRate = std::wcstod(text.c_str(), nullptr);
  r.Read(L"OutputReady", c.outputReadyResult);
  long mode = static_cast<long>(c.switchCallback);
  r.Read(L"SwitchCallback", mode);
  c.switchCallback = static_cast<VxTestAsioSwitchCallback>(mode);
  mode = static_cast<long>(c.pace);
  r.Read(L"Pace", mode);
  c.pace = static_cast<VxTestAsioPace>(mode);
  r.Read(L"SwitchLimit", c.switchLimit);
  r.Read(L"FirstSwitchInStart", c.firstSwitchInStart);
  r.Read(L"StopWhileSwitching", c.stopWhileSwitching);
  r.Read(L"StopDuringSwitch", c.stopDuringSwitch);
  r.Read(L"InitPostsMessage", c.initPostsMessage);
  r.Read(L"SingleClient", c.singleClient);
  r.Read(L"SharedHardware", c.sharedHardware);
  r.Read(L"StallAfterRunMessages", c.stallAfterRunMessages);
  r.Read(L"NullBufferChannel", c.nullBufferChannel);
  r.Read(L"NullBufferHalves", c.nullBufferHalves);
  if (r.Read(L"Messages", text))
    c.messages = ParseMessages(text);
  if (r.Read(L"RunMessages", text))
    c.runMessages = ParseMessages(text);
  if (r.Read(L"Fail", text))
    c.faults = VxTestAsioParseFaults(text);
  if (r.Read(L"ErrorMessage", text))
    c.errorMessage = std::string(text.begin(), text.end());
  r.Read(L"LogFile", c.logFile);
  return c;
}

bool VxTestAsioConfig::Save(int index) const {
  Erase(index);
  VxRegKey key;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, VxTestAsioConfigPath(index).c_str(), 0, nullptr, 0,
                        KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  ValueWriter w(key.get());
  w.Write(L"Name", name);
  w.Write(L"Description", description);
  w.Write(L"Version", version);
  w.Write(L"Inputs", inputs);
  w.Write(L"Outputs", outputs);
  std::wstring list;
  for (ASIOSampleType t : sampleTypes)
    list += (list.empty() ? L"" : L",") + std::to_wstring(t);
  w.Write(L"SampleTypes", list);
  w.Write(L"MinBufferSize", minBufferSize);
  w.Write(L"MaxBufferSize", maxBufferSize);
  w.Write(L"PreferredBufferSize", preferredBufferSize);
  w.Write(L"Granularity", granularity);
  list.clear();
  for (double rate : sampleRates)
    list += (list.empty() ? L"" : L",") + FormatNumber(rate);
  w.Write(L"SampleRates", list);
  w.Write(L"CurrentRate", FormatNumber(currentRate));
  w.Write(L"OutputReady", outputReadyResult);
  w.Write(L"SwitchCallback", static_cast<long>(switchCallback));
  w.Write(L"Pace", static_cast<long>(pace));
  w.Write(L"SwitchLimit", static_cast<long>(switchLimit));
  w.Write(L"FirstSwitchInStart", firstSwitchInStart ? 1 : 0);
  w.Write(L"StopWhileSwitching", stopWhileSwitching ? 1 : 0);
  w.Write(L"StopDuringSwitch", stopDuringSwitch ? 1 : 0);
  w.Write(L"InitPostsMessage", initPostsMessage ? 1 : 0);
  w.Write(L"SingleClient", singleClient ? 1 : 0);
  w.Write(L"SharedHardware", sharedHardware ? 1 : 0);
  w.Write(L"StallAfterRunMessages", stallAfterRunMessages ? 1 : 0);
  w.Write(L"NullBufferChannel", nullBufferChannel);
  w.Write(L"NullBufferHalves", static_cast<long>(nullBufferHalves));
  w.Write(L"Messages", MessagesText(messages));
  w.Write(L"RunMessages", MessagesText(runMessages));
  w.Write(L"Fail", VxTestAsioFaultText(faults));
  w.Write(L"ErrorMessage", Narrowed(errorMessage));
  w.Write(L"LogFile", logFile);
  return w.Ok();
}

void VxTestAsioConfig::Erase(int index) {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, VxTestAsioConfigPath(index).c_str());
}
