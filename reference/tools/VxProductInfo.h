// The product-information service of the reference tools library.
//
// Load succeeds unless VXTOOLS_PRODUCT_FAIL is on or VXTOOLS_PRODUCT_ERROR is
// not empty; a failed load puts VXTOOLS_PRODUCT_ERROR (possibly empty) into the
// caller's error text. Every load is logged (category 1, source "VxTools").
// The service counts as existing (IVxTools slot 9 with false) only after a
// successful load, so a module whose load failed is refused again next time.
#pragma once

#include <atomic>
#include <mutex>

#include "live_Main/host/IVxTools.h"

class VxFileLog;
class VxToolsOptions;

class VxProductInfo final : public IVxProductInfo {
 public:
  VxProductInfo(const VxToolsOptions& options, VxFileLog& log);

  const char16_t* GetProductName() override;
  bool Load(const char16_t* productName, IVxDllString* error) override;

  bool IsLoaded() const { return loaded_; }

 private:
  const VxToolsOptions& options_;
  VxFileLog& log_;
  std::mutex mutex_;
  VxString productName_;
  std::atomic<bool> loaded_{false};
};
