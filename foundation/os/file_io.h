// Reading whole files in large pieces, file attributes, and the conversion
// between the launcher's UTF-16 path texts and native paths.
//
// The patcher keeps paths as UTF-16 texts (their length limits are counted in
// UTF-16 units) and turns them into native paths only here, at the boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace velmora::os {

// The separator that paths built by the launcher use: "\" on Windows, "/" on
// POSIX. Both "\" and "/" are accepted as separators in texts that the
// launcher reads (manifest names, folder texts).
char16_t NativePathSeparator();

// UTF-16 path text to a native path. Windows: the units as they stand.
// POSIX: UTF-8; an unpaired surrogate becomes U+FFFD, so such a name cannot
// be reached (there is no file system on POSIX that could hold it).
std::filesystem::path FilePathFromUtf16(std::u16string_view text);
// Native path to UTF-16 text. POSIX: a name that is not valid UTF-8 is
// converted with U+FFFD in place of each bad sequence and therefore does not
// name the same file any more; callers treat it as a file they cannot open.
std::u16string Utf16FromFilePath(const std::filesystem::path& path);

// Sets a file's attributes to "normal": Windows SetFileAttributesW with
// FILE_ATTRIBUTE_NORMAL (clears read-only, hidden, system); POSIX chmod that
// adds the owner's write permission (called even when it is already there,
// so that a file whose mode cannot be changed is reported; a symbolic link is
// left alone rather than changing its target). False with the
// OS error in `error` (may be null) when it fails.
[[nodiscard]] bool SetFileAttributesNormal(const std::filesystem::path& path,
                                           std::string* error = nullptr);

// A file opened for reading in binary mode. Windows: CreateFileW sharing read
// and write (as the C library's "rb" does), so a file that another process
// holds exclusively does not open. POSIX: open(O_RDONLY), and only a regular
// file opens (a FIFO or a device would block or never end).
class FileReader {
 public:
  FileReader() = default;
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  [[nodiscard]] bool Open(const std::filesystem::path& path);
  bool IsOpen() const;
  void Close();

  // The size of the open file as a 64-bit number; false when it cannot be
  // taken.
  [[nodiscard]] bool Size(std::uint64_t* size);

  // Reads up to `capacity` bytes from the current position, repeating short
  // reads, so that fewer than `capacity` bytes (`*bytes_read`) mean the end
  // of the file was reached. False on a read error; `*bytes_read` then holds
  // what was read before the error.
  [[nodiscard]] bool Read(void* buffer, std::size_t capacity, std::size_t* bytes_read);

  // The last OS error of Open, Size or Read as text.
  const std::string& LastError() const { return last_error_; }

 private:
  std::intptr_t handle_ = -1;
  std::string last_error_;
};

}  // namespace velmora::os
