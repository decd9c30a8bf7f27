#include "foundation/os/dynamic_library.h"

#include "foundation/os/win32/win_util.h"

namespace velmora::os {
namespace {
thread_local std::string g_last_error;
}

LibraryHandle LoadDynamicLibrary(const std::filesystem::path& name_or_path) {
  HMODULE module = LoadLibraryW(name_or_path.c_str());
  if (!module) g_last_error = win::SystemErrorText(GetLastError());
  return module;
}

void* GetLibrarySymbol(LibraryHandle library, const char* name) {
  if (!library) return nullptr;
  FARPROC proc = GetProcAddress(static_cast<HMODULE>(library), name);
  if (!proc) g_last_error = win::SystemErrorText(GetLastError());
  return reinterpret_cast<void*>(proc);
}

void* GetLibrarySymbolByOrdinal(LibraryHandle library, unsigned ordinal, const char*) {
  if (!library) return nullptr;
  FARPROC proc = GetProcAddress(static_cast<HMODULE>(library),
                                reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal)));
  if (!proc) g_last_error = win::SystemErrorText(GetLastError());
  return reinterpret_cast<void*>(proc);
}

void FreeDynamicLibrary(LibraryHandle library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

std::filesystem::path SharedLibraryFileName(const std::string& base_name) {
  return base_name + ".dll";
}

std::string GetLastLibraryError() { return g_last_error; }

}  // namespace velmora::os
