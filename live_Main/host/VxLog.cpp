#include "live_Main/host/VxLog.h"

#include "live_Main/host/VxHostLibraries.h"

void VxLog(int32_t category,
           const char16_t* source,
           const char16_t* format,
           std::initializer_list<VxArgValue> args) {
  IVxTools* tools = VxGetTools();
  if (!tools)
    return;
  IVxLog* log = tools->GetLog(false);
  if (!log)
    return;
  VxArgList list(args);
  log->WriteW(category, source, format, list.List(), list.Capacity());
}

VxLogScope::VxLogScope(int32_t category, const char16_t* source)
    : category_(category), source_(source), start_(std::chrono::steady_clock::now()) {
  VxLog(category_, source_, u"Start");
}

VxLogScope::~VxLogScope() {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start_)
                           .count();
  if (result_ == kNoResult)
    VxLog(category_, source_, u"Finish (%d ms)", {static_cast<long long>(elapsed)});
  else
    VxLog(category_, source_, u"Finish (result: %d) (%d ms)",
          {result_, static_cast<long long>(elapsed)});
}

VxString VxTranslate(const VxString& text) {
  IVxTools* tools = VxGetTools();
  if (!tools)
    return text;
  IVxTranslator* translator = tools->GetTranslator(true);
  if (!translator)
    return text;
  VxDllString adapter(text);
  translator->Translate(&adapter);
  return adapter.Text();
}
