#include "foundation/os/net_output_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace velmora::os {

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Open(const std::filesystem::path& path, std::uint32_t* error) {
  Close();
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (error) *error = static_cast<std::uint32_t>(errno);
    return false;
  }
  handle_ = fd;
  if (error) *error = 0;
  return true;
}

bool OutputFile::IsOpen() const { return handle_ >= 0; }

void OutputFile::Close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

bool OutputFile::Write(const void* data, std::size_t size) {
  if (handle_ < 0) return false;
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(static_cast<int>(handle_), bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool OutputFile::Seek(std::uint64_t offset) {
  if (handle_ < 0) return false;
  return ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool OutputFile::SetLength(std::uint64_t length) {
  if (handle_ < 0) return false;
  int rc;
  do {
    rc = ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(length));
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

}  // namespace velmora::os
