// The validator's checks of a source that runs a sound card: two sources of
// one device, and a delete while the driver's switch is held inside the host.
// Real drivers serve one client per device, or let a second client's calls
// reach the first one's stream; and a switch that the host holds must not
// keep the delete waiting or reach the host once the delete has returned.
#include <string>

#include "reference/host/VxPluginValidator.h"

namespace {

constexpr DWORD kFirstBlockLimitMs = 8000;
// How long a source that is left alone must go on delivering audio.
constexpr DWORD kGoesOnLimitMs = 4000;
// The host holds one switch this long; the delete must still return in time.
constexpr DWORD kHoldMs = 3000;

// Waits until the sink holds `seconds` more audio than it does now.
bool GoesOn(VxRawSink& sink, double seconds) {
  uint32_t bytesPerSecond = 0;
  {
    std::lock_guard<std::mutex> hold(sink.lock);
    bytesPerSecond = sink.format.bytesPerSecond;
  }
  if (!bytesPerSecond)
    return false;
  const uint64_t target = sink.bytes + static_cast<uint64_t>(bytesPerSecond * seconds);
  sink.targetBytes = target;
  ::ResetEvent(sink.reached.get());
  return sink.bytes >= target ||
         ::WaitForSingleObject(sink.reached.get(), kGoesOnLimitMs) == WAIT_OBJECT_0;
}

// The same device from its next channels on, where the parameters say where
// the channels begin.
std::wstring NextChannels(std::wstring parameters) {
  const std::wstring key = L"channelshift=0";
  const size_t at = parameters.find(key);
  if (at != std::wstring::npos)
    parameters.replace(at, key.size(), L"channelshift=2");
  return parameters;
}

}  // namespace

bool VxPluginValidator::DeviceFor(const Source& s, VxStreamDevice& device, VxCheckResult& r) {
  std::wstring why;
  if (setup_.streamDevice && setup_.streamDevice(s.name, device, why))
    return true;
  r.verdict = VxCheckResult::Verdict::kSkip;
  r.seen = L"no device: " + why;
  return false;
}

bool VxPluginValidator::OpenStreaming(const Source& s,
                                      const std::wstring& parameters,
                                      VxRawSource& source,
                                      VxRawSink*& sink,
                                      int32_t& result,
                                      VxCheckResult& r) {
  sink = nullptr;
  result = -2;
  if (!Create(s.index, source, r))
    return false;
  sinks_.push_back(std::make_unique<VxRawSink>());
  VxRawSink* target = sinks_.back().get();
  target->targetSeconds = 0.001;
  auto answer = std::make_shared<int32_t>(-2);
  if (!Call([=] { *answer = source.Open(parameters.c_str(), target); }, kFirstBlockLimitMs, r,
            L"Open(\"" + parameters + L"\")"))
    return false;
  sink = target;
  result = *answer;
  if (result != 0)
    return true;
  if (::WaitForSingleObject(target->reached.get(), kFirstBlockLimitMs) != WAIT_OBJECT_0)
    Fail(r, L"no first block within " + Number(kFirstBlockLimitMs) + L" ms of Open(\"" +
                parameters + L"\")");
  return true;
}

void VxPluginValidator::CheckSharedDevice(const Source& s) {
  VxCheckResult r{L"one-device-twice." + s.name};
  r.expected =
      L"a second source of the device streams too or refuses with -1; the first streams on "
      L"meanwhile and after the second's delete";
  VxStreamDevice device;
  if (!DeviceFor(s, device, r)) {
    Report(r);
    return;
  }
  VxRawSource first, second;
  VxRawSink *firstSink = nullptr, *secondSink = nullptr;
  int32_t firstResult = -2, secondResult = -2;
  if (!OpenStreaming(s, device.parameters, first, firstSink, firstResult, r) || firstResult != 0) {
    if (firstSink)
      Fail(r, L"the first Open answered " + Number(firstResult));
    if (first.object && firstSink)
      (void)Delete(first, r);
    (void)device.opener.release();  // a source that may still run keeps its device
    Report(r);
    return;
  }
  const std::wstring secondParameters = NextChannels(device.parameters);
  const bool secondReturned =
      OpenStreaming(s, secondParameters, second, secondSink, secondResult, r);
  if (secondReturned && secondResult == 0)
    r.seen = L"both streamed";
  else if (secondReturned && secondResult == -1)
    r.seen = L"the second refused";
  else if (secondReturned)
    Fail(r, L"the second Open answered " + Number(secondResult));
  if (!GoesOn(*firstSink, 0.5))
    Fail(r, L"the first source stopped delivering while the second was there");
  if (secondReturned && Delete(second, r))
    secondSink->deleted = true;
  if (r.verdict == VxCheckResult::Verdict::kPass && !GoesOn(*firstSink, 0.5))
    Fail(r, L"the first source stopped delivering after the second's delete");
  if (Delete(first, r))
    firstSink->deleted = true;
  else
    (void)device.opener.release();
  Report(r);
}

void VxPluginValidator::CheckDeleteWhileHeld(const Source& s) {
  VxCheckResult r{L"delete-held-switch." + s.name};
  r.expected = L"with one block held " + Number(kHoldMs / 1000) + L" s by the host, the delete " +
               L"returns within " + Number(kDeleteLimitMs) + L" ms and no sink call follows it";
  VxStreamDevice device;
  if (!DeviceFor(s, device, r)) {
    Report(r);
    return;
  }
  VxRawSource source;
  VxRawSink* sink = nullptr;
  int32_t result = -2;
  if (!OpenStreaming(s, device.parameters, source, sink, result, r) || result != 0) {
    if (sink)
      Fail(r, L"Open answered " + Number(result));
    if (source.object && sink)
      (void)Delete(source, r);
    (void)device.opener.release();
    Report(r);
    return;
  }
  sink->holdNextWriteMs = kHoldMs;
  if (::WaitForSingleObject(sink->holding.get(), kFirstBlockLimitMs) != WAIT_OBJECT_0) {
    Fail(r, L"no block arrived to hold");
  } else {
    const double before = r.ms;
    if (Delete(source, r)) {
      sink->deleted = true;
      r.seen = L"returned after " + Number(static_cast<long long>(r.ms - before)) + L" ms";
    } else {
      (void)device.opener.release();
    }
    // The held block returns to the source; nothing may follow it.
    ::Sleep(kHoldMs + 500);
    if (sink->callsAfterDelete)
      Fail(r, Number(sink->callsAfterDelete) + L" sink call(s) after the delete");
  }
  Report(r);
}
