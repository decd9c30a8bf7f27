#include "foundation/streams/file_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testing/test_support.h"

namespace velmora {
namespace {

using velmora::testing::ReadFileBytes;
using velmora::testing::ScopedTempDir;
using velmora::testing::WriteFileBytes;

TEST(FileStreamTest, OpeningCutsAnExistingFileAndWritesInOrder) {
  ScopedTempDir temp;
  const auto path = temp.path() / "target.bin";
  WriteFileBytes(path, "old contents that must disappear");

  RefPtr<FileStream> stream(FileStream::Create());
  ASSERT_TRUE(stream);
  std::uint32_t error = 12345;
  ASSERT_TRUE(stream->OpenForWriting(path, &error));
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(ReadFileBytes(path), "");
  ASSERT_TRUE(stream->Write("first ", 6));
  ASSERT_TRUE(stream->Write("second", 6));
  // Readers may look at the file while the writer still holds it.
  EXPECT_EQ(ReadFileBytes(path), "first second");
  EXPECT_EQ(stream->Length(), 12u);
}

TEST(FileStreamTest, RewindAndTruncateStartsTheFileOver) {
  ScopedTempDir temp;
  const auto path = temp.path() / "target.bin";
  RefPtr<FileStream> stream(FileStream::Create());
  ASSERT_TRUE(stream->OpenForWriting(path, nullptr));
  ASSERT_TRUE(stream->Write("moved permanently", 17));
  ASSERT_TRUE(stream->RewindAndTruncate());
  ASSERT_TRUE(stream->Write("body", 4));
  stream.reset();
  EXPECT_EQ(ReadFileBytes(path), "body");
}

TEST(FileStreamTest, LastReleaseClosesTheFile) {
  ScopedTempDir temp;
  const auto path = temp.path() / "target.bin";
  FileStream* stream = FileStream::Create();
  stream->AddRef();
  stream->AddRef();  // a second holder, as a request would be
  ASSERT_TRUE(stream->OpenForWriting(path, nullptr));
  ASSERT_TRUE(stream->Write("abc", 3));
  stream->Release();
  EXPECT_TRUE(stream->IsOpen());
  stream->Release();
  // With the handle gone the file can be removed (Windows refuses this while
  // a handle without delete sharing is open).
  std::error_code ec;
  EXPECT_TRUE(std::filesystem::remove(path, ec)) << ec.message();
}

TEST(FileStreamTest, FailureReportsTheSystemErrorAndRefusesWrites) {
  ScopedTempDir temp;
  RefPtr<FileStream> stream(FileStream::Create());
  std::uint32_t error = 0;
  EXPECT_FALSE(stream->OpenForWriting(temp.path() / "missing-folder" / "file.bin", &error));
  EXPECT_NE(error, 0u);
  EXPECT_FALSE(stream->IsOpen());
  EXPECT_FALSE(stream->Write("x", 1));
}

}  // namespace
}  // namespace velmora
