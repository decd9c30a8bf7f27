// What the views of an instance share: the host's objects, the browser
// connection and the applied settings.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "orvwebkit/src/browser.h"

namespace velmora::orvwebkit {

struct AppliedSettings {
  std::string user_agent;       // empty: the browser's own
  std::string accept_language;  // empty: the browser's own
  std::uint32_t max_call_message_bytes = 262144;
};

class ViewImpl;

// Finds a view by its session for work that arrives on the reader thread
// after the caller could have destroyed the view; `action` runs under the
// lock that DestroyView takes, or not at all.
class ViewRouter {
 public:
  virtual void WithView(const std::string& session,
                        const std::function<void(ViewImpl& view)>& action) = 0;

 protected:
  ~ViewRouter() = default;
};

struct EngineContext {
  HostServices host;
  ViewRouter* router = nullptr;
  std::uintptr_t ui_thread = 0;
  Browser* browser = nullptr;
  AppliedSettings settings;

  DevToolsConnection& connection() { return browser->connection(); }
  // Random bytes as lowercase hex, for tokens.
  std::string RandomHex(std::size_t bytes) const;
  // The host's clock, for input event times.
  double Now() const { return host.callbacks.current_time(); }
};

}  // namespace velmora::orvwebkit
