// The library instance: the browser, its views and the host's objects.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "orvwebkit/orvwebkit.h"
#include "orvwebkit/src/engine_context.h"
#include "orvwebkit/src/view.h"

namespace velmora::orvwebkit {

class InstanceImpl final : public Orv::WebKit::Instance, public ViewRouter {
 public:
  InstanceImpl();
  ~InstanceImpl();

  bool Initialize(const Orv::WebKit::HostCallbacks& callbacks,
                  const Orv::WebKit::InitRecord& init) override;
  Orv::WebKit::Settings* GetSettings() override;
  bool ApplySettings(const Orv::WebKit::Settings& settings,
                     const Orv::WebKit::CookieSettings& cookies,
                     const Orv::WebKit::CacheSettings& caches,
                     const Orv::WebKit::ScriptSettings& scripts) override;
  bool RegisterTransport(const char* scheme, Orv::WebKit::TransportHandler* transport) override;
  void UnregisterTransport(const char* scheme) override;
  bool RegisterSocketTransport(Orv::WebKit::TransportHandler* transport) override;
  void UnregisterSocketTransport() override;
  Orv::WebKit::View* CreateView(const Orv::WebKit::ViewRecord& record) override;
  void DestroyView(Orv::WebKit::View* view) override;
  Orv::WebKit::ScriptValueArray* CreateScriptValueArray(Orv::WebKit::View* view,
                                                        std::int32_t capacity) override;
  void ReleaseScriptValueArray(Orv::WebKit::ScriptValueArray* array) override;
  void Shutdown() override;

  void WithView(const std::string& session,
                const std::function<void(ViewImpl& view)>& action) override;

  // Why the last Initialize or CreateView failed (for diagnostics).
  const std::string& last_error() const { return last_error_; }

 private:
  void OnBrowserEvent(const Json& message);
  void OnBrowserClosed();
  ViewImpl* FindView(Orv::WebKit::View* view);
  bool FindSpareTarget();

  EngineContext context_;
  std::unique_ptr<Browser> browser_;
  bool initialized_ = false;
  std::atomic<bool> shutting_down_{false};
  std::string last_error_;
  std::string spare_target_;

  Orv::WebKit::Settings settings_record_{};
  Orv::WebKit::CookieSettings cookie_settings_{};
  std::string cookie_folder_;
  Orv::WebKit::CacheSettings cache_settings_{};
  Orv::WebKit::ScriptSettings script_settings_{};
  std::map<std::string, Orv::WebKit::TransportHandler*> transports_;
  Orv::WebKit::TransportHandler* socket_transport_ = nullptr;

  // Views by session. The reader thread holds the lock while it hands a
  // view an event, so a view is never destroyed under it.
  std::mutex views_mutex_;
  std::map<std::string, std::unique_ptr<ViewImpl>> views_;
  std::vector<std::unique_ptr<ScriptValueArrayImpl>> arrays_;
};

}  // namespace velmora::orvwebkit
