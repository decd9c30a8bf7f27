// The version resource of an executable or library file.
//
// Windows: the system's version resource functions (GetFileVersionInfoW and
// VerQueryValueW on "\"), loaded from version.dll at first use. POSIX: a small
// reader of the Windows PE format, because the game's binaries stay Windows
// binaries on every platform and must compare the same way: it finds the
// RT_VERSION resource through the resource directory and takes its
// VS_FIXEDFILEINFO. Both give no version when the file is not a PE image, has
// no version resource, or its fixed information lacks the 0xFEEF04BD
// signature.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace velmora::os {

struct FileVersionNumbers {
  std::uint32_t most_significant = 0;   // dwFileVersionMS
  std::uint32_t least_significant = 0;  // dwFileVersionLS
};

std::optional<FileVersionNumbers> ReadFileVersionNumbers(const std::filesystem::path& path);

// "%d.%d.%d.%d" of the high and low 16 bits of the most significant word and
// then of the least significant one; nothing when the file has no version.
inline std::optional<std::string> ReadFileVersionText(const std::filesystem::path& path) {
  const auto numbers = ReadFileVersionNumbers(path);
  if (!numbers) return std::nullopt;
  return std::to_string(numbers->most_significant >> 16) + "." +
         std::to_string(numbers->most_significant & 0xFFFF) + "." +
         std::to_string(numbers->least_significant >> 16) + "." +
         std::to_string(numbers->least_significant & 0xFFFF);
}

}  // namespace velmora::os
