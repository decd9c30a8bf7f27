#include "orvwebkit/text.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>

namespace Orv::Text {
namespace {

constexpr std::int32_t kMaxTextureSize = 8192;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Glob matching with '*' and '?', letters without case.
bool MatchesPattern(const std::string& name, std::size_t n, const std::string& pattern,
                    std::size_t p) {
  while (p < pattern.size()) {
    if (pattern[p] == '*') {
      for (std::size_t skip = n; skip <= name.size(); ++skip) {
        if (MatchesPattern(name, skip, pattern, p + 1)) return true;
      }
      return false;
    }
    if (n == name.size()) return false;
    if (pattern[p] != '?' && LowerAscii(pattern[p]) != LowerAscii(name[n])) return false;
    ++p;
    ++n;
  }
  return n == name.size();
}

std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

GlyphCache_Memory::GlyphCache_Memory(std::int32_t texel_depth) : texel_depth_(texel_depth) {}

GlyphCache_Memory::~GlyphCache_Memory() { Shutdown(); }

void GlyphCache_Memory::SetOption(std::int32_t option, std::int32_t value) {
  if (option >= 0 && option < kOptionCount) options_[option] = value;
}

std::int32_t GlyphCache_Memory::GetOption(std::int32_t option) const {
  return option >= 0 && option < kOptionCount ? options_[option] : 0;
}

bool GlyphCache_Memory::HasTextureMemory() const { return options_[kOptionTextureSize] != 0; }

std::size_t GlyphCache_Memory::TexturePageBytes() const {
  const std::size_t side = static_cast<std::size_t>(std::max(options_[kOptionTextureSize], 0));
  const std::size_t depth = static_cast<std::size_t>(std::max(options_[kOptionDepth], 0));
  return side * side * depth / 8;
}

bool GlyphCache_Memory::Init(std::int32_t glyph_padding, std::int32_t texture_pages) {
  Shutdown();
  const std::int32_t depth = options_[kOptionDepth];
  const std::int32_t size = options_[kOptionTextureSize];
  if ((depth != 8 && depth != 32) || size < 0 || size > kMaxTextureSize || glyph_padding < 0 ||
      texture_pages < 0) {
    return false;
  }
  glyph_padding_ = glyph_padding;
  const std::size_t bytes = TexturePageBytes();
  for (std::int32_t i = 0; i < texture_pages && bytes > 0; ++i) {
    auto* page = new (std::nothrow) std::uint8_t[bytes]();
    if (!page) {
      Shutdown();
      return false;
    }
    pages_.push_back(page);
  }
  return true;
}

void GlyphCache_Memory::Shutdown() {
  for (std::uint8_t* page : pages_) delete[] page;
  pages_.clear();
}

std::uint8_t* GlyphCache_Memory::TexturePage(std::int32_t index) {
  if (index < 0 || index >= TexturePageCount()) return nullptr;
  return pages_[static_cast<std::size_t>(index)];
}

bool FontServer::MatchesPatterns(const std::string& file_name, const std::string& patterns) {
  std::size_t start = 0;
  while (start <= patterns.size()) {
    std::size_t end = patterns.find(',', start);
    if (end == std::string::npos) end = patterns.size();
    const std::string pattern = patterns.substr(start, end - start);
    if (!pattern.empty() && MatchesPattern(file_name, 0, pattern, 0)) return true;
    start = end + 1;
  }
  return false;
}

bool FontServer::AddFont(const std::string& path) {
  if (path.empty() || path.size() > kMaxPathBytes) return false;
  std::error_code error;
  if (!std::filesystem::is_regular_file(PathFromUtf8(path), error)) return false;
  if (std::find(fonts_.begin(), fonts_.end(), path) != fonts_.end()) return false;
  fonts_.push_back(path);
  return true;
}

int FontServer::AddFontFolder(const std::string& folder, const std::string& patterns) {
  std::error_code error;
  std::vector<std::filesystem::path> matches;
  for (std::filesystem::directory_iterator it(PathFromUtf8(folder), error), end;
       !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    if (MatchesPatterns(Utf8FromPath(it->path().filename()), patterns)) {
      matches.push_back(it->path());
    }
  }
  std::sort(matches.begin(), matches.end());
  int added = 0;
  for (const auto& path : matches) added += AddFont(Utf8FromPath(path)) ? 1 : 0;
  return added;
}

}  // namespace Orv::Text
