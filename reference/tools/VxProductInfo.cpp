#include "reference/tools/VxProductInfo.h"

#include "reference/tools/VxFileLog.h"
#include "reference/tools/VxToolsOptions.h"

namespace {
constexpr char16_t kDefaultProductName[] = u"VxTools Reference";
}

VxProductInfo::VxProductInfo(const VxToolsOptions& options, VxFileLog& log)
    : options_(options), log_(log), productName_(kDefaultProductName) {}

const char16_t* VxProductInfo::GetProductName() {
  std::lock_guard<std::mutex> lock(mutex_);
  return productName_.c_str();
}

bool VxProductInfo::Load(const char16_t* productName, IVxDllString* error) {
  const VxString name = VxString::From(productName);
  const VxString errorText = options_.Get(kVxOptProductError);
  if (options_.GetFlag(kVxOptProductFail) || !errorText.empty()) {
    log_.Write(
        1, u"VxTools",
        VxFormat(u"LoadProductInfo failed (product: \"%s\", error: \"%s\")", {name, errorText}));
    if (error)
      error->SetText(errorText.c_str(), errorText.Length());
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!name.empty())
      productName_ = name;
  }
  loaded_ = true;
  log_.Write(1, u"VxTools", VxFormat(u"LoadProductInfo (product: \"%s\")", {name}));
  return true;
}
