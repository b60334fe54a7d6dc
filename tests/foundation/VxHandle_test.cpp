#include "foundation/VxHandle.h"

#include <gtest/gtest.h>

namespace {

// A COM object that counts its references and, like many real ones, touches
// the thread's last error while it releases. COM objects are never deleted
// through IUnknown, whose destructor is not virtual.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CountedUnknown final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return --refs;
  }
  ULONG refs = 1;
};
#pragma GCC diagnostic pop

}  // namespace

// Foundation routines report failure as false plus the last error and close
// their handles on the way out: closing must not change that error, whether
// the close itself succeeds, fails, or sets an error of its own.
TEST(VxHandleHolders, ClosingKeepsTheLastError) {
  constexpr DWORD kError = 0x1234;
  {
    VxHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    ::SetLastError(kError);
    event.reset();
    EXPECT_EQ(::GetLastError(), kError) << "successful close";
  }
  {
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(raw);
    ASSERT_TRUE(::CloseHandle(raw));
    VxHandle stale(raw);
    ::SetLastError(kError);
    stale.reset();  // CloseHandle fails with ERROR_INVALID_HANDLE
    EXPECT_EQ(::GetLastError(), kError) << "failed close";
  }
  CountedUnknown object;
  {
    VxComPtr<IUnknown> com(&object);
    ::SetLastError(kError);
  }
  EXPECT_EQ(::GetLastError(), kError) << "COM release that sets an error";
  EXPECT_EQ(object.refs, 0u);
}

// Copies and borrowed pointers hold references of their own; moves do not add one.
TEST(VxComPtr, CopiesAndBorrowsCountTheirOwnReferences) {
  CountedUnknown object;
  {
    VxComPtr<IUnknown> owner(&object);  // adopts the creation reference
    VxComPtr<IUnknown> borrowed = VxComPtr<IUnknown>::Borrow(&object);
    EXPECT_EQ(object.refs, 2u);
    VxComPtr<IUnknown> copy(owner);
    EXPECT_EQ(object.refs, 3u);
    copy = borrowed;  // releases its old reference, takes a new one
    EXPECT_EQ(object.refs, 3u);
    VxComPtr<IUnknown> moved(std::move(copy));
    EXPECT_EQ(object.refs, 3u);
    EXPECT_FALSE(copy);
    EXPECT_EQ(VxComPtr<IUnknown>::Borrow(nullptr).get(), nullptr);
  }
  EXPECT_EQ(object.refs, 0u);
}
