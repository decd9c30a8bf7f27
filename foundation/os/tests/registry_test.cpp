#include "foundation/os/registry.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "testing/test_support.h"

namespace velmora::os {
namespace {

class RegistryTest : public ::testing::Test {
 protected:
  testing::IsolatedSystem system_;
};

TEST_F(RegistryTest, TextAndNumberValuesRoundTripAndKeysIgnoreCase) {
  ASSERT_TRUE(WriteRegistryText(RegistryHive::kCurrentUser, "Software\\Corvane\\Velmora", "Locale",
                                "de-de\twith\ttabs\nand lines \\ ok"));
  ASSERT_TRUE(WriteRegistryNumber(RegistryHive::kCurrentUser, "Software\\Corvane\\Velmora\\Manifest",
                                  "count", 4000000000u));
  RegistryValue value;
  ASSERT_TRUE(ReadRegistryValue(RegistryHive::kCurrentUser, "SOFTWARE\\corvane\\VELMORA", "locale",
                                &value));
  EXPECT_EQ(value.kind, RegistryValueKind::kText);
  EXPECT_EQ(value.text, "de-de\twith\ttabs\nand lines \\ ok");
  ASSERT_TRUE(ReadRegistryValue(RegistryHive::kCurrentUser, "Software\\Corvane\\Velmora\\Manifest",
                                "COUNT", &value));
  EXPECT_EQ(value.kind, RegistryValueKind::kNumber);
  EXPECT_EQ(value.number, 4000000000u);
}

TEST_F(RegistryTest, HivesAreSeparateAndOverwritesReplace) {
  ASSERT_TRUE(WriteRegistryText(RegistryHive::kLocalMachine, "Software\\A", "v", "machine"));
  ASSERT_TRUE(WriteRegistryText(RegistryHive::kCurrentUser, "Software\\A", "v", "user"));
  ASSERT_TRUE(WriteRegistryNumber(RegistryHive::kCurrentUser, "Software\\A", "V", 7));
  RegistryValue value;
  ASSERT_TRUE(ReadRegistryValue(RegistryHive::kLocalMachine, "Software\\A", "v", &value));
  EXPECT_EQ(value.text, "machine");
  ASSERT_TRUE(ReadRegistryValue(RegistryHive::kCurrentUser, "Software\\A", "v", &value));
  EXPECT_EQ(value.kind, RegistryValueKind::kNumber);
  EXPECT_EQ(value.number, 7u);
  EXPECT_FALSE(ReadRegistryValue(RegistryHive::kUsers, "Software\\A", "v", &value));
}

TEST_F(RegistryTest, DeletedValuesAreGone) {
  ASSERT_TRUE(WriteRegistryText(RegistryHive::kCurrentUser, "Software\\B", "x", "1"));
  ASSERT_TRUE(DeleteRegistryValue(RegistryHive::kCurrentUser, "Software\\B", "x"));
  EXPECT_FALSE(ReadRegistryValue(RegistryHive::kCurrentUser, "Software\\B", "x", nullptr));
  EXPECT_TRUE(DeleteRegistryValue(RegistryHive::kCurrentUser, "Software\\B", "never"));
}

TEST_F(RegistryTest, ConcurrentWritersNeverLoseEachOthersValues) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(WriteRegistryNumber(RegistryHive::kCurrentUser, "Software\\C",
                                        "w" + std::to_string(t) + "_" + std::to_string(i),
                                        static_cast<std::uint32_t>(i)));
    });
  }
  for (auto& w : writers) w.join();
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 10; ++i)
      EXPECT_TRUE(ReadRegistryValue(RegistryHive::kCurrentUser, "Software\\C",
                                    "w" + std::to_string(t) + "_" + std::to_string(i), nullptr));
}

}  // namespace
}  // namespace velmora::os
