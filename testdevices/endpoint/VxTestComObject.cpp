#include "testdevices/endpoint/VxTestComObject.h"

#include <map>
#include <mutex>
#include <string>

#include "testdevices/endpoint/VxTestEndpointRecord.h"

namespace {

struct LiveObject {
  const char* kind;
  const std::atomic<ULONG>* refs;
};

std::mutex& TrackerMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<uint32_t, LiveObject>& LiveObjects() {
  static std::map<uint32_t, LiveObject> objects;
  return objects;
}
uint32_t g_nextId = 1;

}  // namespace

uint32_t VxTestObjectTracker::Add(const char* kind, const std::atomic<ULONG>* refs) noexcept {
  uint32_t id = 0;
  {
    std::lock_guard<std::mutex> lock(TrackerMutex());
    id = g_nextId++;
    LiveObjects()[id] = {kind, refs};
  }
  VxTestEndpointRecord::Instance().Write("create", VxRecordFields("kind=%s\tid=%u", kind, id));
  return id;
}

void VxTestObjectTracker::Remove(uint32_t id) noexcept {
  const char* kind = "?";
  {
    std::lock_guard<std::mutex> lock(TrackerMutex());
    auto it = LiveObjects().find(id);
    if (it != LiveObjects().end()) {
      kind = it->second.kind;
      LiveObjects().erase(it);
    }
  }
  VxTestEndpointRecord::Instance().Write("destroy", VxRecordFields("kind=%s\tid=%u", kind, id));
}

uint32_t VxTestObjectTracker::WriteLive() noexcept {
  uint32_t count = 0;
  std::lock_guard<std::mutex> lock(TrackerMutex());
  for (const auto& [id, object] : LiveObjects()) {
    VxTestEndpointRecord::Instance().Write(
        "live", VxRecordFields("kind=%s\tid=%u\trefs=%lu", object.kind, id, object.refs->load()));
    ++count;
  }
  VxTestEndpointRecord::Instance().Write("live-total", VxRecordFields("count=%u", count));
  return count;
}

uint32_t VxTestObjectTracker::LiveCount() noexcept {
  std::lock_guard<std::mutex> lock(TrackerMutex());
  return static_cast<uint32_t>(LiveObjects().size());
}
