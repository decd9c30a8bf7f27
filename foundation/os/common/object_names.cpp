#include "foundation/os/common/object_names.h"

namespace velmora::os::internal {

std::string EscapeObjectName(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '-' || (c == '.' && !out.empty());
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::uint32_t HashObjectName(const std::string& text) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : text) hash = (hash * 16777619u) ^ c;
  return hash;
}

}  // namespace velmora::os::internal
