// velmora-publish as the studio uses it: build a manifest of a folder, verify
// installs against it, and refuse folders the launcher could not read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "foundation/os/file_io.h"
#include "foundation/os/process.h"
#include "foundation/text/utf.h"
#include "patcher/manifest.h"
#include "patcher/tests/patcher_test_support.h"

namespace velmora::publish {
namespace {

namespace fs = std::filesystem;
using patcher::testing::Native;

struct ToolRun {
  int code = -1;
  std::string output;  // standard output and error together
};

class PublishTest : public patcher::testing::PatcherTest {
 protected:
  ToolRun Publish(const std::vector<std::string>& arguments) {
    os::ChildProcess child;
    os::ChildProcessOptions options;
    options.capture_output = true;
    ToolRun run;
    if (!child.Start(velmora::testing::ProgramPath("velmora-publish"), arguments, options)) {
      ADD_FAILURE() << "velmora-publish did not start";
      return run;
    }
    const auto code = child.Wait(std::chrono::seconds(120));
    if (!code) {
      child.Kill();
      ADD_FAILURE() << "velmora-publish did not end";
      return run;
    }
    run.code = *code;
    run.output = child.Output();
    return run;
  }

  fs::path Game() const { return temp() / "build"; }
  std::string GameText() const { return Game().string(); }
  std::string ManifestPath() const { return (temp() / "manifest.xml").string(); }

  void Write(const fs::path& relative, const std::string& content) {
    velmora::testing::WriteFileBytes(Game() / relative, content);
  }

  // A build folder with a file of every kind the tool meets.
  void WriteBuildFolder() {
    Write("launcher/Launcher.exe", patcher::testing::BuildVersionedImage(1, 0, 2, 822392 & 0xFFFF));
    Write("launcher/OrvWebKit.dll", patcher::testing::BuildImageWithoutResources());
    Write("launcher/data/page.html", "<html></html>");
    Write("game/data/a.pak", std::string(100000, 'p'));
    Write("game/readme.txt", "read me");
    Write("game/empty.dat", "");
    Write(fs::path(u8"game/\u00C4pfel.txt"), "apples");
    Write("game/notes.log", "left out");
    Write("userdata/save.dat", "left out");
    Write("launcher/NewLauncher.exe", "bootstrap copy");
  }

  ToolRun BuildManifest() {
    return Publish({"build", GameText(), "--name", "live", "--type", "game", "--created",
                    "2024:01:02:03:04", "--build", "822392", "-o", ManifestPath()});
  }

  static std::set<std::string> Lines(const std::string& output, const std::string& prefix) {
    std::set<std::string> lines;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind(prefix, 0) == 0) lines.insert(line.substr(prefix.size()));
    }
    return lines;
  }
};

TEST_F(PublishTest, BuildWritesEveryFileTheLauncherWillCompare) {
  WriteBuildFolder();
  const ToolRun build = BuildManifest();
  ASSERT_EQ(build.code, 0) << build.output;
  const std::string text = velmora::testing::ReadFileBytes(ManifestPath());

  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Image Name=\"live\" "
                       "Type=\"game\" Version=\"1.00\" Created=\"2024:01:02:03:04\" "
                       "Build=\"822392\" Count=\"8\">\r\n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("  <File Name=\"launcher\\Launcher.exe\" Version=\"1.0.2." +
                      std::to_string(822392 & 0xFFFF) + "\" Hash=\"0x"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("<File Name=\"launcher\\OrvWebKit.dll\" Version=\"\" Hash=\"0x"),
            std::string::npos);
  EXPECT_NE(text.find("<File Name=\"game\\readme.txt\" Version=\"\" "
                      "Hash=\"0xef7b5181c1f63f8ca8eebaab0829ee38\" Size=\"7\" Count=\"0\"/>\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("<File Name=\"game\\empty.dat\" Version=\"\" "
                      "Hash=\"0xd41d8cd98f00b204e9800998ecf8427e\" Size=\"0\" Count=\"0\"/>\r\n"),
            std::string::npos);
  for (const char* left_out : {"notes.log", "save.dat"})
    EXPECT_EQ(text.find(left_out), std::string::npos) << left_out;

  // Sorted by name, and read back by the launcher's reader as written.
  patcher::ManifestImage image;
  ASSERT_TRUE(patcher::ReadManifest(text, &image, nullptr)) << LogText();
  EXPECT_EQ(image.entry_count, 8);
  EXPECT_NE(build.output.find("launcher\\NewLauncher.exe\" is listed, but both patch passes"),
            std::string::npos)
      << build.output;
  EXPECT_LT(text.find("game\\data\\a.pak"), text.find("game\\readme.txt"));
  EXPECT_LT(text.find("game\\readme.txt"), text.find("launcher\\Launcher.exe"));
  const patcher::ManifestFile* pak = patcher::FindEntry(&image, u"game/data/a.pak");
  ASSERT_NE(pak, nullptr);
  EXPECT_EQ(pak->size, 100000u);
  EXPECT_NE(patcher::FindEntry(&image, u"game\\\u00C4pfel.txt"), nullptr);
}

