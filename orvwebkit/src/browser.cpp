#include "orvwebkit/src/browser.h"

#include <thread>

namespace velmora::orvwebkit {
namespace {

constexpr char kProfilePrefix[] = "OrvWebKit-";
constexpr char kProfileSuffix[] = "-profile";
constexpr char kActivePortFile[] = "DevToolsActivePort";
constexpr std::uint32_t kPathBytes = 512;
// The socket path the browser makes in its temporary folder adds 46 bytes.
constexpr std::size_t kMaxBrowserTemporaryPath = 60;

std::string ReadWholeFile(Orv::WebKit::FileSystem* fs, const std::string& path) {
  std::string text;
  Orv::WebKit::FileObject* file = fs->CreateFileObject();
  if (!file) return text;
  if (fs->Open(file, path.c_str(), Orv::WebKit::FileSystem::kAccessRead)) {
    char chunk[512];
    for (;;) {
      const std::int32_t got = fs->Read(file, chunk, sizeof chunk);
      if (got <= 0 || text.size() > 4096) break;
      text.append(chunk, static_cast<std::size_t>(got));
    }
    fs->Close(file);
  }
  fs->DestroyFileObject(file);
  return text;
}

}  // namespace

std::string ChooseBrowserProgram() {
  if (auto chosen = platform::GetEnvironmentUtf8(kBrowserVariable); chosen && !chosen->empty()) {
    return *chosen;
  }
  const auto installed = platform::FindInstalledBrowsers();
  return installed.empty() ? std::string() : installed.front();
}

std::vector<std::string> BrowserArguments(const std::string& profile_folder, bool no_sandbox) {
  std::vector<std::string> arguments = {
      "--headless",
      "--disable-gpu",
      "--no-first-run",
      "--no-default-browser-check",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
      "--disable-extensions",
      "--disable-breakpad",
      "--hide-scrollbars",
      "--mute-audio",
      // A page cannot open pages of its own that no host would show; the
      // view reports the request instead.
      "--block-new-web-contents",
      "--window-size=800,600",
      "--user-data-dir=" + profile_folder,
      "--remote-debugging-port=0",
  };
  if (no_sandbox) arguments.push_back("--no-sandbox");
  arguments.push_back("about:blank");
  return arguments;
}

bool ParseActivePortFile(const std::string& text, std::uint16_t* port, std::string* path) {
  const std::size_t first_end = text.find('\n');
  if (first_end == std::string::npos) return false;
  std::string first = text.substr(0, first_end);
  if (!first.empty() && first.back() == '\r') first.pop_back();
  std::string second = text.substr(first_end + 1);
  while (!second.empty() && (second.back() == '\n' || second.back() == '\r')) second.pop_back();
  if (first.empty() || first.size() > 5 || second.empty() || second.front() != '/' ||
      second.find_first_of(" \r\n") != std::string::npos) {
    return false;
  }
  unsigned value = 0;
  for (char c : first) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  *port = static_cast<std::uint16_t>(value);
  *path = second;
  return true;
}

Browser::~Browser() { Close(); }

bool Browser::ReserveProfileFolder(std::string* error) {
  Orv::WebKit::FileSystem* fs = host_.file_system;
  // A per-user data folder when the host keeps one, else the temporary folder.
  std::string prefix = kProfilePrefix;
  char folder[kPathBytes] = {};
  if (fs->GetApplicationDataFolder(folder, sizeof folder) && folder[0] != '\0') {
    std::string base = folder;
    const char last = base.back();
    if (last == '/' || last == '\\') {
      base += "OrvWebKit";
      if (fs->MakeFolder(base.c_str())) prefix = base + last + "profile-";
    }
  }
  for (int attempt = 0; attempt < 4; ++attempt) {
    char path[kPathBytes] = {};
    Orv::WebKit::FileObject* file = fs->OpenTemporaryFile(prefix.c_str(), path);
    if (!file) break;
    std::string candidate = path;
    const std::size_t dot = candidate.rfind(".tmp");
    if (dot != std::string::npos && dot + 4 == candidate.size()) candidate.resize(dot);
    candidate += kProfileSuffix;
    // A folder of this name without its reserving file is left from a run
    // that crashed; it is not ours to reuse, so take the next name.
    if (!fs->FolderExists(candidate.c_str()) && fs->MakeFolder(candidate.c_str())) {
      reservation_ = file;
      reservation_path_ = path;
      profile_folder_ = candidate;
      const std::size_t slash = candidate.find_last_of("/\\");
      if (slash != std::string::npos) separator_ = candidate[slash];
      return true;
    }
    fs->Close(file);
    fs->DestroyFileObject(file);
    fs->RemoveFile(path);
  }
  *error = "cannot create a profile folder";
  return false;
}

bool Browser::WaitForActivePort(std::uint16_t* port, std::string* path, std::string* error) {
  const std::string file = profile_folder_ + separator_ + kActivePortFile;
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (host_.file_system->FileExists(file.c_str()) &&
        ParseActivePortFile(ReadWholeFile(host_.file_system, file), port, path)) {
      return true;
    }
    if (!process_->IsRunning()) {
      *error = "the browser ended while starting";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  *error = "the browser did not open its DevTools endpoint in time";
  return false;
}

std::unique_ptr<Browser> Browser::Launch(const HostServices& host,
                                         DevToolsConnection::EventHandler on_event,
                                         std::function<void()> on_closed, std::string* error) {
  std::unique_ptr<Browser> browser(new Browser(host));
  browser->program_ = ChooseBrowserProgram();
  if (browser->program_.empty()) {
    *error = "no browser found";
    return nullptr;
  }
  if (!browser->sockets_.ok()) {
    *error = "the socket library did not start";
    return nullptr;
  }
  if (!browser->ReserveProfileFolder(error)) return nullptr;
  // The browser's own temporary files go inside the profile, so that they
  // go with it even when the browser is killed; but only when the folder's
  // path leaves room for the single-instance socket the browser keeps there
  // (socket paths are limited to 107 bytes), else they stay where they were.
  const std::string temporary = browser->profile_folder_ + browser->separator_ + "tmp";
  const std::string browser_temporary = platform::BrowserLocalPath(browser->program_, temporary);
  std::vector<std::string> environment;
  if (browser_temporary.size() <= kMaxBrowserTemporaryPath &&
      browser->host_.file_system->MakeFolder(temporary.c_str())) {
    environment.push_back("TMPDIR=" + browser_temporary);
  }
  browser->process_ = platform::StartBrowserProcess(
      browser->program_,
      BrowserArguments(platform::BrowserLocalPath(browser->program_, browser->profile_folder_),
                       platform::BrowserNeedsNoSandbox(browser->program_)),
      environment);
  if (!browser->process_) {
    *error = "cannot start " + browser->program_;
    return nullptr;  // the destructor removes the profile
  }
  std::uint16_t port = 0;
  std::string path;
  if (!browser->WaitForActivePort(&port, &path, error)) return nullptr;

  const HostServices& services = browser->host_;
  auto socket = platform::ConnectLoopback(port, std::chrono::seconds(10));
  auto client = WebSocketClient::Connect(
      std::move(socket), "127.0.0.1:" + std::to_string(port), path,
      [random = services.callbacks.random_bytes](void* buffer, std::uint32_t size) {
        return random(buffer, size);
      },
      MemorySource::ForLibraryThread(services.allocator, "OrvWebKit messages"),
      std::chrono::seconds(10));
  if (!client) {
    *error = "cannot connect to the browser's DevTools endpoint";
    return nullptr;
  }
  if (!browser->connection_.Start(std::move(client), services.thread_system, std::move(on_event),
                                  std::move(on_closed))) {
    *error = "cannot start the reader thread";
    return nullptr;
  }
  return browser;
}

void Browser::Close() {
  if (closed_) return;
  closed_ = true;
  bool closing = false;
  if (connection_.IsOpen()) {
    // The protocol's close ends every browser process cleanly; it is also the
    // only way to end a browser that the platform cannot kill by handle.
    closing = connection_.Send("Browser.close", Json::object()) &&
              connection_.WaitUntilClosed(std::chrono::seconds(5));
  }
  if (process_ && !process_->WaitForExit(closing ? std::chrono::seconds(5) : std::chrono::seconds(0))) {
    process_->Kill();
  }
  connection_.Close();
  if (process_) process_->WaitForExit(std::chrono::seconds(5));
  process_.reset();
  RemoveProfile();
}

void Browser::RemoveProfile() {
  Orv::WebKit::FileSystem* fs = host_.file_system;
  if (!profile_folder_.empty()) {
    // The browser's last writes may still be settling on some systems.
    for (int attempt = 0; attempt < 20 && fs->FolderExists(profile_folder_.c_str()); ++attempt) {
      if (fs->RemoveFolder(profile_folder_.c_str())) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    profile_folder_.clear();
  }
  if (reservation_) {
    fs->Close(reservation_);
    fs->DestroyFileObject(reservation_);
    reservation_ = nullptr;
    fs->RemoveFile(reservation_path_.c_str());
  }
}

}  // namespace velmora::orvwebkit
