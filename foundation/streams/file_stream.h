// A stream that writes a download straight into its destination file.
//
// The file is opened for writing with read sharing (see
// foundation/os/net_output_file.h) and stays open until Close or until the
// last holder releases the stream, so a transfer that is still referenced by
// a request or a job status keeps its file open.
#pragma once

#include <cstdint>
#include <filesystem>

#include "foundation/os/net_output_file.h"
#include "foundation/streams/stream.h"

namespace velmora {

class FileStream final : public Stream {
 public:
  // Creates a closed stream with no references; null when out of memory.
  static FileStream* Create();

  // Creates `path` or cuts the existing file to length 0. On failure returns
  // false and stores the system error code in `system_error` when given.
  [[nodiscard]] bool OpenForWriting(const std::filesystem::path& path,
                                    std::uint32_t* system_error);
  bool IsOpen() const { return file_.IsOpen(); }
  void Close();
  const std::filesystem::path& Path() const { return path_; }

  // Writes fail while the stream is closed.
  [[nodiscard]] bool Write(const void* data, std::size_t size) override;
  std::uint64_t Position() const override { return position_; }
  [[nodiscard]] bool SetPosition(std::uint64_t position) override;
  std::uint64_t Length() const override { return length_; }
  [[nodiscard]] bool SetLength(std::uint64_t length) override;

 private:
  FileStream() = default;
  ~FileStream() override = default;  // the file closes with it

  os::OutputFile file_;
  std::filesystem::path path_;
  std::uint64_t position_ = 0;
  std::uint64_t length_ = 0;
};

}  // namespace velmora
