#include "foundation/os/dynamic_library.h"

#include <dlfcn.h>

#include "foundation/os/files.h"
#include "foundation/os/process.h"

namespace velmora::os {
namespace {
thread_local std::string g_last_error;
}

LibraryHandle LoadDynamicLibrary(const std::filesystem::path& name_or_path) {
  std::filesystem::path path = name_or_path;
  // Like the Windows search order: a bare name is found beside the program first.
  if (!name_or_path.has_parent_path()) {
    const auto beside = GetExecutablePath().parent_path() / name_or_path;
    if (IsRegularFile(beside)) path = beside;
  }
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = ::dlerror();
    g_last_error = error ? error : "unknown loader error";
  }
  return handle;
}

void* GetLibrarySymbol(LibraryHandle library, const char* name) {
  if (!library) return nullptr;
  void* symbol = ::dlsym(library, name);
  if (!symbol) {
    const char* error = ::dlerror();
    g_last_error = error ? error : "symbol not found";
  }
  return symbol;
}

void* GetLibrarySymbolByOrdinal(LibraryHandle library, unsigned, const char* fallback_name) {
  return GetLibrarySymbol(library, fallback_name);
}

void FreeDynamicLibrary(LibraryHandle library) {
  if (library) ::dlclose(library);
}

std::filesystem::path SharedLibraryFileName(const std::string& base_name) {
  return "lib" + base_name + ".so";
}

std::string GetLastLibraryError() { return g_last_error; }

}  // namespace velmora::os
