// LauncherLog: the launcher's one diagnostic file, "launcher.log".
//
// The file lives in <roaming application data>\VelmoraData\Launcher\ (on POSIX
// <$XDG_DATA_HOME>/VelmoraData/Launcher/), or in the current folder when the
// system names no application-data folder. Every entry is
// "[<asctime stamp> UTC] <message>"; messages carry their own CR LF. Each entry
// opens, appends and closes the file under one lock, so it is on disk when the
// call returns and other programs may read or delete the file meanwhile.
//
// All operations may be called from any thread at any time; the first one
// performs the set-up (folder, and a fresh file when the old one grew past
// 1,232,896 bytes).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace velmora {

class LauncherLog {
 public:
  // Appends one entry. A null text writes nothing.
  static void Write(const char* text);
  static void Write(const std::string& text) { Write(text.c_str()); }
  // Converts UTF-16 to UTF-8 unit by unit (surrogates are not paired) into at
  // most 2048 bytes, then writes it.
  static void WriteWide(const char16_t* text);
  // Formats (narrow conventions of foundation/text/format.h) into at most
  // 2047 bytes; a longer result is cut there and the entry is written.
  static void Printf(const char* format, ...);
  // Formats (wide conventions) into at most 2047 units, then as WriteWide.
  static void PrintfWide(const char16_t* format, ...);

  // The log folder after set-up (ends in a separator) and the file path.
  static std::filesystem::path Folder();
  static std::filesystem::path FilePath();

  // Shows a modal error box (error icon) owned by the message-box owner
  // window when one is set, and blocks until it is closed.
  static void ShowErrorMessage(const std::u16string& caption, const std::u16string& text);
  // The window that owns error boxes (the current launcher window), or null.
  static void SetMessageBoxOwner(void* native_window);

  // The UTF-16 to UTF-8 rule of WriteWide, exposed for its tests.
  static std::string ConvertUnitsToUtf8(const char16_t* text, std::size_t max_bytes);

  // Forgets the set-up so that the next write performs it again (tests).
  static void ResetForTesting();
};

}  // namespace velmora
