#include "foundation/os/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/text/utf.h"

namespace velmora::os {
namespace {

std::string ErrnoText(int error) {
  return std::string(std::strerror(error)) + " (errno " + std::to_string(error) + ")";
}

}  // namespace

char16_t NativePathSeparator() { return u'/'; }

std::filesystem::path FilePathFromUtf16(std::u16string_view text) {
  return std::filesystem::path(Utf16ToUtf8(text));
}

std::u16string Utf16FromFilePath(const std::filesystem::path& path) {
  return Utf8ToUtf16(path.native());
}

bool SetFileAttributesNormal(const std::filesystem::path& path, std::string* error) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) {
    if (error) *error = ErrnoText(errno);
    return false;
  }
  // A link has no mode of its own; changing its target's would reach past
  // the folder the caller is working in.
  if (S_ISLNK(info.st_mode)) return true;
  if (::chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) != 0) {
    if (error) *error = ErrnoText(errno);
    return false;
  }
  return true;
}

FileReader::~FileReader() { Close(); }

bool FileReader::Open(const std::filesystem::path& path) {
  Close();
  // O_NONBLOCK so that opening a FIFO does not wait for a writer; only
  // regular files are read (a FIFO or a device in an install would otherwise
  // block or never end), and for those the flag changes nothing.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    last_error_ = ErrnoText(errno);
    return false;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    last_error_ = ErrnoText(errno);
    ::close(fd);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    last_error_ = S_ISDIR(info.st_mode) ? "a folder, not a file" : "not a regular file";
    ::close(fd);
    return false;
  }
  // Validation reads every file once from start to end.
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  handle_ = fd;
  return true;
}

bool FileReader::IsOpen() const { return handle_ >= 0; }

void FileReader::Close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

bool FileReader::Size(std::uint64_t* size) {
  struct stat info;
  if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &info) != 0) {
    last_error_ = handle_ < 0 ? std::string("file not open") : ErrnoText(errno);
    return false;
  }
  *size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

bool FileReader::Read(void* buffer, std::size_t capacity, std::size_t* bytes_read) {
  *bytes_read = 0;
  if (handle_ < 0) {
    last_error_ = "file not open";
    return false;
  }
  auto* out = static_cast<unsigned char*>(buffer);
  while (*bytes_read < capacity) {
    const ssize_t got = ::read(static_cast<int>(handle_), out + *bytes_read, capacity - *bytes_read);
    if (got < 0) {
      if (errno == EINTR) continue;
      last_error_ = ErrnoText(errno);
      return false;
    }
    if (got == 0) break;
    *bytes_read += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace velmora::os
