#include "common/locale_table.h"

#include <gtest/gtest.h>

#include "common/localized_text.h"
#include "common/registry_path.h"
#include "foundation/os/process.h"
#include "testing/test_support.h"

namespace velmora {
namespace {

constexpr const char* kUserLocale = "HKEY_CURRENT_USER\\Software\\Corvane\\Velmora\\Locale";

TEST(LocaleTableTest, BaseIsHundredTimesTheFirstMatchingPosition) {
  const struct {
    const char* code;
    int base;
  } cases[] = {
      {"en-us", 100}, {"EN-US", 100},  {"ar-sa", 300},  {"de-de", 3700}, {"De-De", 3700},
      {"vi-vn", 7100}, {"en-gb", 2600}, {"en_US", 100}, {"", 100},       {"xx-yy", 100},
  };
  for (const auto& c : cases) EXPECT_EQ(StringIdBaseOfCode(std::string_view(c.code)), c.base) << c.code;
  EXPECT_STREQ(LocaleTableEntry(71), "vi-vn");
  EXPECT_EQ(LocaleTableEntry(72), nullptr);
}

// The interface language is decided in a child process so that the system
// locale can be set the way a player's machine sets it.
std::string LocaleOfChild(const std::string& lang) {
  os::ChildProcess child;
  os::ChildProcessOptions options;
  options.capture_output = true;
  options.environment["LANG"] = lang;
  options.environment["LC_ALL"] = std::nullopt;
  options.environment["LC_MESSAGES"] = std::nullopt;
  if (!child.Start(testing::ProgramPath("velmora-test-helper"), {"locale"}, options)) return "?";
  child.Wait(std::chrono::seconds(60));
  std::string out = child.Output();
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

TEST(LocaleTableTest, RegistryLocaleWinsOverTheSystemLocale) {
  testing::IsolatedSystem system;
  // POSIX takes the locale from LANG. Under Wine the user locale is fixed
  // for the whole prefix, so there the system part is whatever it reports.
  const std::string without_registry = LocaleOfChild("de_DE.UTF-8");
  const std::string packed = without_registry.substr(without_registry.find(' ') + 1);
  if (packed == "64654445") {
    EXPECT_EQ(without_registry, "3700 64654445");
  }

  ASSERT_TRUE(WriteRegistryText(kUserLocale, "EN-US"));
  EXPECT_EQ(LocaleOfChild("de_DE.UTF-8"), "100 " + packed);
  // A code that is not in the table does not fall back to the system locale.
  ASSERT_TRUE(WriteRegistryText(kUserLocale, "en_US"));
  EXPECT_EQ(LocaleOfChild("de_DE.UTF-8"), "100 " + packed);
  // A number is read as decimal text and matches nothing.
  ASSERT_TRUE(WriteRegistryNumber(kUserLocale, 1031));
  EXPECT_EQ(LocaleOfChild("de_DE.UTF-8"), "100 " + packed);
  ASSERT_TRUE(WriteRegistryText(kUserLocale, "ar-sa"));
  EXPECT_EQ(LocaleOfChild("de_DE.UTF-8"), "300 " + packed);
}

TEST(LocaleTableTest, PackedLocaleNeedsTwoLetterNames) {
  // A three-letter ISO 639 name does not fit the 3-unit request.
  const struct {
    const char* lang;
    const char* expected;
  } cases[] = {{"en_US.UTF-8", "656E5553"}, {"fil_PH.UTF-8", "00000000"}, {"C", "00000000"}};
  for (const auto& c : cases) {
    const std::string out = LocaleOfChild(c.lang);
    const std::string packed = out.substr(out.find(' ') + 1);
    if (LocaleOfChild("de_DE.UTF-8").find("64654445") == std::string::npos) {
      GTEST_SKIP() << "the system locale cannot be set per process here";
    }
    EXPECT_EQ(packed, c.expected) << c.lang;
  }
}

TEST(LocaleTableTest, LocalizedTextsComeFromTheLanguageBase) {
  testing::IsolatedSystem system;
  ASSERT_TRUE(WriteRegistryText(kUserLocale, "en-us"));
  ResetLocalizedTextForTesting();
  std::u16string text;
  ASSERT_TRUE(LoadLocalizedText(1, &text));
  EXPECT_EQ(text, u"Velmora Launcher");
  ASSERT_TRUE(LoadLocalizedText(6, &text));
  EXPECT_EQ(text, u"***Unable to establish server connection***\n>Please check your connection and try again.<");
  ASSERT_TRUE(LoadLocalizedText(33, &text));
  EXPECT_EQ(text, u"Update was canceled.  Please relaunch to rerun the update.");
  EXPECT_FALSE(LoadLocalizedText(40, &text));

  // German is not shipped: text 1 is looked up as 3701 and is missing.
  ASSERT_TRUE(WriteRegistryText(kUserLocale, "de-de"));
  ResetLocalizedTextForTesting();
  EXPECT_EQ(LocalizedTextBase(), 3700);
  EXPECT_FALSE(LoadLocalizedText(1, &text));
  ResetLocalizedTextForTesting();
}

}  // namespace
}  // namespace velmora
