#include "foundation/os/file_io.h"

#include <windows.h>

namespace velmora::os {
namespace {

std::string WinErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string result;
  for (DWORD i = 0; i < length; ++i) {
    const wchar_t c = text[i];
    if (c == L'\r' || c == L'\n') continue;
    result.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  if (text) LocalFree(text);
  return result + " (error " + std::to_string(error) + ")";
}

HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

char16_t NativePathSeparator() { return u'\\'; }

std::filesystem::path FilePathFromUtf16(std::u16string_view text) {
  return std::filesystem::path(std::wstring(text.begin(), text.end()));
}

std::u16string Utf16FromFilePath(const std::filesystem::path& path) {
  const std::wstring& native = path.native();
  return std::u16string(native.begin(), native.end());
}

bool SetFileAttributesNormal(const std::filesystem::path& path, std::string* error) {
  if (SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL)) return true;
  if (error) *error = WinErrorText(GetLastError());
  return false;
}

FileReader::~FileReader() { Close(); }

bool FileReader::Open(const std::filesystem::path& path) {
  Close();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    last_error_ = WinErrorText(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

bool FileReader::IsOpen() const { return handle_ != -1; }

void FileReader::Close() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

bool FileReader::Size(std::uint64_t* size) {
  LARGE_INTEGER value;
  if (handle_ == -1 || !GetFileSizeEx(AsHandle(handle_), &value)) {
    last_error_ = handle_ == -1 ? std::string("file not open") : WinErrorText(GetLastError());
    return false;
  }
  *size = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

bool FileReader::Read(void* buffer, std::size_t capacity, std::size_t* bytes_read) {
  *bytes_read = 0;
  if (handle_ == -1) {
    last_error_ = "file not open";
    return false;
  }
  auto* out = static_cast<unsigned char*>(buffer);
  while (*bytes_read < capacity) {
    const std::size_t left = capacity - *bytes_read;
    const DWORD ask = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), out + *bytes_read, ask, &got, nullptr)) {
      last_error_ = WinErrorText(GetLastError());
      return false;
    }
    if (got == 0) break;
    *bytes_read += got;
  }
  return true;
}

}  // namespace velmora::os
