#include "foundation/os/environment.h"

#include "foundation/os/win32/win_util.h"

namespace velmora::os {

std::optional<std::string> GetEnvironmentValue(const std::string& name) {
  const std::wstring wide_name = win::Wide(name);
  const DWORD needed = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (needed == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::wstring buffer(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), buffer.data(), needed);
  buffer.resize(length);
  return win::Utf8(buffer.c_str());
}

void SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value) {
  SetEnvironmentVariableW(win::Wide(name).c_str(), value ? win::Wide(*value).c_str() : nullptr);
}

}  // namespace velmora::os
