// Process environment variables (UTF-8).
#pragma once

#include <optional>
#include <string>

namespace velmora::os {

std::optional<std::string> GetEnvironmentValue(const std::string& name);
// Sets, or with an empty optional removes, a variable of this process.
void SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value);

}  // namespace velmora::os
