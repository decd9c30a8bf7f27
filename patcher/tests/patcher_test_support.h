// Fixtures shared by the patcher's tests: a throw-away system (registry, log,
// app-data folder), manifest texts, PE images with and without a version
// resource, and a file that cannot be deleted.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "testing/test_support.h"

namespace velmora::patcher::testing {

// A test with its own registry, log and temporary folder.
class PatcherTest : public ::testing::Test {
 protected:
  PatcherTest();
  ~PatcherTest() override;

  // The log written so far, without the entries' time stamps.
  std::string LogText() const;
  // Number of times `line` occurs in the log.
  int CountInLog(const std::string& line) const;
  // Starts the log afresh (between the rows of a table of cases).
  void ClearLog();

  const std::filesystem::path& temp() const { return temp_.path(); }
  // The UTF-16 text of a path under the temporary folder.
  std::u16string TempText(const std::filesystem::path& relative = {}) const;

  velmora::testing::IsolatedSystem system_;
  velmora::testing::ScopedTempDir temp_;
};

// "\" turned into the platform's separator: expected paths written once.
std::u16string Native(std::u16string text);

// <File .../> with the digest and size of `content`.
std::string FileElement(const std::string& name, const std::string& content,
                        const std::string& version = "");
// A whole manifest around `children`; Count defaults to the number of
// elements given.
std::string ImageText(const std::vector<std::string>& children, int count = -1,
                      const std::string& format_version = "1.00");

// A minimal DLL image (one .rsrc section) whose version resource carries the
// file version a.b.c.d. `pe32_plus` builds the 64-bit form.
std::string BuildVersionedImage(std::uint16_t a, std::uint16_t b, std::uint16_t c,
                                std::uint16_t d, bool pe32_plus = false);
// The same image with a version resource that has no fixed file information.
std::string BuildImageWithEmptyVersionBlock();
// A valid image without any resources.
std::string BuildImageWithoutResources();

// Keeps a file from being deleted for its lifetime, by whatever this system
// honours: an open handle (Windows refuses to delete open files), a
// read-only folder (POSIX, without root) or an immutable folder (POSIX as
// root, where chattr works). Unavailable() tells when nothing worked.
class UndeletableFile {
 public:
  explicit UndeletableFile(const std::filesystem::path& file);
  ~UndeletableFile();
  UndeletableFile(const UndeletableFile&) = delete;
  UndeletableFile& operator=(const UndeletableFile&) = delete;
  bool Unavailable() const { return method_ == Method::kNone; }

 private:
  enum class Method { kNone, kOpenHandle, kReadOnlyFolder, kImmutableFolder };
  std::filesystem::path file_;
  Method method_ = Method::kNone;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> handle_{nullptr, &std::fclose};
};

}  // namespace velmora::patcher::testing