TEST_F(PublishTest, AFolderVerifiesAgainstItsOwnManifest) {
  WriteBuildFolder();
  ASSERT_EQ(BuildManifest().code, 0);
  const ToolRun verify = Publish({"verify", GameText(), ManifestPath()});
  EXPECT_EQ(verify.code, 0) << verify.output;
  EXPECT_EQ(Lines(verify.output, "unchanged ").size(), 8u) << verify.output;
  EXPECT_NE(verify.output.find("0 to fetch, 0 to remove, 8 unchanged; 8 of 8 entries found on disk"),
            std::string::npos)
      << verify.output;
}

TEST_F(PublishTest, VerifyReportsWhatAPatchWouldDo) {
  WriteBuildFolder();
  fs::remove(Game() / "launcher" / "NewLauncher.exe");
  ASSERT_EQ(BuildManifest().code, 0);
  Write("game/readme.txt", "read me!");
  Write("game/extra.dat", "not in the manifest");
  fs::remove(Game() / "game" / "empty.dat");

  const ToolRun verify = Publish({"verify", GameText(), ManifestPath()});
  EXPECT_EQ(verify.code, 1) << verify.output;
  EXPECT_EQ(Lines(verify.output, "fetch "),
            (std::set<std::string>{"game\\readme.txt", "game\\empty.dat"}));
  const std::u16string extra = Native(u"\\game\\extra.dat");
  EXPECT_EQ(Lines(verify.output, "remove "),
            (std::set<std::string>{GameText() + velmora::Utf16ToUtf8(extra)}));
  EXPECT_EQ(Lines(verify.output, "unchanged ").size(), 5u);
  EXPECT_NE(verify.output.find("2 to fetch, 1 to remove, 5 unchanged; 6 of 7 entries found on disk"),
            std::string::npos)
      << verify.output;

  const ToolRun launcher_pass =
      Publish({"verify", GameText(), ManifestPath(), "--prefix", "launcher\\"});
  EXPECT_EQ(launcher_pass.code, 0) << launcher_pass.output;
  EXPECT_EQ(Lines(launcher_pass.output, "unchanged ").size(), 3u) << launcher_pass.output;
  const ToolRun game_pass =
      Publish({"verify", GameText(), ManifestPath(), "--prefix", "launcher\\", "--exclude"});
  EXPECT_EQ(game_pass.code, 1);
  EXPECT_EQ(Lines(game_pass.output, "unchanged ").size(), 2u) << game_pass.output;
}

TEST_F(PublishTest, VerifyFailsWithTheReasonOnStandardError) {
  WriteBuildFolder();
  velmora::testing::WriteFileBytes(ManifestPath(),
                                   patcher::testing::ImageText({patcher::testing::FileElement(
                                       "..\\..\\outside.dll", "x")}));
  const ToolRun unsafe = Publish({"verify", GameText(), ManifestPath()});
  EXPECT_EQ(unsafe.code, 2);
  EXPECT_NE(unsafe.output.find("Error: manifest entry \"..\\..\\outside.dll\" is refused"),
            std::string::npos)
      << unsafe.output;
  EXPECT_EQ(Lines(unsafe.output, "remove ").size(), 0u);

  const ToolRun missing = Publish({"verify", GameText(), (temp() / "none.xml").string()});
  EXPECT_EQ(missing.code, 2);
  EXPECT_NE(missing.output.find("cannot read the manifest"), std::string::npos);

  EXPECT_EQ(Publish({"verify", GameText()}).code, 2);
  EXPECT_EQ(Publish({"verify", GameText(), ManifestPath(), "--exclude"}).code, 2);
}

TEST_F(PublishTest, BuildRefusesWhatTheLauncherCouldNotReadBack) {
  Write("f986198.dat", "one");
  Write("f1136482.dat", "two");  // the same name hash as the first
  ToolRun build = BuildManifest();
  EXPECT_EQ(build.code, 2);
  EXPECT_NE(build.output.find("have one name hash"), std::string::npos) << build.output;
  EXPECT_FALSE(fs::exists(ManifestPath()));

  fs::remove(Game() / "f1136482.dat");
  Write(std::string("game/") + std::string(130, 'n'), "too long a name");
  build = BuildManifest();
  EXPECT_EQ(build.code, 2);
  EXPECT_NE(build.output.find("is longer than 127 UTF-16 units"), std::string::npos) << build.output;

  fs::remove(Game() / "game" / std::string(130, 'n'));
  const ToolRun inside = Publish({"build", GameText(), "--name", "n", "--type", "t", "--created", "c",
                              "--build", "b", "-o", (Game() / "manifest.xml").string()});
  EXPECT_EQ(inside.code, 2);
  EXPECT_NE(inside.output.find("must not be written inside"), std::string::npos);
  EXPECT_EQ(Publish({"build", GameText(), "--name", "n"}).code, 2);
  EXPECT_EQ(Publish({"build", GameText(), "--name", std::string(32, 'n'), "--type", "t",
                     "--created", "c", "--build", "b", "-o", ManifestPath()})
                .code,
            2);
}

}  // namespace
}  // namespace velmora::publish
