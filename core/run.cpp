#include "core/run.h"

#include "common/locale_table.h"
#include "common/registry_path.h"
#include "core/launcher_globals.h"
#include "core/launcher_log.h"
#include "core/socket_layer.h"
#include "foundation/os/files.h"
#include "foundation/os/named_mutex.h"
#include "foundation/os/process.h"
#include "foundation/os/system.h"
#include "foundation/text/utf.h"
#include "telemetry/telemetry.h"

namespace velmora {
namespace {

constexpr std::size_t kMaxEnvironmentBytes = 255;
constexpr const char16_t* kErrorCaption = u"Velmora Launcher Error";

// Boxes shown before any window exists have no owner.
void ShowStartupError(const char16_t* text) {
  LauncherLog::ShowErrorMessage(kErrorCaption, text);
}

// Cuts UTF-8 to at most `max_bytes` without splitting a character, so the
// stored name is always valid text.
std::string CutUtf8(const std::string& text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t end = max_bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

void WriteBanner() {
  LauncherLog::Write("\r\n\r\n\r\n\r\n\r\n");
  LauncherLog::Write("==============================================================\r\n");
  LauncherLog::Write("                  Main Patcher Start\r\n");
  LauncherLog::Write("==============================================================\r\n");
  LauncherLog::Write("Launcher started from DLL.\r\n");
}

// The launcher mutex is held from here to the end of the run; a second
// launcher stops at this step. Returns false when this launcher must not run.
bool AcquireLauncherMutex(os::NamedMutex* mutex) {
  switch (mutex->Create(kLauncherMutexName, /*initial_owner=*/true)) {
    case os::NamedMutexOutcome::kCreated:
      return true;
    case os::NamedMutexOutcome::kFailed:
      LauncherLog::Write("Unable to acquire mutex.\r\n");
      ShowStartupError(u"Launcher already running.");
      return false;
    case os::NamedMutexOutcome::kAlreadyExists:
    case os::NamedMutexOutcome::kAccessDenied:
      ShowStartupError(u"Launcher already running.");
      LauncherLog::Write("Unable to acquire mutex, internal error/access denied.\r\n");
      mutex->Release();
      mutex->Close();
      return false;
  }
  return false;
}

// The game holds "Global\Velmora" while it runs; the launcher only probes it.
bool GameIsRunning() {
  os::NamedMutex probe;
  const auto outcome = probe.Create(kGameMutexName, /*initial_owner=*/false);
  probe.Close();
  if (outcome == os::NamedMutexOutcome::kCreated) return false;
  ShowStartupError(u"Game already running.");
  LauncherLog::Write("Error acquiring mutex, most likely already running a game.\r\n");
  return true;
}

LauncherResult RunLauncherObject() {
  LauncherLog::Write("Creating launcher.\r\n");
  // The launcher window, the page and the patcher arrive with the launcher
  // object; until then there is nothing to run after the start-up checks.
  LauncherLog::Write("The launcher window is not built yet, nothing to run.\r\n");
  return 0;
}

}  // namespace

CoreOptions ParseCoreOptions(const std::vector<std::u16string>& arguments) {
  CoreOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (EqualsIgnoreAsciiCase(arguments[i], u"-d")) {
      options.no_self_update = true;
    } else if (EqualsIgnoreAsciiCase(arguments[i], u"-e") && i + 1 < arguments.size()) {
      options.has_environment = true;
      options.environment = CutUtf8(Utf16ToUtf8(arguments[i + 1]), kMaxEnvironmentBytes);
      ++i;  // the name is consumed
    }
  }
  return options;
}

LauncherResult RunLauncher() {
  LauncherResult result = 0;
  WriteBanner();
  (void)os::DeleteFileAt(os::GetCurrentFolder() / "event.log");

  LauncherLog::Write("Starting up telemetry.\r\n");
  SetNoSelfUpdate(false);

  const std::string env_path = ProductValuePath("Manifest\\env");
  std::string environment;
  if (!ReadRegistryText(env_path, &environment, kMaxEnvironmentBytes + 1)) environment.clear();

  std::vector<std::u16string> arguments;
  if (os::GetCommandLineArguments(&arguments)) {
    const CoreOptions options = ParseCoreOptions(arguments);
    if (options.no_self_update) SetNoSelfUpdate(true);
    if (options.has_environment) {
      environment = options.environment;
      if (!WriteRegistryText(env_path, environment))
        LauncherLog::Printf("Unable to store the environment %s in the registry.\r\n",
                            environment.c_str());
    }
  }
  if (environment.empty()) environment = "prod-info";
  LauncherLog::Printf("Patch environment: %s\r\n", environment.c_str());

  SetLauncherVersion(kLauncherVersion);
  SetPatchEnvironmentName(environment);
  StartTelemetry();
  if (TelemetryExists()) SetTelemetryLocale(PackedUserLocaleCode());

  const bool com_initialised = os::InitializeComApartment();
  if (!SocketLayer::Registered()) {
    auto* layer = new SocketLayer;
    SocketLayer::Register(layer);
    (void)layer->Start();
  }

  os::NamedMutex launcher_mutex;
  if (AcquireLauncherMutex(&launcher_mutex)) {
    if (!GameIsRunning()) result = RunLauncherObject();
    launcher_mutex.Release();
    launcher_mutex.Close();
  }

  // These run after every failure above too.
  StopTelemetry();
  if (SocketLayer* layer = SocketLayer::Registered()) {
    layer->Stop();
    delete layer;
    SocketLayer::ClearRegistration();
  }
  if (com_initialised) os::UninitializeComApartment();
  return result;
}

}  // namespace velmora
