// VxIpcPacket: the reply that the IPC source sends back to its producer.
//
// A VxPropertyMap that adds neither fields nor virtual operations, so its table
// is the property map's, slot for slot. On the wire a packet is its XML form
// (root "VXIPC", version 1.0, written even when the map is empty), each UTF-16
// code unit encoded on its own as UTF-8, followed by one zero byte. The zero
// byte ends the reply; there is no length prefix. The reply carrying
// "Result" = 1 is exactly kVxIpcResultReplySize bytes.
//
// Portable; not locked.
#pragma once

#include <cstddef>

#include "foundation/VxByteBuffer.h"
#include "foundation/VxPropertyMap.h"

inline constexpr size_t kVxIpcResultReplySize = 62;

class VxIpcPacket : public VxPropertyMap {
 public:
  // Empties `out`, then stores the packet's bytes and the terminating zero.
  // False only when the buffer cannot be allocated (`out` is then empty).
  [[nodiscard]] bool Serialise(VxByteBuffer& out) const;
};

static_assert(sizeof(VxIpcPacket) == sizeof(VxPropertyMap));
