#include "orvwebkit/src/browser.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "testing/test_support.h"

namespace velmora::orvwebkit {
namespace {

TEST(BrowserSetupTest, ActivePortFile) {
  const struct {
    const char* text;
    bool ok;
    std::uint16_t port;
    const char* path;
  } cases[] = {
      {"40061\n/devtools/browser/ae9f\n", true, 40061, "/devtools/browser/ae9f"},
      {"9222\r\n/devtools/browser/x", true, 9222, "/devtools/browser/x"},
      {"40061\n", false, 0, ""},  // the second line is not written yet
      {"40061", false, 0, ""},
      {"", false, 0, ""},
      {"0\n/devtools/browser/x\n", false, 0, ""},
      {"65536\n/devtools/browser/x\n", false, 0, ""},
      {"12a\n/devtools/browser/x\n", false, 0, ""},
      {"123\ndevtools\n", false, 0, ""},
  };
  for (const auto& c : cases) {
    std::uint16_t port = 0;
    std::string path;
    EXPECT_EQ(ParseActivePortFile(c.text, &port, &path), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(port, c.port);
      EXPECT_EQ(path, c.path);
    }
  }
}

TEST(BrowserSetupTest, ArgumentsKeepTheBrowserPrivateAndQuiet) {
  const auto arguments = BrowserArguments("/tmp/p r o f i l e", false);
  auto has = [&](const std::string& argument) {
    return std::find(arguments.begin(), arguments.end(), argument) != arguments.end();
  };
  for (const char* required :
       {"--headless", "--no-first-run", "--disable-background-networking",
        "--disable-component-update", "--remote-debugging-port=0",
        "--user-data-dir=/tmp/p r o f i l e"}) {
    EXPECT_TRUE(has(required)) << required;
  }
  EXPECT_FALSE(has("--no-sandbox"));
  const auto unsandboxed = BrowserArguments("/p", true);
  EXPECT_NE(std::find(unsandboxed.begin(), unsandboxed.end(), "--no-sandbox"), unsandboxed.end());
}

TEST(BrowserSetupTest, TheEnvironmentVariableNamesTheBrowser) {
  velmora::testing::ScopedEnvironment environment;
  environment.Set(kBrowserVariable, "/opt/some/browser");
  EXPECT_EQ(ChooseBrowserProgram(), "/opt/some/browser");
  // Empty counts as unset: the installed browser (if any) is used.
  environment.Set(kBrowserVariable, "");
  const auto installed = platform::FindInstalledBrowsers();
  EXPECT_EQ(ChooseBrowserProgram(), installed.empty() ? std::string() : installed.front());
}

}  // namespace
}  // namespace velmora::orvwebkit
