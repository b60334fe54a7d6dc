#include "reference/host/VxPluginValidator.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <set>

namespace {

constexpr DWORD kOpenLimitMs = 10000;
constexpr double kStreamSeconds = 2.0;
constexpr DWORD kStreamLimitMs = 8000;
constexpr int kOpenCycles = 3;
constexpr uint8_t kUntouched = 0xCD;
constexpr size_t kInfoChars = 1024;
constexpr size_t kInfoBytes = kInfoChars * sizeof(wchar_t) + 64;  // with a guard area

// What the host knows about the sources it ships with; other names are held
// only to the rules every source keeps.
struct KnownSource {
  const wchar_t* name;
  int32_t index;
  int32_t info1;
  int32_t info2;
  bool settings;        // GetInfo(3) answers 1 with a settings string
  bool dialog;          // Configure(0) shows a dialog (CheckDialog cancels it)
  bool refusesNothing;  // Open with an empty string has nothing to open: -1
  bool soundCard;       // streams from a driver's buffer switch
};
constexpr KnownSource kKnown[] = {{L"ASIO", 0, 1, 1, true, true, true, true},
                                  {L"Loopback", 1, 1, 1, false, false, false, false},
                                  {L"IPC", 2, 1, 0, false, false, true, false}};

const KnownSource* Known(const std::wstring& name) {
  for (const KnownSource& k : kKnown)
    if (name == k.name)
      return &k;
  return nullptr;
}

using Buffer = std::shared_ptr<std::vector<uint8_t>>;

Buffer FreshBuffer() {
  return std::make_shared<std::vector<uint8_t>>(kInfoBytes, kUntouched);
}

// Bytes written from `from` on (the guard area included).
bool Touched(const Buffer& b, size_t from = 0) {
  for (size_t i = from; i < b->size(); ++i)
    if ((*b)[i] != kUntouched)
      return true;
  return false;
}

// The terminated text at the start of `b`, or false when no terminator lies
// within the 1024 characters a host passes.
bool TextOf(const Buffer& b, std::wstring& text) {
  const auto* w = reinterpret_cast<const wchar_t*>(b->data());
  for (size_t i = 0; i < kInfoChars; ++i)
    if (w[i] == 0) {
      text.assign(w, i);
      return true;
    }
  return false;
}

}  // namespace

std::wstring VxPluginValidator::Number(long long n) {
  return std::to_wstring(n);
}

std::wstring VxPluginValidator::Join(const std::vector<std::wstring>& parts) {
  std::wstring s;
  for (const std::wstring& p : parts)
    s += (s.empty() ? L"" : L"; ") + p;
  return s;
}

VxPluginValidator::VxPluginValidator(VxValidatorSetup setup)
    : setup_(std::move(setup)), thread_(std::make_unique<VxCallThread>()) {}

void VxPluginValidator::Run() {
  CheckVersionResource();
  CheckFactory();
  for (const Source& s : sources_) {
    const KnownSource* known = Known(s.name);
    CheckInfo(s);
    CheckReservedAndConfigure(s);
    if (known && known->dialog)
      CheckDialog(s);
    CheckCycles(s);
    CheckOpenRefusal(s, L"empty", L"");
    CheckOpenRefusal(s, L"malformed", L"deviceid=%ZZ&samplerate=-x&channels=%%&pipe=0xZZ&&==&%");
    CheckStream(s);
    if (known && known->soundCard) {
      CheckSharedDevice(s);
      CheckDeleteWhileHeld(s);
    }
  }
  CheckRegistration();
  VxCheckResult late{L"no-late-calls"};
  late.expected = L"no sink call after a source's delete returned";
  int calls = 0;
  for (const auto& sink : sinks_)
    calls += sink->callsAfterDelete;
  late.seen = Number(calls) + L" late call(s)";
  if (calls)
    late.verdict = VxCheckResult::Verdict::kFail;
  Report(late);
}

bool VxPluginValidator::Call(std::function<void()> call,
                             DWORD limitMs,
                             VxCheckResult& r,
                             const std::wstring& what) {
  double ms = 0;
  const bool returned = thread_->Run(std::move(call), limitMs, ms);
  r.ms += ms;
  if (returned)
    return true;
  hung_ = true;
  Fail(r, what + L" did not return within " + Number(limitMs) + L" ms (hung; left running)");
  thread_ = std::make_unique<VxCallThread>();
  return false;
}

