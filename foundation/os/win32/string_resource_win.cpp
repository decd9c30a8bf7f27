#include "foundation/os/string_resource.h"

#include "foundation/os/win32/win_util.h"

namespace velmora::os {

bool LoadStringResource(const void* address, std::uint32_t id, std::u16string* text,
                        int max_units) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(address), &module))
    return false;
  std::wstring buffer(static_cast<std::size_t>(max_units > 0 ? max_units : 1), L'\0');
  const int length = LoadStringW(module, id, buffer.data(), max_units);
  if (length <= 0) return false;
  buffer.resize(static_cast<std::size_t>(length));
  *text = win::U16(buffer.c_str());
  return true;
}

}  // namespace velmora::os
