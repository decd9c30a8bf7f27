// How names of machine-wide objects and registry stores become file names.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::os::internal {

// Escapes every byte outside [A-Za-z0-9._-] as %XX, so that different names
// never map to the same file and no name can reach outside its folder.
std::string EscapeObjectName(const std::string& name);

// FNV-1 hash of a text, for test-only name spaces.
std::uint32_t HashObjectName(const std::string& text);

}  // namespace velmora::os::internal
