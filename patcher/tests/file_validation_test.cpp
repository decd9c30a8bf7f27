#include "patcher/file_validation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "foundation/os/file_io.h"
#include "foundation/os/process.h"
#include "foundation/text/utf.h"
#include "patcher/tests/patcher_test_support.h"

namespace velmora::patcher {
namespace {

using testing::PatcherTest;

class FileValidationTest : public PatcherTest {
 protected:
  std::u16string Write(const std::string& name, const std::string& content) {
    velmora::testing::WriteFileBytes(temp() / name, content);
    return TempText(name);
  }
  static std::string DigestText(const std::string& content) {
    return FormatDigest(ComputeMd5(content.data(), content.size()));
  }
};

TEST(FormatDigestTest, WritesZeroXAndLowerCaseDigitsInDigestOrder) {
  Md5Digest digest{};
  for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = static_cast<std::uint8_t>(i * 17);
  EXPECT_EQ(FormatDigest(digest), "0x00112233445566778899aabbccddeeff");
}

TEST_F(FileValidationTest, ComparesSizeThenDigest) {
  const std::string content = "the quick brown fox";
  const std::u16string path = Write("data.bin", content);
  std::string upper = DigestText(content);
  for (std::size_t i = 2; i < upper.size(); ++i) upper[i] = static_cast<char>(std::toupper(upper[i]));
  const struct {
    const char* label;
    std::string expected_text;
    std::uint32_t expected_size;
    bool match;
  } cases[] = {
      {"both equal", DigestText(content), 19, true},
      {"upper-case digits", upper, 19, true},
      {"digest differs", DigestText("the quick brown cat"), 19, false},
      {"no 0x prefix", DigestText(content).substr(2), 19, false},
      {"size differs", DigestText(content), 20, false},
  };
  for (const auto& c : cases) {
    bool match = !c.match;
    EXPECT_TRUE(ValidateFile(path, c.expected_text, c.expected_size, &match)) << c.label;
    EXPECT_EQ(match, c.match) << c.label;
  }
}

TEST_F(FileValidationTest, LogsBothChecksAndSkipsTheDigestWhenTheSizeDiffers) {
  const std::u16string path = Write("a.bin", "abc");
  const std::string shown = Utf16ToUtf8(path);
  bool match = false;
  ASSERT_TRUE(ValidateFile(path, "0x900150983cd24fb0d6963f7d28e17f72", 3, &match));
  ASSERT_TRUE(ValidateFile(path, "0x900150983cd24fb0d6963f7d28e17f72", 4, &match));
  const std::string log = LogText();
  EXPECT_NE(log.find("File Validation: Size check pass for '" + shown + "'. Expected '3', got '3'.\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("File Validation: Hash check pass for '" + shown +
                     "'. Expected '0x900150983cd24fb0d6963f7d28e17f72', got "
                     "'0x900150983cd24fb0d6963f7d28e17f72'.\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("File Validation: Size check fail for '" + shown + "'. Expected '4', got '3'.\r\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(CountInLog("File Validation: Hash check"), 1) << "a size mismatch is decided unread";
}

TEST_F(FileValidationTest, EmptyFileIsHashedAndCompared) {
  const std::u16string path = Write("empty.bin", "");
  bool match = false;
  ASSERT_TRUE(ValidateFile(path, "0xd41d8cd98f00b204e9800998ecf8427e", 0, &match));
  EXPECT_TRUE(match);
  EXPECT_EQ(CountInLog("File Validation: Hash check pass"), 1);
}

TEST_F(FileValidationTest, FilesAroundOneChunkHashLikeTheSameBytesInOnePiece) {
  for (const std::size_t size : {kValidationChunkBytes, kValidationChunkBytes + 1}) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; i += 4096) content[i] = static_cast<char>(i / 4096);
    const std::u16string path = Write("chunk.bin", content);
    bool match = false;
    ASSERT_TRUE(ValidateFile(path, DigestText(content), static_cast<std::uint32_t>(size), &match));
    EXPECT_TRUE(match) << size;
  }
}

TEST_F(FileValidationTest, ImpossibleChecksReturnFalseAndLeaveTheMatchFlag) {
  const std::u16string path = Write("x.bin", "x");
  const std::u16string missing = TempText("missing.bin");
  for (const bool initial : {true, false}) {
    bool match = initial;
    EXPECT_FALSE(ValidateFile(missing, "0x00000000000000000000000000000000", 1, &match));
    EXPECT_EQ(match, initial);
    EXPECT_FALSE(ValidateFile(u"", "0x00000000000000000000000000000000", 1, &match));
    EXPECT_FALSE(ValidateFile(path, "", 1, &match));
    EXPECT_EQ(match, initial);
  }
  EXPECT_FALSE(ValidateFile(path, "0x00000000000000000000000000000000", 1, nullptr));
  EXPECT_EQ(CountInLog("File Validation: Bad params.\r\n"), 5);
  EXPECT_EQ(CountInLog("File Validation: Failed to open '" + Utf16ToUtf8(missing) + "'.\r\n"), 2);
}

// A FIFO or device where a file should be is never read: it would block
// validation, and with it the patch run, until a writer came.
TEST_F(FileValidationTest, OnlyRegularFilesAreRead) {
  const auto fifo = temp() / "pipe.dat";
  os::ChildProcess make_fifo;
  if (!make_fifo.Start("/usr/bin/mkfifo", {fifo.string()}) ||
      make_fifo.Wait(std::chrono::seconds(10)) != 0 || !std::filesystem::exists(fifo))
    GTEST_SKIP() << "no FIFOs on this system";
  bool match = true;
  EXPECT_FALSE(ValidateFile(os::Utf16FromFilePath(fifo), "0xd41d8cd98f00b204e9800998ecf8427e", 0,
                            &match));
  EXPECT_TRUE(match);
  EXPECT_FALSE(ValidateFile(TempText(), "0xd41d8cd98f00b204e9800998ecf8427e", 0, &match))
      << "a folder";
  EXPECT_EQ(CountInLog("File Validation: Failed to open '"), 2);
}

// The manifest's size is 32 bits: a file of 4 GiB + 5 bytes passes the size
// check for 5 and is then decided by its digest. The file is sparse.
TEST_F(FileValidationTest, SizeAboveFourGibibytesIsComparedByItsLow32Bits) {
  const auto file = temp() / "huge.bin";
  { std::ofstream create(file, std::ios::binary); }
  std::error_code ec;
  std::filesystem::resize_file(file, 4294967296ull + 5, ec);
  if (ec) GTEST_SKIP() << "no room for a sparse 4 GiB file: " << ec.message();
  const std::u16string path = os::Utf16FromFilePath(file);

  bool match = false;
  ASSERT_TRUE(ValidateFile(path, "0x968a8809aa0886d87f385d88733a98d2", 5, &match));
  EXPECT_TRUE(match);
  EXPECT_EQ(CountInLog("Size check pass for '" + Utf16ToUtf8(path) + "'. Expected '5', got '5'."), 1);
}

}  // namespace
}  // namespace velmora::patcher