bool VxPluginValidator::Create(int32_t index, VxRawSource& source, VxCheckResult& r) {
  auto out = std::make_shared<std::pair<int32_t, void*>>(-2, nullptr);
  const VxRawFactory factory = setup_.factory;
  if (!Call([=] { out->first = factory(index, &out->second); }, kCallLimitMs, r,
            L"GetLivePlugin(" + Number(index) + L")"))
    return false;
  if (out->first != 0 || !out->second) {
    Fail(r,
         L"GetLivePlugin(" + Number(index) + L") answered " + Number(out->first) + L" this time");
    return false;
  }
  source.object = out->second;
  return true;
}

bool VxPluginValidator::Delete(const VxRawSource& source, VxCheckResult& r) {
  auto returned = std::make_shared<void*>(nullptr);
  if (!Call([=] { *returned = source.Delete(); }, kDeleteLimitMs, r, L"the delete (slot 0)"))
    return false;
  if (*returned != source.object) {
    Fail(r, L"the delete (slot 0) returned another pointer than the object");
    return false;
  }
  return true;
}

void VxPluginValidator::Fail(VxCheckResult& r, const std::wstring& seen) {
  r.verdict = VxCheckResult::Verdict::kFail;
  r.seen = r.seen.empty() ? seen : r.seen + L"; " + seen;
}

void VxPluginValidator::Report(VxCheckResult& r) {
  if (setup_.report)
    setup_.report(r);
}

void VxPluginValidator::CheckFactory() {
  // Indices the host never registers: each must answer -1 and null.
  VxCheckResult range{L"factory.out-of-range"};
  range.expected = L"-1 and *out null for -1, 4, 100, -2147483648, 2147483647";
  std::vector<std::wstring> wrong;
  for (const int32_t index : {-1, 4, 100, INT_MIN, INT_MAX}) {
    auto out = std::make_shared<std::pair<int32_t, void*>>(-2, &range);  // *out preset non-null
    const VxRawFactory factory = setup_.factory;
    if (!Call([=] { out->first = factory(index, &out->second); }, kCallLimitMs, range,
              L"GetLivePlugin(" + Number(index) + L")"))
      break;
    if (out->first != -1 || out->second)
      wrong.push_back(Number(index) + L": " + Number(out->first) +
                      (out->second ? L" and *out set" : L" and null"));
    if (out->first == 0 && out->second && out->second != &range)
      (void)Delete(VxRawSource{out->second}, range);
  }
  if (!wrong.empty())
    Fail(range, Join(wrong));
  else if (range.verdict == VxCheckResult::Verdict::kPass)
    range.seen = L"-1 and null for each";
  Report(range);

  // Indices 0 to 3, the ones registration tries: a source or -1 and null.
  std::set<std::wstring> names;
  for (int32_t index = 0; index < 4; ++index) {
    VxCheckResult r{L"factory.index." + Number(index)};
    r.expected = L"0 and a source, or -1 and *out null";
    auto out = std::make_shared<std::pair<int32_t, void*>>(-2, &r);
    const VxRawFactory factory = setup_.factory;
    if (!Call([=] { out->first = factory(index, &out->second); }, kCallLimitMs, r,
              L"GetLivePlugin(" + Number(index) + L")")) {
      Report(r);
      continue;
    }
    if (out->first == -1 && !out->second) {
      r.seen = L"-1 and null: no source";
    } else if (out->first != 0 || !out->second || out->second == &r) {
      Fail(r, Number(out->first) + (out->second ? L" and *out set" : L" and null"));
      if (out->first == 0 && out->second && out->second != &r)
        (void)Delete(VxRawSource{out->second}, r);
    } else {
      const VxRawSource source{out->second};
      Buffer name = FreshBuffer();
      std::wstring text;
      if (Call([=] { (void)source.GetInfo(0, name->data()); }, kCallLimitMs, r, L"GetInfo(0)") &&
          Delete(source, r)) {
        if (!TextOf(name, text) || text.empty()) {
          Fail(r, L"a source without a name");
        } else {
          r.seen = L"0: source \"" + text + L"\"";
          const KnownSource* known = Known(text);
          if (known && known->index != index)
            Fail(r, L"the host expects \"" + text + L"\" at index " + Number(known->index));
          if (!names.insert(text).second)
            Fail(r, L"a second source named \"" + text + L"\"");
          else
            sources_.push_back({index, text});
        }
      }
    }
    Report(r);
  }
}

