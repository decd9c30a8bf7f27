#include <dlfcn.h>

#include "orvwebkit/hostkit/standalone_host.h"

namespace velmora::orvwebkit::hostkit {

std::filesystem::path LibraryFileName() {
  std::error_code error;
  const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path("libOrvWebKit.so") : program.parent_path() / "libOrvWebKit.so";
}

bool LibraryLoader::Load(const std::filesystem::path& path) {
  Unload();
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* error = ::dlerror();
    error_ = error ? error : "dlopen failed";
    return false;
  }
  // Ordinals are a Windows notion; elsewhere the name is the only way in.
  by_name_ = reinterpret_cast<CreateOrvWebKitInstanceFunction>(
      ::dlsym(handle_, "CreateOrvWebKitInstance"));
  by_ordinal_ = by_name_;
  if (!by_name_) {
    error_ = "no CreateOrvWebKitInstance export";
    Unload();
    return false;
  }
  return true;
}

void LibraryLoader::Unload() {
  if (handle_) ::dlclose(handle_);
  handle_ = nullptr;
  by_name_ = by_ordinal_ = nullptr;
}

}  // namespace velmora::orvwebkit::hostkit
