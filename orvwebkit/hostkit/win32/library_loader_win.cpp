#include <windows.h>

#include "orvwebkit/hostkit/standalone_host.h"

namespace velmora::orvwebkit::hostkit {

std::filesystem::path LibraryFileName() {
  wchar_t program[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "OrvWebKit.dll";
  return std::filesystem::path(program).parent_path() / "OrvWebKit.dll";
}

bool LibraryLoader::Load(const std::filesystem::path& path) {
  Unload();
  HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    error_ = "LoadLibraryExW failed with error " + std::to_string(::GetLastError());
    return false;
  }
  handle_ = module;
  by_ordinal_ = reinterpret_cast<CreateOrvWebKitInstanceFunction>(reinterpret_cast<void*>(
      ::GetProcAddress(module, MAKEINTRESOURCEA(kCreateOrvWebKitInstanceOrdinal))));
  by_name_ = reinterpret_cast<CreateOrvWebKitInstanceFunction>(
      reinterpret_cast<void*>(::GetProcAddress(module, "CreateOrvWebKitInstance")));
  if (!by_ordinal_ || !by_name_) {
    error_ = "the factory is not exported by ordinal 1 and by name";
    Unload();
    return false;
  }
  return true;
}

void LibraryLoader::Unload() {
  if (handle_) ::FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
  by_name_ = by_ordinal_ = nullptr;
}

}  // namespace velmora::orvwebkit::hostkit
