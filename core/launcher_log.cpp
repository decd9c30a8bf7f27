#include "core/launcher_log.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <mutex>

#include "foundation/os/debug_output.h"
#include "foundation/os/dialog.h"
#include "foundation/os/files.h"
#include "foundation/text/format.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// A log older than this is started afresh at the first write of a run.
constexpr std::uintmax_t kMaxLogSizeAtStart = 0x12D000;  // 1,232,896 bytes
constexpr std::size_t kMaxFormattedBytes = 2047;
constexpr std::size_t kMaxFormattedUnits = 2047;
constexpr std::size_t kMaxConvertedBytes = 2048;  // terminator included

struct LogState {
  bool initialised = false;
  fs::path folder;
  fs::path file;
  std::mutex lock;
  void* message_box_owner = nullptr;
};

// Destroyed when the library unloads, after Run has joined every thread.
LogState& State() {
  static LogState state;
  return state;
}

void AppendEntry(LogState& state, const char* message);

// Set-up runs on the main thread before other threads exist (the first write
// comes from Run's banner), so it takes no lock.
void EnsureSetUp() {
  LogState& state = State();
  if (state.initialised) return;
  state.initialised = true;

  fs::path appdata;
  if (!os::GetRoamingAppDataFolder(&appdata)) {
    state.folder = fs::path(".") / "";
    state.file = state.folder / "launcher.log";
    AppendEntry(state, "Unable to find appdata path, logging to local directory.\r\n");
  } else {
    state.folder = appdata;
    // Create every missing level of VelmoraData/Launcher in turn.
    for (const char* level : {"VelmoraData", "Launcher"}) {
      state.folder /= level;
      (void)os::CreateFolder(state.folder);
    }
    state.folder /= "";
    state.file = state.folder / "launcher.log";
  }

  if (os::IsRegularFile(state.file)) {
    const auto size = os::GetFileSize(state.file);
    if (size && *size > kMaxLogSizeAtStart) (void)os::DeleteFileAt(state.file);
  }
}

// "Wed Jan 02 02:03:55 1980": asctime's form, built by hand so that no
// locale or thread-unsafe static buffer is involved.
std::string UtcStamp() {
  static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss<seconds> time{now - day};
  const unsigned weekday_index = weekday{day}.c_encoding();
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%s %s %02u %02d:%02d:%02d %d", kDays[weekday_index],
                kMonths[(static_cast<unsigned>(date.month()) + 11) % 12],
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                static_cast<int>(date.year()));
  return stamp;
}

void AppendEntry(LogState& state, const char* message) {
  const std::string stamp = UtcStamp();
  std::lock_guard<std::mutex> guard(state.lock);
  os::WriteDebuggerOutput(message);
  // Binary append: the message's own CR LF goes to disk unchanged.
  std::ofstream file(state.file, std::ios::binary | std::ios::app);
  if (!file) return;  // the entry is lost without notice
  file << '[' << stamp << " UTC] " << message;
}

}  // namespace

void LauncherLog::Write(const char* text) {
  EnsureSetUp();
  if (!text) return;
  AppendEntry(State(), text);
}

std::string LauncherLog::ConvertUnitsToUtf8(const char16_t* text, std::size_t max_bytes) {
  std::string out;
  if (!text || max_bytes == 0) return out;
  for (const char16_t* p = text; *p; ++p) {
    const unsigned unit = *p;
    char bytes[3];
    std::size_t count;
    // Each unit on its own: surrogate halves become three-byte sequences.
    if (unit < 0x80) {
      bytes[0] = static_cast<char>(unit);
      count = 1;
    } else if (unit < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (unit >> 6));
      bytes[1] = static_cast<char>(0x80 | (unit & 0x3F));
      count = 2;
    } else {
      bytes[0] = static_cast<char>(0xE0 | (unit >> 12));
      bytes[1] = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (unit & 0x3F));
      count = 3;
    }
    // The terminator needs one byte of the limit too.
    if (out.size() + count + 1 > max_bytes) break;
    out.append(bytes, count);
  }
  return out;
}

void LauncherLog::WriteWide(const char16_t* text) {
  EnsureSetUp();
  if (!text) return;
  const std::string converted = ConvertUnitsToUtf8(text, kMaxConvertedBytes);
  AppendEntry(State(), converted.c_str());
}

void LauncherLog::Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  if (text.size() > kMaxFormattedBytes) text.resize(kMaxFormattedBytes);
  Write(text.c_str());
}

void LauncherLog::PrintfWide(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::u16string text = FormatWideV(format, args);
  va_end(args);
  if (text.size() > kMaxFormattedUnits) text.resize(kMaxFormattedUnits);
  WriteWide(text.c_str());
}

fs::path LauncherLog::Folder() {
  EnsureSetUp();
  return State().folder;
}

fs::path LauncherLog::FilePath() {
  EnsureSetUp();
  return State().file;
}

void LauncherLog::ShowErrorMessage(const std::u16string& caption, const std::u16string& text) {
  (void)os::ShowMessageBox(State().message_box_owner, caption, text, os::DialogButtons::kOk,
                           os::DialogIcon::kError);
}

void LauncherLog::SetMessageBoxOwner(void* native_window) {
  State().message_box_owner = native_window;
}

void LauncherLog::ResetForTesting() {
  LogState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.initialised = false;
  state.folder.clear();
  state.file.clear();
}

}  // namespace velmora
