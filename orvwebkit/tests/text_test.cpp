#include "orvwebkit/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testing/test_support.h"

namespace Orv::Text {
namespace {

using velmora::testing::ScopedTempDir;
using velmora::testing::WriteFileBytes;

std::string Utf8(const std::filesystem::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

TEST(FontServerTest, DefaultPatterns) {
  const struct {
    const char* name;
    bool matches;
  } cases[] = {
      {"arial.ttf", true},  {"MSGOTHIC.TTC", true}, {"a.otf", true},   {"x.bmpFont", true},
      {"x.BMPFONT", true},  {"y.ffs", true},        {"a.tt", false},   {"a.ttff", false},
      {"ttf", false},       {"a.ttf.bak", false},   {".otf", true},    {"font.woff", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FontServer::MatchesPatterns(c.name, FontServer::kDefaultPatterns), c.matches)
        << c.name;
  }
  EXPECT_FALSE(FontServer::MatchesPatterns("a.ttf", ""));
  EXPECT_TRUE(FontServer::MatchesPatterns("a.ttf", ",,*.ttf,"));
}

TEST(FontServerTest, AddsMatchingFilesOfOneFolderInNameOrder) {
  ScopedTempDir temp;
  for (const char* name : {"b.ttf", "a.otf", "c.txt", "sub/d.ttf"}) {
    WriteFileBytes(temp.path() / name, "font");
  }
  std::filesystem::create_directories(temp.path() / "e.ttf");  // a folder, not a font
  FontServer server;
  EXPECT_EQ(server.AddFontFolder(Utf8(temp.path())), 2);
  ASSERT_EQ(server.FontCount(), 2u);
  EXPECT_EQ(std::filesystem::path(server.FontPath(0)).filename(), "a.otf");
  EXPECT_EQ(std::filesystem::path(server.FontPath(1)).filename(), "b.ttf");
  // Adding again changes nothing; a missing folder adds nothing.
  EXPECT_EQ(server.AddFontFolder(Utf8(temp.path())), 0);
  EXPECT_EQ(server.AddFontFolder(Utf8(temp.path() / "missing")), 0);
}

TEST(FontServerTest, SkipsMissingAndOverlongFonts) {
  ScopedTempDir temp;
  WriteFileBytes(temp.path() / "f.ttf", "font");
  FontServer server;
  EXPECT_FALSE(server.AddFont(Utf8(temp.path() / "missing.ttf")));
  EXPECT_FALSE(server.AddFont(Utf8(temp.path()) + "/" + std::string(300, 'x') + ".ttf"));
  EXPECT_FALSE(server.AddFont(""));
  EXPECT_TRUE(server.AddFont(Utf8(temp.path() / "f.ttf")));
  EXPECT_EQ(server.FontCount(), 1u);
}

TEST(GlyphCacheTest, TextureMemoryFollowsTheTextureSizeOption) {
  GlyphCache_Memory cache(8);
  EXPECT_FALSE(cache.HasTextureMemory());
  cache.SetOption(GlyphCache_Memory::kOptionTextureSize, 1024);
  cache.SetOption(GlyphCache_Memory::kOptionDepth, 8);
  EXPECT_TRUE(cache.HasTextureMemory());
  ASSERT_TRUE(cache.Init(2, 1));
  EXPECT_EQ(cache.TexturePageCount(), 1);
  EXPECT_EQ(cache.TexturePageBytes(), 1024u * 1024u);
  ASSERT_NE(cache.TexturePage(0), nullptr);
  EXPECT_EQ(cache.TexturePage(1), nullptr);
  cache.Shutdown();
  cache.Shutdown();
  EXPECT_EQ(cache.TexturePageCount(), 0);
}

TEST(GlyphCacheTest, RefusesDepthsOtherThan8And32) {
  const struct {
    int depth;
    bool ok;
    std::size_t page_bytes;
  } cases[] = {{8, true, 64 * 64}, {32, true, 64 * 64 * 4}, {16, false, 0}, {0, false, 0}};
  for (const auto& c : cases) {
    GlyphCache_Memory cache(c.depth);
    cache.SetOption(GlyphCache_Memory::kOptionTextureSize, 64);
    cache.SetOption(GlyphCache_Memory::kOptionDepth, c.depth);
    EXPECT_EQ(cache.Init(2, 2), c.ok) << c.depth;
    EXPECT_EQ(cache.TexturePageCount(), c.ok ? 2 : 0) << c.depth;
    if (c.ok) {
      EXPECT_EQ(cache.TexturePageBytes(), c.page_bytes);
    }
  }
}

}  // namespace
}  // namespace Orv::Text
