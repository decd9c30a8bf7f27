#include "bootstrap/bootstrap.h"

#include <chrono>
#include <thread>

#include "bootstrap/self_replacement.h"
#include "common/locale_table.h"
#include "foundation/os/dialog.h"
#include "foundation/os/dynamic_library.h"
#include "foundation/os/files.h"
#include "foundation/os/process.h"
#include "foundation/os/string_resource.h"

namespace velmora {
namespace {

constexpr int kDeleteAttempts = 5;
constexpr auto kDeleteRetryDelay = std::chrono::milliseconds(250);
constexpr int kTextUnits = 1024;
constexpr int kCaptionUnits = 256;

using RunFunction = std::int32_t (*)(void*, void*, void*, char*, int);

bool StartsWith(const std::u16string& text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && std::u16string_view(text).substr(0, prefix.size()) == prefix;
}

std::u16string LoadBootstrapText(std::int32_t base, int n, int max_units) {
  const void* self = reinterpret_cast<const void*>(&LoadBootstrapText);
  std::u16string text;
  if (os::LoadStringResource(self, static_cast<std::uint32_t>(base + n), &text, max_units))
    return text;
  // Only English ships: other languages show the English text rather than an
  // empty box.
  if (base != 100 && os::LoadStringResource(self, static_cast<std::uint32_t>(100 + n), &text,
                                            max_units))
    return text;
  return {};
}

}  // namespace

bool ParseHexHandle(const std::u16string& text, std::uint32_t* value) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    // "0x" counts only when a hex digit follows, as with %X.
    const char16_t after = i + 2 < text.size() ? text[i + 2] : 0;
    if ((after >= u'0' && after <= u'9') || (after >= u'a' && after <= u'f') ||
        (after >= u'A' && after <= u'F'))
      i += 2;
  }
  std::uint64_t result = 0;
  std::size_t digits = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    unsigned digit;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    else if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    else break;
    result = result * 16 + digit;
    if (result > 0xFFFFFFFFu) return false;  // not a handle this process could hold
    ++digits;
  }
  if (digits == 0) return false;
  *value = static_cast<std::uint32_t>(result);
  return true;
}

BootstrapOptions ParseBootstrapOptions(const std::vector<std::u16string>& arguments) {
  static constexpr std::u16string_view kHandle = u"-handle:";
  static constexpr std::u16string_view kSelfPatch = u"-selfpatch:";
  static constexpr std::u16string_view kDelete = u"-del:";
  BootstrapOptions options;
  for (const auto& argument : arguments) {
    if (StartsWith(argument, kHandle)) {
      std::uint32_t handle;
      if (ParseHexHandle(argument.substr(kHandle.size()), &handle)) options.handle = handle;
    } else if (StartsWith(argument, kSelfPatch)) {
      options.self_patch = true;
      options.self_patch_folder = argument.substr(kSelfPatch.size());
    } else if (StartsWith(argument, kDelete)) {
      options.has_delete_path = true;
      options.delete_path = argument.substr(kDelete.size());
    }
  }
  return options;
}

void DeleteHandOverFile(const std::u16string& path_text) {
  if (path_text.empty()) return;
  const std::filesystem::path path(path_text);
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    if (!os::PathExists(path) || os::IsDirectory(path)) return;
    if (attempt > 0) std::this_thread::sleep_for(kDeleteRetryDelay);
    (void)os::DeleteFileAt(path);
  }
  if (os::IsRegularFile(path)) (void)os::ScheduleDeleteAtRestart(path);
}

void ShowBootstrapMessage(std::int32_t base, int n) {
  const std::u16string caption = LoadBootstrapText(base, 1, kCaptionUnits);
  const std::u16string text = LoadBootstrapText(base, n, kTextUnits);
  (void)os::ShowMessageBox(nullptr, caption, text, os::DialogButtons::kOk, os::DialogIcon::kError);
}

int BootstrapMain(void* instance, char* command_line, int show_command) {
  // Registry or locale failures fall back to English (base 100) silently.
  const std::int32_t base = ComputeStringIdBase();

  std::vector<std::u16string> arguments;
  if (os::GetCommandLineArguments(&arguments) && !arguments.empty()) {
    const BootstrapOptions options = ParseBootstrapOptions(arguments);
    if (options.handle != 0) os::WaitForProcessHandleAndClose(options.handle);
    if (options.has_delete_path) DeleteHandOverFile(options.delete_path);
    if (options.self_patch) return PerformSelfPatch(options.self_patch_folder, base) ? 0 : 1;
  }

  std::int32_t result;
  os::LibraryHandle library = os::LoadDynamicLibrary(os::SharedLibraryFileName("Vostrel"));
  if (!library) {
    ShowBootstrapMessage(base, 2);
    result = -1;
  } else if (auto run = reinterpret_cast<RunFunction>(os::GetLibrarySymbol(library, "Run"));
             !run) {
    ShowBootstrapMessage(base, 3);
    os::FreeDynamicLibrary(library);
    result = -2;
  } else {
    result = run(library, instance, nullptr, command_line, show_command);
    os::FreeDynamicLibrary(library);
  }

  if (result < 0) return 1;
  if (result == 2) return StartSelfUpdateHandOver(base) ? 0 : 1;
  return 0;
}

}  // namespace velmora
