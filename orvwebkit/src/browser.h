// Finding, starting and ending the headless browser behind an instance, with
// its private profile folder.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "orvwebkit/orvwebkit.h"
#include "orvwebkit/platform/platform.h"
#include "orvwebkit/src/devtools.h"

namespace velmora::orvwebkit {

// The host's objects and callbacks, as the instance keeps them.
struct HostServices {
  Orv::WebKit::HostCallbacks callbacks{};
  Orv::WebKit::Allocator* allocator = nullptr;
  Orv::WebKit::FileSystem* file_system = nullptr;
  Orv::WebKit::OrvWebKitClient* client = nullptr;
  Orv::WebKit::ThreadSystem* thread_system = nullptr;
};

// The environment variable that names the browser program to use.
inline constexpr char kBrowserVariable[] = "VELMORA_BROWSER";

// The browser program: the variable's value when set (empty counts as unset),
// otherwise the first installed browser; empty when there is none.
std::string ChooseBrowserProgram();

// The command-line switches of a browser run.
std::vector<std::string> BrowserArguments(const std::string& profile_folder, bool no_sandbox);

// Reads DevToolsActivePort: the port on the first line, the browser's
// endpoint path on the second. False until both are there.
bool ParseActivePortFile(const std::string& text, std::uint16_t* port, std::string* path);

class Browser {
 public:
  // How long a browser may take to open its DevTools endpoint.
  static constexpr std::chrono::seconds kStartTimeout{30};

  ~Browser();

  // Starts the browser and connects to it; `on_event` and `on_closed` are
  // those of DevToolsConnection::Start. Null with a reason on failure, after
  // cleaning up everything it made.
  static std::unique_ptr<Browser> Launch(const HostServices& host,
                                         DevToolsConnection::EventHandler on_event,
                                         std::function<void()> on_closed, std::string* error);

  DevToolsConnection& connection() { return connection_; }
  const std::string& program() const { return program_; }
  const std::string& profile_folder() const { return profile_folder_; }

  // Asks the browser to close, then ends it by force if it does not; removes
  // the profile folder. Harmless when repeated.
  void Close();

 private:
  explicit Browser(const HostServices& host) : host_(host) {}
  bool ReserveProfileFolder(std::string* error);
  bool WaitForActivePort(std::uint16_t* port, std::string* path, std::string* error);
  void RemoveProfile();

  HostServices host_;
  platform::SocketLibrary sockets_;
  std::string program_;
  // The profile folder is named after a temporary file of the host's file
  // system that stays in place while the browser runs, so that no other
  // instance can pick the same name.
  Orv::WebKit::FileObject* reservation_ = nullptr;
  std::string reservation_path_;
  std::string profile_folder_;
  char separator_ = '/';
  std::unique_ptr<platform::BrowserProcess> process_;
  DevToolsConnection connection_;
  bool closed_ = false;
};

}  // namespace velmora::orvwebkit
