#include "foundation/os/net_output_file.h"

#include <windows.h>

namespace velmora::os {
namespace {

HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Open(const std::filesystem::path& path, std::uint32_t* error) {
  Close();
  // Read sharing only: validation reads the file while the download still
  // holds it, but nobody else may change it underneath.
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (error) *error = ::GetLastError();
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  if (error) *error = 0;
  return true;
}

bool OutputFile::IsOpen() const { return handle_ != -1; }

void OutputFile::Close() {
  if (handle_ != -1) ::CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

bool OutputFile::Write(const void* data, std::size_t size) {
  if (handle_ == -1) return false;
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(AsHandle(handle_), bytes, chunk, &written, nullptr) || written == 0)
      return false;
    bytes += written;
    size -= written;
  }
  return true;
}

bool OutputFile::Seek(std::uint64_t offset) {
  if (handle_ == -1) return false;
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  return ::SetFilePointerEx(AsHandle(handle_), distance, nullptr, FILE_BEGIN) != 0;
}

bool OutputFile::SetLength(std::uint64_t length) {
  if (handle_ == -1) return false;
  LARGE_INTEGER zero{}, current{};
  if (!::SetFilePointerEx(AsHandle(handle_), zero, &current, FILE_CURRENT)) return false;
  LARGE_INTEGER target;
  target.QuadPart = static_cast<LONGLONG>(length);
  const bool ok = ::SetFilePointerEx(AsHandle(handle_), target, nullptr, FILE_BEGIN) &&
                  ::SetEndOfFile(AsHandle(handle_));
  ::SetFilePointerEx(AsHandle(handle_), current, nullptr, FILE_BEGIN);
  return ok;
}

}  // namespace velmora::os
