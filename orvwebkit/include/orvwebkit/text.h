// The text system a host hands to the OrvWebKit library: a font server that
// knows the font files the page may use, and glyph caches with texture memory
// for rasterised glyphs. Built into the host (target velmora_orvtext) and
// handed to the library at initialisation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Orv::Text {

// Memory for rasterised glyphs: texture pages of TextureSize x TextureSize
// texels of Depth bits, taken from the program's general heap.
class GlyphCache_Memory {
 public:
  enum Option : std::int32_t {
    kOptionTextureSize = 0,  // texels per side of one texture page
    kOptionDepth = 1,        // bits per texel: 8 or 32
    kOptionCount = 2,
  };

  explicit GlyphCache_Memory(std::int32_t texel_depth);
  ~GlyphCache_Memory();
  GlyphCache_Memory(const GlyphCache_Memory&) = delete;
  GlyphCache_Memory& operator=(const GlyphCache_Memory&) = delete;

  std::int32_t TexelDepth() const { return texel_depth_; }
  // Unknown options are ignored; options only take effect at Init.
  void SetOption(std::int32_t option, std::int32_t value);
  std::int32_t GetOption(std::int32_t option) const;

  // Allocates `texture_pages` pages. `glyph_padding` texels are kept free
  // around each glyph. Fails (and allocates nothing) for a depth other than 8
  // or 32, a negative or oversized texture size, or no memory; calling it
  // again releases the previous pages first.
  bool Init(std::int32_t glyph_padding, std::int32_t texture_pages);
  // Releases the pages; harmless when repeated.
  void Shutdown();

  // True when the texture size option is not 0.
  bool HasTextureMemory() const;
  std::int32_t GlyphPadding() const { return glyph_padding_; }
  std::int32_t TexturePageCount() const { return static_cast<std::int32_t>(pages_.size()); }
  std::size_t TexturePageBytes() const;
  // Texels of one page, row by row; null for a page that does not exist.
  std::uint8_t* TexturePage(std::int32_t index);

 private:
  std::int32_t texel_depth_;
  std::int32_t options_[kOptionCount] = {0, 0};
  std::int32_t glyph_padding_ = 0;
  std::vector<std::uint8_t*> pages_;
};

// The font files known to the text system, in the order they were added.
class FontServer {
 public:
  FontServer() = default;
  FontServer(const FontServer&) = delete;
  FontServer& operator=(const FontServer&) = delete;

  // The file patterns AddFontFolder uses when given none.
  static constexpr const char* kDefaultPatterns = "*.tt?,*.otf,*.bmpFont,*.ffs";
  // The longest path the server keeps, in bytes.
  static constexpr std::size_t kMaxPathBytes = 255;

  // Adds one font file (UTF-8 path). A missing file, a folder, a path longer
  // than kMaxPathBytes or one added before is skipped and answers false.
  bool AddFont(const std::string& path);
  // Adds the files of `folder` (not its subfolders) whose names match one of
  // the comma-separated `patterns` ('*' any run, '?' one character, letters
  // compared without case), in name order. Returns how many were added.
  int AddFontFolder(const std::string& folder, const std::string& patterns = kDefaultPatterns);

  std::size_t FontCount() const { return fonts_.size(); }
  const std::string& FontPath(std::size_t index) const { return fonts_[index]; }

  // Whether a file name matches one of the comma-separated patterns.
  static bool MatchesPatterns(const std::string& file_name, const std::string& patterns);

 private:
  std::vector<std::string> fonts_;
};

}  // namespace Orv::Text
