#include "foundation/streams/file_stream.h"

#include <algorithm>
#include <new>

namespace velmora {

FileStream* FileStream::Create() { return new (std::nothrow) FileStream(); }

bool FileStream::OpenForWriting(const std::filesystem::path& path, std::uint32_t* system_error) {
  position_ = 0;
  length_ = 0;
  path_ = path;
  return file_.Open(path, system_error);
}

void FileStream::Close() { file_.Close(); }

bool FileStream::Write(const void* data, std::size_t size) {
  if (!file_.IsOpen()) return false;
  if (size == 0) return true;
  if (!file_.Write(data, size)) return false;
  position_ += size;
  length_ = std::max(length_, position_);
  return true;
}

bool FileStream::SetPosition(std::uint64_t position) {
  if (!file_.Seek(position)) return false;
  position_ = position;
  return true;
}

bool FileStream::SetLength(std::uint64_t length) {
  if (!file_.SetLength(length)) return false;
  length_ = length;
  return true;
}

}  // namespace velmora