void VxPluginValidator::CheckInfo(const Source& s) {
  VxCheckResult r{L"info." + s.name};
  const KnownSource* known = Known(s.name);
  r.expected =
      L"code 0: the name and its terminator, nothing past it; codes 1, 2: " +
      (known ? Number(known->info1) + L", " + Number(known->info2) : std::wstring(L"0 or 1")) +
      L", nothing written; code 3: " +
      (known ? (known->settings ? L"1 and a settings string" : L"-1") : L"1 and a string, or -1") +
      L"; codes 4, 99, -1, -2147483648: -1, nothing written";
  VxRawSource source;
  if (!Create(s.index, source, r)) {
    Report(r);
    return;
  }
  std::vector<std::wstring> answers;
  for (const int32_t code : {0, 1, 2, 3, 4, 99, -1, INT_MIN}) {
    Buffer b = FreshBuffer();
    auto result = std::make_shared<int32_t>(-2);
    if (!Call([=] { *result = source.GetInfo(code, b->data()); }, kCallLimitMs, r,
              L"GetInfo(" + Number(code) + L")")) {
      Report(r);
      return;  // a hung source is not deleted
    }
    const std::wstring said = L"GetInfo(" + Number(code) + L") = " + Number(*result);
    std::wstring text;
    if (code == 0) {
      const size_t end = (s.name.size() + 1) * sizeof(wchar_t);
      if (*result != 0 || !TextOf(b, text) || text != s.name || Touched(b, end))
        Fail(r, said + L", wrote \"" + text + L"\"" + (Touched(b, end) ? L" and past it" : L""));
    } else if (code == 1 || code == 2) {
      const int32_t want = known ? (code == 1 ? known->info1 : known->info2) : -2;
      if ((known ? *result != want : *result != 0 && *result != 1) || Touched(b))
        Fail(r, said + (Touched(b) ? L" and wrote into the buffer" : L""));
    } else if (code == 3) {
      const bool wrote = TextOf(b, text) && Touched(b);
      const bool ok = known ? (known->settings ? *result == 1 && wrote : *result == -1)
                            : (*result == 1 && wrote) || *result == -1;
      if (!ok || (*result == -1 && Touched(b)))
        Fail(r, said + (wrote ? L" \"" + text + L"\"" : L""));
      else if (*result == 1)
        answers.push_back(L"3: \"" + text + L"\"");
    } else if (*result != -1 || Touched(b)) {
      Fail(r, said + (Touched(b) ? L" and wrote into the buffer" : L""));
    }
  }
  (void)Delete(source, r);
  if (r.verdict == VxCheckResult::Verdict::kPass)
    r.seen = L"as expected" + (answers.empty() ? L"" : L" (" + Join(answers) + L")");
  Report(r);
}

void VxPluginValidator::CheckReservedAndConfigure(const Source& s) {
  const KnownSource* known = Known(s.name);
  VxCheckResult reserved{L"reserved." + s.name};
  reserved.expected = L"-1 for codes 0, 1, -1 with and without an argument";
  VxCheckResult configure{L"configure." + s.name};
  std::vector<int32_t> codes = {1, 7, -1, INT_MIN};
  if (known && !known->dialog)
    codes.insert(codes.begin(), 0);
  configure.expected = std::wstring(L"-1 for codes ") + (codes[0] == 0 ? L"0, " : L"") +
                       L"1, 7, -1, -2147483648" +
                       (known && known->dialog ? L" (code 0: the dialog check)" : L"");
  VxRawSource source;
  if (!Create(s.index, source, reserved)) {
    Report(reserved);
    Fail(configure, L"not reached: no source");
    Report(configure);
    return;
  }
  std::vector<std::wstring> wrong;
  for (const int32_t code : {0, 1, -1}) {
    for (const bool argument : {false, true}) {
      Buffer b = FreshBuffer();
      auto result = std::make_shared<int32_t>(-2);
      if (!Call([=] { *result = source.Reserved(code, argument ? b->data() : nullptr); },
                kCallLimitMs, reserved, L"Reserved(" + Number(code) + L")")) {
        Report(reserved);
        return;
      }
      if (*result != -1)
        wrong.push_back(L"Reserved(" + Number(code) + (argument ? L", buffer" : L", null") +
                        L") = " + Number(*result));
    }
  }
  if (!wrong.empty())
    Fail(reserved, Join(wrong));
  else
    reserved.seen = L"-1 each time";
  Report(reserved);
  wrong.clear();
  for (const int32_t code : codes) {
    auto result = std::make_shared<int32_t>(-2);
    if (!Call([=] { *result = source.Configure(code, nullptr); }, kCallLimitMs, configure,
              L"Configure(" + Number(code) + L")")) {
      Report(configure);
      return;
    }
    if (*result != -1)
      wrong.push_back(L"Configure(" + Number(code) + L") = " + Number(*result));
  }
  (void)Delete(source, configure);
  if (!wrong.empty())
    Fail(configure, Join(wrong));
  else if (configure.verdict == VxCheckResult::Verdict::kPass)
    configure.seen = L"-1 each time";
  Report(configure);
}

