// Replays the manifest fuzzer's corpus, so every input that once found new
// paths through the reader keeps being checked in every build.
#include <gtest/gtest.h>

#include <filesystem>

#include "patcher/fuzz/manifest_fuzz_input.h"
#include "patcher/tests/patcher_test_support.h"

namespace velmora::patcher {
namespace {

class ManifestCorpusTest : public testing::PatcherTest {};

TEST_F(ManifestCorpusTest, EveryCorpusInputKeepsTheReadersPromises) {
  const auto corpus = velmora::testing::SourceFolder() / "patcher" / "fuzz" / "corpus";
  int inputs = 0;
  for (const auto& item : std::filesystem::directory_iterator(corpus)) {
    if (!item.is_regular_file()) continue;
    const std::string bytes = velmora::testing::ReadFileBytes(item.path());
    const std::string broken = ExerciseManifestReader(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(broken, "") << item.path().filename().string();
    ++inputs;
  }
  EXPECT_GT(inputs, 0) << "no corpus under " << corpus.string();
}

}  // namespace
}  // namespace velmora::patcher
