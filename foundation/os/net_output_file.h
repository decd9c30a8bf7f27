// A file opened for writing a download into, while others may read it.
//
// Windows: CreateFileW with GENERIC_WRITE, FILE_SHARE_READ and CREATE_ALWAYS,
// so a validator may read the file while the handle is still open, but no
// other program may write or delete it meanwhile. POSIX has no share modes:
// open(O_WRONLY | O_CREAT | O_TRUNC), mode 0644 before the umask.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace velmora::os {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // closes the file
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the file, or cuts an existing one to length 0. On failure returns
  // false and stores the system error code (GetLastError / errno) in `error`
  // when given. A file that is already open is closed first.
  [[nodiscard]] bool Open(const std::filesystem::path& path, std::uint32_t* error);
  bool IsOpen() const;
  void Close();

  // Writes all bytes at the current offset; false on any short write.
  [[nodiscard]] bool Write(const void* data, std::size_t size);
  [[nodiscard]] bool Seek(std::uint64_t offset);
  // Cuts or extends the file; the write offset is unchanged.
  [[nodiscard]] bool SetLength(std::uint64_t length);

 private:
  // HANDLE on Windows, a file descriptor on POSIX.
  std::intptr_t handle_ = -1;
};

}  // namespace velmora::os