void VxPluginValidator::CheckCycles(const Source& s) {
  VxCheckResult r{L"cycles." + s.name};
  r.expected = L"5 sources at once, then 20 created and deleted in a row, never opened";
  std::vector<VxRawSource> held;
  for (int i = 0; i < 5 && r.verdict == VxCheckResult::Verdict::kPass; ++i) {
    VxRawSource source;
    if (Create(s.index, source, r))
      held.push_back(source);
  }
  for (const VxRawSource& source : held)
    if (!thread_->Stuck() && r.verdict == VxCheckResult::Verdict::kPass)
      (void)Delete(source, r);
  for (int i = 0; i < 20 && r.verdict == VxCheckResult::Verdict::kPass; ++i) {
    VxRawSource source;
    if (Create(s.index, source, r))
      (void)Delete(source, r);
  }
  if (r.verdict == VxCheckResult::Verdict::kPass)
    r.seen = L"25 created and deleted";
  Report(r);
}

void VxPluginValidator::CheckOpenRefusal(const Source& s,
                                         const wchar_t* kind,
                                         const wchar_t* parameters) {
  VxCheckResult r{L"open." + std::wstring(kind) + L"." + s.name};
  const KnownSource* known = Known(s.name);
  const bool mustRefuse = known && known->refusesNothing;
  r.expected = std::wstring(L"Open(") + (*parameters ? L"malformed" : L"\"\"") + L") " +
               (mustRefuse ? L"-1 with no block" : L"0 or -1 (-1 with no block)") +
               L", then the delete returns";
  VxRawSource source;
  if (!Create(s.index, source, r)) {
    Report(r);
    return;
  }
  sinks_.push_back(std::make_unique<VxRawSink>());
  VxRawSink* sink = sinks_.back().get();
  const std::wstring text = parameters;
  auto result = std::make_shared<int32_t>(-2);
  if (!Call([=] { *result = source.Open(text.c_str(), sink); }, kOpenLimitMs, r, L"Open")) {
    Report(r);
    return;
  }
  r.seen = L"Open = " + Number(*result);
  if (*result != -1 && (*result != 0 || mustRefuse))
    Fail(r, L"not the answer expected");
  if (*result == -1 && sink->writes)
    Fail(r, Number(sink->writes) + L" block(s) after all");
  if (Delete(source, r))
    sink->deleted = true;
  Report(r);
}

