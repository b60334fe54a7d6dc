// The slot of every operation the module calls on a host table, or the host
// calls on a module table, stated here by number rather than taken from the
// shared headers: the reference tools library is built from those headers, so
// a reordered declaration would change both sides alike and go unnoticed
// everywhere else. The real host's tables do not move.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "foundation/VxFormat.h"
#include "foundation/runtime/VxThread.h"
#include "live_Main/boundary/IVxAudioLive.h"
#include "live_Main/boundary/IVxAudioLiveSink.h"
#include "live_Main/host/IVxTools.h"

namespace {

constexpr size_t kNotVirtual = SIZE_MAX;

// The table slot of a virtual member function. With this compiler's C++ ABI a
// pointer to a virtual member holds 1 plus the byte offset of its table entry.
template <typename Member>
size_t SlotOf(Member member) {
  static_assert(sizeof(Member) == 2 * sizeof(uintptr_t));
  uintptr_t raw[2];
  std::memcpy(raw, &member, sizeof raw);
  return (raw[0] & 1) ? (raw[0] - 1) / sizeof(void*) : kNotVirtual;
}

struct Slot {
  const char* operation;
  size_t actual;
  size_t expected;
};

#define VX_SLOT(member, slot) \
  { #member, SlotOf(&member), slot }

TEST(BoundarySlots, EveryOperationCalledAcrossTheBoundaryKeepsItsSlot) {
  const Slot slots[] = {
      VX_SLOT(IVxTools::Initialize, 0),
      VX_SLOT(IVxTools::Uninitialize, 1),
      VX_SLOT(IVxTools::ModuleUnloading, 3),
      VX_SLOT(IVxTools::ProductInfoLoaded, 4),
      VX_SLOT(IVxTools::GetTextService, 5),
      VX_SLOT(IVxTools::GetTranslator, 7),
      VX_SLOT(IVxTools::GetProductInfo, 9),
      VX_SLOT(IVxTools::GetLog, 10),
      VX_SLOT(IVxTools::GetMessageBoxes, 11),
      VX_SLOT(IVxTools::GetMainThreadMessageManager, 15),
      VX_SLOT(IVxTools::GetUiServices, 19),
      VX_SLOT(IVxTools::OpenSettingsKey, 25),
      VX_SLOT(IVxTools::BeforeInstallPathLogged, 35),
      VX_SLOT(IVxTools::AdoptPopupWindow, 43),
      VX_SLOT(IVxTextService::Format, 0),
      VX_SLOT(IVxTranslator::Translate, 1),
      VX_SLOT(IVxProductInfo::Load, 1),
      VX_SLOT(IVxLog::WriteW, 1),
      VX_SLOT(IVxLog::WriteA, 2),
      VX_SLOT(IVxMessageBoxes::Show, 1),
      VX_SLOT(IVxMessageBoxes::Prepare, 13),
      VX_SLOT(IVxMainThreadMessageManager::ForgetThread, 1),
      VX_SLOT(IVxMainThreadMessageManager::Post, 2),
      VX_SLOT(IVxMainThreadMessageManager::DropMessages, 3),
      VX_SLOT(IVxUiServices::GetMessagePump, 0),
      VX_SLOT(IVxUiServices::GetDisplayMetrics, 4),
      VX_SLOT(IVxMessagePump::PumpNext, 1),
      VX_SLOT(IVxMessagePump::Dispatch, 3),
      VX_SLOT(IVxImageApp::Initialize, 0),
      VX_SLOT(IVxImageApp::Uninitialize, 1),
      VX_SLOT(IVxSettingsKey::DeletingDestructor, 0),
      VX_SLOT(IVxSettingsKey::ReadBinary, 1),
      VX_SLOT(IVxSettingsKey::ReadInt, 2),
      VX_SLOT(IVxSettingsKey::ReadString, 3),
      VX_SLOT(IVxSettingsKey::WriteBinary, 4),
      VX_SLOT(IVxSettingsKey::WriteInt, 5),
      VX_SLOT(IVxSettingsKey::WriteString, 6),
      VX_SLOT(IVxSettingsKey::DeleteValue, 9),
      VX_SLOT(IVxSettingsKey::GetZoneValueName, 15),
      VX_SLOT(IVxDllBuffer::SetSize, 0),
      VX_SLOT(IVxDllBuffer::GetData, 1),
      VX_SLOT(IVxDllBuffer::GetSize, 2),
      VX_SLOT(IVxDllString::GetText, 0),
      VX_SLOT(IVxDllString::SetText, 1),
      VX_SLOT(IVxDllString::Clear, 2),
      VX_SLOT(IVxDllString::Reserve, 3),
      // Tables of the module that the host calls.
      VX_SLOT(IVxAudioLive::DeletingDestructor, 0),
      VX_SLOT(IVxAudioLive::Open, 1),
      VX_SLOT(IVxAudioLive::GetInfo, 2),
      VX_SLOT(IVxAudioLive::Reserved, 3),
      VX_SLOT(IVxAudioLive::Configure, 4),
      VX_SLOT(IVxAudioLiveSink::SetFormat, 0),
      VX_SLOT(IVxAudioLiveSink::Write, 1),
      VX_SLOT(IVxAudioLiveSink::SourceEnded, 2),
      VX_SLOT(IMainThreadMessageManagerCallback::OnMainThreadMessage, 0),
      // The worker thread object is handed to the host as its callback.
      VX_SLOT(VxThread::OnMainThreadMessage, 0),
  };
  for (const Slot& s : slots)
    EXPECT_EQ(s.actual, s.expected) << s.operation;
}

}  // namespace
