#include "foundation/os/environment.h"

#include <cstdlib>

namespace velmora::os {

std::optional<std::string> GetEnvironmentValue(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

void SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value) {
  if (value)
    ::setenv(name.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name.c_str());
}

}  // namespace velmora::os