void VxPluginValidator::CheckStream(const Source& s) {
  VxCheckResult cycles{L"open-cycles." + s.name};
  cycles.expected = Number(kOpenCycles) + L" times: Open 0, a first block, the delete returns";
  VxCheckResult stream{L"stream." + s.name};
  stream.expected = L"Open 0, SetFormat with a consistent format, then " +
                    Number(static_cast<long long>(kStreamSeconds)) + L" s of audio within " +
                    Number(kStreamLimitMs / 1000) + L" s in whole frames from one thread";
  VxCheckResult deleting{L"delete-streaming." + s.name};
  deleting.expected = L"the delete of a streaming source returns within " + Number(kDeleteLimitMs) +
                      L" ms and the sink hears nothing after it";
  // One run: a device, a source, Open, the wait for `seconds` of audio (or a
  // first block), the delete. The device goes after the delete.
  auto run = [&](double seconds, VxCheckResult& r, VxCheckResult& del) -> VxRawSink* {
    VxStreamDevice device;
    std::wstring why;
    if (!setup_.streamDevice || !setup_.streamDevice(s.name, device, why)) {
      r.verdict = del.verdict = VxCheckResult::Verdict::kSkip;
      r.seen = del.seen = L"no device: " + why;
      return nullptr;
    }
    VxRawSource source;
    if (!Create(s.index, source, r))
      return nullptr;
    sinks_.push_back(std::make_unique<VxRawSink>());
    VxRawSink* sink = sinks_.back().get();
    sink->targetSeconds = seconds;
    const std::wstring parameters = device.parameters;
    auto result = std::make_shared<int32_t>(-2);
    if (!Call([=] { *result = source.Open(parameters.c_str(), sink); }, kOpenLimitMs, r,
              L"Open(\"" + parameters + L"\")")) {
      (void)device.opener.release();  // the hung source may still use the device
      return nullptr;
    }
    if (*result != 0) {
      Fail(r, L"Open(\"" + parameters + L"\") = " + Number(*result));
      (void)Delete(source, r);
      return nullptr;
    }
    const ULONGLONG start = ::GetTickCount64();
    const bool reached =
        ::WaitForSingleObject(sink->reached.get(), kStreamLimitMs) == WAIT_OBJECT_0;
    r.ms += static_cast<double>(::GetTickCount64() - start);
    if (!reached)
      Fail(r, sink->formats ? Number(static_cast<long long>(sink->bytes)) +
                                  L" bytes arrived, less than asked for"
                            : L"no SetFormat within " + Number(kStreamLimitMs) + L" ms");
    if (Delete(source, del))
      sink->deleted = true;
    else
      (void)device.opener.release();
    return sink;
  };

  for (int i = 0; i < kOpenCycles && cycles.verdict == VxCheckResult::Verdict::kPass; ++i)
    (void)run(0.001, cycles, cycles);
  if (cycles.verdict == VxCheckResult::Verdict::kPass)
    cycles.seen = Number(kOpenCycles) + L" opened, streamed and deleted";
  Report(cycles);

  VxRawSink* sink = run(kStreamSeconds, stream, deleting);
  if (!sink && deleting.verdict == VxCheckResult::Verdict::kPass) {
    deleting.verdict = VxCheckResult::Verdict::kSkip;
    deleting.seen = L"not reached: the stream did not open";
  }
  if (sink) {
    VxAudioFormat f;
    {
      std::lock_guard<std::mutex> hold(sink->lock);
      f = sink->format;
    }
    wchar_t said[256];
    std::swprintf(said, 256, L"%u Hz, %u ch, %u-bit %ls; %.2f s of audio in %d block(s)",
                  f.sampleRate, f.channels, f.bitsPerSample, f.IsFloat() ? L"float" : L"integer",
                  f.bytesPerSecond ? static_cast<double>(sink->bytes) / f.bytesPerSecond : 0.0,
                  sink->writes.load());
    if (sink->formats)
      stream.seen = stream.seen.empty() ? said : std::wstring(said) + L"; " + stream.seen;
    if (sink->formats && (f.channels == 0 || f.sampleRate == 0 || f.bitsPerSample == 0 ||
                          f.blockAlign != f.channels * (f.bitsPerSample / 8) ||
                          f.bytesPerSecond != f.sampleRate * f.blockAlign))
      Fail(stream, L"the format's fields disagree");
    if (sink->writesBeforeFormat)
      Fail(stream, Number(sink->writesBeforeFormat) + L" block(s) before a format");
    if (sink->partialFrames)
      Fail(stream, Number(sink->partialFrames) + L" block(s) not in whole frames");
    if (sink->writeThreads > 1)
      Fail(stream, L"blocks from more than one thread");
    if (sink->overlaps)
      Fail(stream, L"sink calls overlapped");
    if (deleting.verdict == VxCheckResult::Verdict::kPass) {
      deleting.seen = L"returned";
      if (sink->callsAfterDelete)
        Fail(deleting, Number(sink->callsAfterDelete) + L" sink call(s) after it");
    }
  }
  Report(stream);
  Report(deleting);
}
