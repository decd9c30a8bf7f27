#include "patcher/manifest.h"

#include <gtest/gtest.h>

#include <set>

#include "foundation/text/utf.h"
#include "patcher/file_validation.h"
#include "patcher/tests/patcher_test_support.h"

namespace velmora::patcher {
namespace {

using testing::FileElement;
using testing::ImageText;
using testing::PatcherTest;

constexpr const char* kHash = "0x0123456789abcdef0123456789ABCDEF";

std::string ErrorLine(const std::string& message, int line) {
  return message + "\nFile: manifest\tLine: " + std::to_string(line) + "\n";
}

std::set<std::string> EntryNames(const ManifestImage& image) {
  std::set<std::string> names;
  for (const auto& entry : image.entries) names.insert(Utf16ToUtf8(entry.name));
  return names;
}

class ManifestTest : public PatcherTest {};

TEST_F(ManifestTest, ReadsFilesAndSnapsSortedByNameHash) {
  const std::string text = ImageText({
      FileElement("game\\b.dat", "bee", ""),
      "<Snap Name=\"game\\pack.snap\" Version=\"\" Hash=\"0X0123456789ABCDEF0123456789abcdef\" "
      "Size=\"4096\" Count=\"2\">"
      "<Record Name=\"zeta.tex\" Hash=\"" + std::string(kHash) +
          "\" Size=\"10\" SizeCompressed=\"4\" Time=\"2024:01:02:03:04\" Offset=\"0\"/>"
          "<Record Name=\"alpha.tex\" Hash=\"" + kHash +
          "\" Size=\"20\" SizeCompressed=\"8\" Time=\"2024:01:02:03:04\" Offset=\"4\"></Record>"
          "</Snap>",
      FileElement("launcher/Launcher.exe", "exe", "1.0.2.822392"),
  });
  ManifestImage image;
  ASSERT_TRUE(ReadManifest(text, &image, nullptr)) << LogText();
  EXPECT_EQ(image.name, "test");
  EXPECT_EQ(image.type, "game");
  EXPECT_EQ(image.created, "2024:01:02:03:04");
  EXPECT_EQ(image.build, "77");
  ASSERT_EQ(image.entry_count, 3);
  for (std::size_t i = 1; i < image.entries.size(); ++i)
    EXPECT_LT(image.entries[i - 1].name_hash, image.entries[i].name_hash);

  const ManifestFile* exe = FindEntry(&image, u"LAUNCHER\\launcher.EXE");
  ASSERT_NE(exe, nullptr);
  EXPECT_EQ(exe->name, u"launcher/Launcher.exe");
  EXPECT_EQ(exe->version, "1.0.2.822392");
  EXPECT_EQ(exe->size, 3u);
  EXPECT_EQ(FormatDigest(exe->md5), FormatDigest(ComputeMd5("exe", 3)));
  EXPECT_EQ(exe->processed, 0u);

  const ManifestFile* snap = FindEntry(&image, u"game/pack.snap");
  ASSERT_NE(snap, nullptr);
  EXPECT_EQ(FormatDigest(snap->md5), "0x0123456789abcdef0123456789abcdef")
      << "0X and upper-case digits decode like lower case without the prefix";
  ASSERT_EQ(snap->record_count, 2);
  ASSERT_EQ(snap->records.size(), 2u);
  EXPECT_LT(snap->records[0].name_hash, snap->records[1].name_hash);
  for (const auto& record : snap->records) {
    EXPECT_EQ(record.name_hash, NameHash(record.name));
    EXPECT_EQ(record.compressed_size * 5, record.size * 2);
  }
  EXPECT_EQ(FindEntry(&image, u"game\\missing.dat"), nullptr);
  EXPECT_EQ(CountInLog("processing image, \"test\", type, \"game\", version, \"1.00\", created "
                       "\"2024:01:02:03:04\", build, \"77\"...\r\n"),
            1);

  DestroyImage(&image);
  EXPECT_TRUE(image.entries.empty());
  EXPECT_EQ(image.entry_count, 0);
  EXPECT_TRUE(image.name.empty());
}

TEST_F(ManifestTest, OnlyFormatVersionOneIsAccepted) {
  for (const char* version : {"1.0", "2.00", ""}) {
    ManifestImage image;
    EXPECT_FALSE(ReadManifest(ImageText({FileElement("a", "a")}, -1, version), &image, nullptr))
        << version;
  }
  EXPECT_EQ(CountInLog("processing image, "), 3);
  EXPECT_EQ(CountInLog("Error:"), 0) << "no further message after the processing line";
}

TEST_F(ManifestTest, CountBoundsTheChildren) {
  const std::string two = FileElement("a", "1") + FileElement("b", "2");
  ManifestImage fewer;
  ASSERT_TRUE(ReadManifest(ImageText({two}, 3), &fewer, nullptr)) << LogText();
  EXPECT_EQ(fewer.entry_count, 2);

  ManifestImage forged;  // a huge count reserves nothing the text cannot fill
  ASSERT_TRUE(ReadManifest(ImageText({two}, 2147483647), &forged, nullptr));
  EXPECT_EQ(forged.entry_count, 2);

  ManifestImage more;
  EXPECT_FALSE(ReadManifest(ImageText({two, FileElement("c", "3"), FileElement("d", "4")}, 3),
                            &more, nullptr));
  EXPECT_EQ(CountInLog(ErrorLine("Error: reading close block. \"Image\".", 225)), 1) << LogText();
}

TEST_F(ManifestTest, SnapWithoutRecordsMayCloseItself) {
  ManifestImage image;
  ASSERT_TRUE(ReadManifest(
      ImageText({"<Snap Name=\"s.snap\" Version=\"\" Hash=\"" + std::string(kHash) +
                 "\" Size=\"0\" Count=\"0\"/>"}),
      &image, nullptr))
      << LogText();
  ASSERT_EQ(image.entry_count, 1);
  EXPECT_TRUE(image.entries[0].records.empty());
}

TEST_F(ManifestTest, ALineBreakAfterTheElementNameDoesNotOpenIt) {
  const std::string file_attributes =
      "Name=\"a\" Version=\"\" Hash=\"" + std::string(kHash) + "\" Size=\"1\" Count=\"0\"/>";
  ManifestImage tab;
  EXPECT_TRUE(ReadManifest(ImageText({"<File\t" + file_attributes}), &tab, nullptr));
  ManifestImage line_break;
  EXPECT_FALSE(ReadManifest(ImageText({"<File\n" + file_attributes}), &line_break, nullptr));
  EXPECT_EQ(CountInLog(ErrorLine("Error: reading close block. \"Image\".", 225)), 1) << LogText();
}

TEST_F(ManifestTest, NamesMatchWithoutCaseAndCommentsAreSkipped) {
  const std::string text =
      "<!-- made by hand -->\n<IMAGE NAME=\"n\" type=\"t\" VERSION=\"1.00\" Created=\"c\" "
      "build=\"b\" count=\"2\">\n<!-- first -->\n<file name=\"a\" VERSION=\"\" HASH=\"" +
      std::string(kHash) + "\" size=\"1\" COUNT=\"0\"></FILE>\n<!-- second -->\n<File Name=\"b\" "
      "Version=\"\" Hash=\"" + kHash + "\" Size=\"1\" Count=\"0\"/>\n<!-- end --></image>";
  ManifestImage image;
  ASSERT_TRUE(ReadManifest(text, &image, nullptr)) << LogText();
  EXPECT_EQ(EntryNames(image), (std::set<std::string>{"a", "b"}));
}

TEST_F(ManifestTest, EveryFailingStepLogsItsOwnLine) {
  const std::string h = kHash;
  const std::string image_head =
      "<Image Name=\"n\" Type=\"t\" Version=\"1.00\" Created=\"c\" Build=\"b\" Count=\"1\">";
  const std::string record_ok = "<Record Name=\"r\" Hash=\"" + h +
                                "\" Size=\"1\" SizeCompressed=\"1\" Time=\"t\" Offset=\"0\"/>";
  auto snap = [&](const std::string& records) {
    return image_head + "<Snap Name=\"s\" Version=\"\" Hash=\"" + h +
           "\" Size=\"1\" Count=\"1\">" + records + "</Snap></Image>";
  };
  const struct {
    std::string text;
    std::string message;
    int line;
  } cases[] = {
      {"<Manifest/>", "Error: reading open block. \"Image\".", 134},
      {"<Image Type=\"t\"/>", "Error: reading string, \"Name\" into \"pImage->name\".", 135},
      {"<Image Name=\"" + std::string(32, 'n') + "\"/>",
       "Error: reading string, \"Name\" into \"pImage->name\".", 135},
      {"<Image Name=\"n\" Version=\"1.00\"/>", "Error: reading string, \"Type\" into \"pImage->type\".", 136},
      {"<Image Name=\"n\" Type=\"t\"/>", "Error: reading string, \"Version\" into \"pImage->version\".", 137},
      {"<Image Name=\"n\" Type=\"t\" Version=\"1.00\"/>",
       "Error: reading string, \"Created\" into \"pImage->created\".", 138},
      {"<Image Name=\"n\" Type=\"t\" Version=\"1.00\" Created=\"c\"/>",
       "Error: reading string, \"Build\" into \"pImage->build\".", 139},
      {"<Image Name=\"n\" Type=\"t\" Version=\"1.00\" Created=\"c\" Build=\"b\"/>",
       "Error: reading int, \"Count\" into \"pImage->count\".", 140},
      {"<Image Name=\"n\" Type=\"t\" Version=\"1.00\" Created=\"c\" Build=\"b\" Count=\"-1\"/>",
       "Error: reading int, \"Count\" into \"pImage->count\".", 140},
      {image_head + "<File Version=\"\" Name=\"a\"/></Image>",
       "Error: reading string, \"Name\" into \"temp\".", 155},
      {image_head + "<File Name=\"a\" Hash=\"" + h + "\"/></Image>",
       "Error: reading string, \"Version\" into \"pImage->files[i].version\".", 158},
      {image_head + "<File Name=\"a\" Version=\"\" Hash=\"0x0123\"/></Image>",
       "Error: reading string, \"Hash\" into \"hash\".", 159},
      {image_head + "<File Name=\"a\" Version=\"\" Hash=\"" + h.substr(2) + "zz\"/></Image>",
       "Error: reading string, \"Hash\" into \"hash\".", 159},
      {image_head + "<File Name=\"a\" Version=\"\" Hash=\"" + h + "\" Size=\"1a\"/></Image>",
       "Error: reading int, \"Size\" into \"pImage->files[i].size\".", 161},
      {image_head + "<File Name=\"a\" Version=\"\" Hash=\"" + h + "\" Size=\"1\"/></Image>",
       "Error: reading int, \"Count\" into \"pImage->files[i].snap_count\".", 163},
      {image_head + "<File Name=\"a\" Version=\"\" Hash=\"" + h + "\" Size=\"1\" Count=\"1\"/></Image>",
       "Error: reading int, \"Count\" into \"pImage->files[i].snap_count\".", 163},
      {image_head + "<File Name=\"a\" Version=\"\" Hash=\"" + h + "\" Size=\"1\" Count=\"0\"></Snap></Image>",
       "Error: reading close block. \"File\".", 165},
      {image_head + "<Snap Version=\"\"/></Image>", "Error: reading string, \"Name\" into \"temp\".", 172},
      {image_head + "<Snap Name=\"s\" Version=\"" + std::string(32, 'v') + "\"/></Image>",
       "Error: reading string, \"Version\" into \"pImage->files[i].version\".", 175},
      {image_head + "<Snap Name=\"s\" Version=\"\" Hash=\"\"/></Image>",
       "Error: reading string, \"Hash\" into \"hash\".", 176},
      {image_head + "<Snap Name=\"s\" Version=\"\" Hash=\"" + h + "\" Size=\"\"/></Image>",
       "Error: reading int, \"Size\" into \"pImage->files[i].size\".", 178},
      {image_head + "<Snap Name=\"s\" Version=\"\" Hash=\"" + h + "\" Size=\"1\" Count=\"-2\"/></Image>",
       "Error: reading int, \"Count\" into \"pImage->files[i].snap_count\".", 180},
      {snap("<File/>"), "Error: reading open block. \"Record\".", 187},
      {snap("<Record Hash=\"" + h + "\"/>"), "Error: reading string, \"Name\" into \"temp\".", 190},
      {snap("<Record Name=\"r\" Hash=\"x\"/>"), "Error: reading string, \"Hash\" into \"hash\".", 193},
      {snap("<Record Name=\"r\" Hash=\"" + h + "\" Size=\"-1\"/>"),
       "Error: reading int, \"Size\" into \"pImage->files[i].snap_files[j].size\".", 195},
      {snap("<Record Name=\"r\" Hash=\"" + h + "\" Size=\"1\" Time=\"t\"/>"),
       "Error: reading int, \"SizeCompressed\" into "
       "\"pImage->files[i].snap_files[j].sizeCompressed\".",
       196},
      {snap("<Record Name=\"r\" Hash=\"" + h + "\" Size=\"1\" SizeCompressed=\"1\" Offset=\"0\"/>"),
       "Error: reading string, \"Time\" into \"value\".", 197},
      {snap("<Record Name=\"r\" Hash=\"" + h + "\" Size=\"1\" SizeCompressed=\"1\" Time=\"t\"/>"),
       "Error: reading int, \"Offset\" into \"pImage->files[i].snap_files[j].offset\".", 201},
      {snap("<Record Name=\"r\" Hash=\"" + h +
            "\" Size=\"1\" SizeCompressed=\"1\" Time=\"t\" Offset=\"0\"></Snap>"),
       "Error: reading close block. \"Record\".", 203},
      {snap(record_ok + record_ok), "Error: reading close block. \"Snap\".", 205},
  };
  for (const auto& c : cases) {
    ClearLog();
    ManifestImage image;
    EXPECT_FALSE(ReadManifest(c.text, &image, nullptr)) << c.text;
    EXPECT_EQ(CountInLog(ErrorLine(c.message, c.line)), 1) << c.text << "\n" << LogText();
    EXPECT_EQ(CountInLog("Error:"), 1) << c.text << "\n" << LogText();
  }
}

TEST_F(ManifestTest, NamesLongerThan127UnitsAreRefused) {
  ManifestImage fits;
  EXPECT_TRUE(ReadManifest(ImageText({FileElement(std::string(127, 'n'), "x")}), &fits, nullptr));
  ManifestImage too_long;
  EXPECT_FALSE(ReadManifest(ImageText({FileElement(std::string(128, 'n'), "x")}), &too_long, nullptr));
  // Two UTF-8 bytes per unit: 127 units fit in 254 bytes.
  std::string wide;
  for (int i = 0; i < 127; ++i) wide += "\xC3\xA4";
  ManifestImage wide_fits;
  EXPECT_TRUE(ReadManifest(ImageText({FileElement(wide, "x")}), &wide_fits, nullptr));
  EXPECT_EQ(CountInLog("is longer than 127 UTF-16 units.\r\n"), 1);
}

TEST_F(ManifestTest, FiltersKeepOnePassEachAndDropTheNewLauncher) {
  const std::string text = ImageText({
      FileElement("launcher\\Launcher.exe", "1"),
      FileElement("launcher//data/a.png", "2"),
      FileElement("launcher\\NewLauncher.exe", "3"),
      FileElement("launchers\\x.dll", "4"),
      FileElement("launcher", "5"),
      FileElement("game\\x.dat", "6"),
  });
  const EntryFilter launcher_only{u"launcher\\", false};
  const EntryFilter all_but_launcher{u"launcher\\", true};
  ManifestImage launcher;
  ASSERT_TRUE(ReadManifest(text, &launcher, &launcher_only)) << LogText();
  EXPECT_EQ(EntryNames(launcher),
            (std::set<std::string>{"launcher\\Launcher.exe", "launcher//data/a.png"}));
  EXPECT_EQ(launcher.entry_count, 2);
  ManifestImage game;
  ASSERT_TRUE(ReadManifest(text, &game, &all_but_launcher)) << LogText();
  EXPECT_EQ(EntryNames(game),
            (std::set<std::string>{"launchers\\x.dll", "launcher", "game\\x.dat"}));
  ManifestImage all;
  ASSERT_TRUE(ReadManifest(text, &all, nullptr));
  EXPECT_EQ(all.entry_count, 6) << "without a filter nothing is dropped";
}

TEST_F(ManifestTest, AManifestNamingAPathOutsideTheInstallIsRefused) {
  for (const char* name : {"..\\..\\x.dll", "game\\..\\..\\..\\boot.ini", "C:\\Windows\\x.dll",
                           "\\\\server\\share\\x.dll", "/etc/cron.d/x", "game\\con.dat"}) {
    ClearLog();
    ManifestImage image;
    const std::string text = ImageText({FileElement("game\\ok.dat", "1"), FileElement(name, "2")});
    EXPECT_FALSE(ReadManifest(text, &image, nullptr)) << name;
    EXPECT_EQ(CountInLog(std::string("Error: manifest entry \"") + name + "\" is refused: "), 1)
        << LogText();
    // Even a pass whose filter would drop the entry refuses the manifest.
    const EntryFilter launcher_only{u"launcher\\", false};
    ManifestImage filtered;
    EXPECT_FALSE(ReadManifest(text, &filtered, &launcher_only)) << name;
  }
}

TEST_F(ManifestTest, LookupFindsOneOfTwoNamesWithEqualHashes) {
  // f986198.dat and f1136482.dat have the same FNV-1 hash.
  ASSERT_EQ(NameHash(u"f986198.dat"), NameHash(u"f1136482.dat"));
  ManifestImage image;
  ASSERT_TRUE(ReadManifest(ImageText({FileElement("f986198.dat", "1"), FileElement("x", "2"),
                                      FileElement("f1136482.dat", "3")}),
                           &image, nullptr));
  const ManifestFile* first = FindEntry(&image, u"f986198.dat");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(FindEntry(&image, u"f1136482.dat"), first) << "names are never compared";
}

}  // namespace
}  // namespace velmora::patcher
