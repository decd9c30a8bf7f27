#include "common/registry_path.h"

#include <gtest/gtest.h>

#include "testing/test_support.h"

namespace velmora {
namespace {

constexpr const char* kUserLocale = "HKEY_CURRENT_USER\\Software\\Corvane\\Velmora\\Locale";

class RegistryPathTest : public ::testing::Test {
 protected:
  testing::IsolatedSystem system_;
};

TEST_F(RegistryPathTest, MalformedPathsFailInEveryOperation) {
  const char* bad_paths[] = {
      "HKEY_PERFORMANCE_DATA\\Software\\Corvane\\Velmora\\Locale",  // root not accepted
      "HKEY_CURENT_USER\\Software\\Corvane\\Velmora\\Locale",       // misspelled root
      "HKEY_CURRENT_USER\\Locale",                                  // no key path
      "HKEY_CURRENT_USER",                                          // no "\" at all
  };
  for (const char* path : bad_paths) {
    std::string text;
    std::uint32_t number;
    EXPECT_FALSE(WriteRegistryText(path, "x")) << path;
    EXPECT_FALSE(WriteRegistryNumber(path, 1)) << path;
    EXPECT_FALSE(RegistryValueExists(path)) << path;
    EXPECT_FALSE(ReadRegistryText(path, &text, 256)) << path;
    EXPECT_FALSE(ReadRegistryNumber(path, &number)) << path;
  }
}

TEST_F(RegistryPathTest, OverlongNamesFailInsteadOfBeingCut) {
  const std::string long_name(512, 'n');
  EXPECT_FALSE(WriteRegistryText("HKEY_CURRENT_USER\\Software\\" + long_name, "x"));
  EXPECT_TRUE(WriteRegistryText("HKEY_CURRENT_USER\\Software\\" + long_name.substr(1), "x"));
  const std::string long_key(1024, 'k');
  EXPECT_FALSE(WriteRegistryText("HKEY_CURRENT_USER\\" + long_key + "\\v", "x"));
}

TEST_F(RegistryPathTest, TextAndNumberReadersFollowTheValueKind) {
  ASSERT_TRUE(WriteRegistryText(kUserLocale, "en-us"));
  std::string text;
  ASSERT_TRUE(ReadRegistryText(kUserLocale, &text, 128));
  EXPECT_EQ(text, "en-us");
  std::uint32_t number = 0;
  EXPECT_FALSE(ReadRegistryNumber(kUserLocale, &number));  // stored as text

  const char* count = "hkey_current_user\\Software\\Corvane\\Velmora\\Manifest\\count";
  ASSERT_TRUE(WriteRegistryNumber(count, 4294967295u));
  ASSERT_TRUE(ReadRegistryNumber(count, &number));
  EXPECT_EQ(number, 4294967295u);
  ASSERT_TRUE(ReadRegistryText(count, &text, 128));
  EXPECT_EQ(text, "4294967295");
  // A buffer too small for the text and its terminator fails.
  EXPECT_FALSE(ReadRegistryText(count, &text, 10));
  EXPECT_TRUE(ReadRegistryText(count, &text, 11));

  std::u16string wide;
  ASSERT_TRUE(ReadRegistryTextWide(u"HKEY_CURRENT_USER\\Software\\Corvane\\Velmora\\Locale", &wide));
  EXPECT_EQ(wide, u"en-us");
}

TEST_F(RegistryPathTest, InstallRegistryRootPrefersTheUserHiveThenTheMachineHive) {
  const std::string user = "HKEY_CURRENT_USER\\Software\\Corvane\\Velmora\\X";
  const std::string machine = "HKEY_LOCAL_MACHINE\\Software\\Corvane\\Velmora\\X";
  EXPECT_EQ(InstallRegistryRoot(user, machine), user);  // neither holds InstallDir
  ASSERT_TRUE(WriteRegistryText("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Velmora\\InstallDir", "C:\\G"));
  EXPECT_EQ(InstallRegistryRoot(user, machine), machine);
  EXPECT_EQ(ProductValuePath("Manifest\\env"),
            "HKEY_LOCAL_MACHINE\\Software\\Corvane\\Velmora\\Manifest\\env");
  ASSERT_TRUE(WriteRegistryNumber("HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Velmora\\InstallDir", 1));
  EXPECT_EQ(InstallRegistryRoot(user, machine), user);  // both: the user hive wins
}

}  // namespace
}  // namespace velmora
