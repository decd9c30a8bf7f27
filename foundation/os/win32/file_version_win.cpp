#include "foundation/os/file_version.h"

#include <windows.h>

#include <mutex>
#include <vector>

namespace velmora::os {
namespace {

// version.dll is loaded at first use: the OS layer's link line stays as it
// is, and a system without it (never seen) simply reports no versions.
using GetSizeFunction = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using GetInfoFunction = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using QueryFunction = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

struct VersionFunctions {
  GetSizeFunction get_size = nullptr;
  GetInfoFunction get_info = nullptr;
  QueryFunction query = nullptr;
};

const VersionFunctions& LoadVersionFunctions() {
  static VersionFunctions functions;
  static std::once_flag once;
  std::call_once(once, [] {
    HMODULE library = LoadLibraryW(L"version.dll");
    if (!library) return;
    // Through void*: the exports' real types are known here, not to FARPROC.
    auto bind = [library](const char* name) {
      return reinterpret_cast<void*>(GetProcAddress(library, name));
    };
    functions.get_size = reinterpret_cast<GetSizeFunction>(bind("GetFileVersionInfoSizeW"));
    functions.get_info = reinterpret_cast<GetInfoFunction>(bind("GetFileVersionInfoW"));
    functions.query = reinterpret_cast<QueryFunction>(bind("VerQueryValueW"));
  });
  return functions;
}

}  // namespace

std::optional<FileVersionNumbers> ReadFileVersionNumbers(const std::filesystem::path& path) {
  const VersionFunctions& f = LoadVersionFunctions();
  if (!f.get_size || !f.get_info || !f.query) return std::nullopt;
  DWORD ignored = 0;
  const DWORD size = f.get_size(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<unsigned char> block(size);
  if (!f.get_info(path.c_str(), 0, size, block.data())) return std::nullopt;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (!f.query(block.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &fixed_size) || !fixed ||
      fixed_size < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD)
    return std::nullopt;
  return FileVersionNumbers{fixed->dwFileVersionMS, fixed->dwFileVersionLS};
}

}  // namespace velmora::os
