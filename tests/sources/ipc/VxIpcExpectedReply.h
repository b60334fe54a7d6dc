// The exact bytes of the IPC source's two replies, spelled out independently of
// the code that writes them: "Result" 1 or 0, CR LF line ends, and the
// terminating zero byte (62 bytes each). Portable.
#pragma once

#include <string>

namespace vxtest {

inline std::string ResultReply(char digit) {
  std::string text = "<VXIPC version=\"1.0\">\r\n<Item Name=\"Result\">";
  text += digit;
  text += "</Item>\r\n</VXIPC>";
  text.push_back('\0');
  return text;
}

}  // namespace vxtest
