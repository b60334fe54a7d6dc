#include "sources/ipc/VxIpcPacket.h"

#include <string>

bool VxIpcPacket::Serialise(VxByteBuffer& out) const {
  out.Free();
  VxString xml;
  ToXml(xml, VxString(u"VXIPC"), false, 1.0);
  const std::string bytes = xml.ToUtf8PerUnit();
  // std::string's c_str() keeps a zero behind the text: copy it too.
  if (!out.Assign(bytes.c_str(), bytes.size() + 1)) {
    out.Free();
    return false;
  }
  return true;
}
