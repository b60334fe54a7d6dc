#include "reference/host/VxLogCapture.h"

#include <cwchar>

namespace {

constexpr int32_t kLiveSourceCategory = 64;

}  // namespace

VxLogCapture::VxLogCapture(const VxHostPlugin& host) : setListener_(host.SetLogListener()) {
  if (setListener_)
    setListener_(OnEntry, this);
}

std::vector<std::wstring> VxLogCapture::Stop() {
  if (setListener_) {
    // Returns once no call of OnEntry runs any more.
    setListener_(nullptr, nullptr);
    setListener_ = nullptr;
  }
  std::lock_guard<std::mutex> hold(lock_);
  return lines_;
}

void VxLogCapture::OnEntry(void* self,
                           int32_t category,
                           const wchar_t* source,
                           const wchar_t* message) {
  if (category != kLiveSourceCategory || !message || std::wcscmp(message, L"Start") == 0 ||
      std::wcsncmp(message, L"Finish (", 8) == 0)
    return;
  auto* capture = static_cast<VxLogCapture*>(self);
  std::lock_guard<std::mutex> hold(capture->lock_);
  capture->lines_.push_back(std::wstring(source ? source : L"") + L": " + message);
}
