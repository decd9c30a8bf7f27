// A view: one page target of the browser, its surface and its bound objects.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "orvwebkit/orvwebkit.h"
#include "orvwebkit/src/engine_context.h"
#include "orvwebkit/src/host_memory.h"
#include "orvwebkit/src/script_text.h"

namespace velmora::orvwebkit {

class ScriptValueImpl final : public Orv::WebKit::ScriptValue {
 public:
  ScriptValueImpl() = default;
  const char16_t* GetText(std::int32_t* length) const override;
  bool HasText() const override { return has_text_; }
  bool SetText(const char16_t* text, std::int32_t length) override;
  void Clear() override;
  void Assign(const ScriptArgument& argument);
  void set_limit(std::size_t units) { limit_ = units; }

 private:
  std::u16string text_;
  bool has_text_ = false;
  std::size_t limit_ = 1u << 20;
};

class ViewImpl;

class ScriptValueArrayImpl final : public Orv::WebKit::ScriptValueArray {
 public:
  explicit ScriptValueArrayImpl(std::int32_t capacity) : values_(static_cast<std::size_t>(capacity)) {}
  std::int32_t Capacity() const override { return static_cast<std::int32_t>(values_.size()); }
  std::vector<ScriptValueImpl>& values() { return values_; }
  ViewImpl* view = nullptr;  // the view that uses it, if any

 private:
  std::vector<ScriptValueImpl> values_;
};

class ViewImpl final : public Orv::WebKit::View {
 public:
  static constexpr std::int32_t kDefaultArgumentCapacity = 20;

  ViewImpl(EngineContext* context, const Orv::WebKit::ViewRecord& record, std::string target_id);
  ~ViewImpl();

  // Attaches to the target and sets the page up; false when the browser does
  // not answer. Called once, before the view is handed out.
  bool Open();
  // Enables the page's events and starts the screencast once the instance
  // routes this view's session to it.
  bool FinishOpen();

  bool LoadUrl(const char* url) override;
  void Tick() override;
  bool ExecuteScript(const char* utf8) override;
  bool ExecuteScriptWide(const char16_t* utf16) override;
  bool Bind(const char* name, Orv::WebKit::IJSBoundObject* object) override;
  void InjectMouseMove(const Orv::WebKit::MouseMoveEvent& event) override;
  void InjectMouseButton(const Orv::WebKit::MouseButtonEvent& event) override;
  void InjectMouseWheel(const Orv::WebKit::MouseWheelEvent& event) override;
  void InjectKey(const Orv::WebKit::KeyEvent& event) override;
  bool LockSurface(const Orv::WebKit::Rect& rect, std::uint8_t** pixels,
                   std::int32_t* stride) override;
  void UnlockSurface() override;
  std::int32_t Width() const override { return width_; }
  std::int32_t Height() const override { return height_; }
  void Shutdown() override;

  const std::string& session() const { return session_; }
  const std::string& target_id() const { return target_id_; }

  // Reader thread: a message of this view's session.
  void OnSessionEvent(const Json& message);
  // Reader thread: the page's title changed.
  void OnTitleChanged(const std::string& title);
  // Any thread: the engine or this page went away; reported at the next tick.
  void OnEngineGone(const std::string& reason);
  // Reader thread: the browser's answer to a navigation.
  void OnNavigateReply(const DevToolsConnection::Reply& reply, const std::string& url);

  void UseArgumentStore(ScriptValueArrayImpl* store);
  void ForgetArgumentStore(ScriptValueArrayImpl* store);

 private:
  struct UiEvent;
  struct Binding {
    Orv::WebKit::IJSBoundObject* object = nullptr;
    std::string script_id;  // of the script that defines it in new documents
  };

  void Queue(UiEvent event);
  void QueueLoadState(std::int32_t state, double progress, const std::string& url);
  void HandleFrame(const Json& params);
  void HandleRequestPaused(const Json& params);
  void Dispatch(UiEvent& event);
  void AnswerBoundCall(const UiEvent& event);
  void Fulfill(const std::string& request_id, const std::string& body);
  void CopyPendingFrame();
  void SendInput(const char* method, Json params);
  std::uint32_t KeyModifiers() const;

  EngineContext* context_;
  std::string target_id_;
  std::string session_;
  const std::int32_t width_;
  const std::int32_t height_;
  const std::uint32_t background_argb_;
  const std::size_t max_dirty_rects_;
  const bool scripts_enabled_;
  const bool input_enabled_;
  const bool visible_;
  std::atomic<bool> shut_down_{false};
  std::atomic<bool> engine_gone_{false};

  // The surface the host reads (UI thread).
  HostBuffer surface_;
  bool locked_ = false;

  // Frames: decoded and compared on the reader thread, copied into the
  // surface at the next tick. `latest_` is the newest frame, `scratch_` the
  // buffer the next one is decoded into.
  std::mutex frame_mutex_;
  HostBuffer latest_;
  HostBuffer scratch_;
  std::vector<std::uint8_t> png_;
  std::vector<Orv::WebKit::Rect> pending_rects_;
  bool first_frame_ = true;

  // Load tracking (reader thread).
  std::string document_url_;
  bool error_document_ = false;
  std::set<std::string> failed_loaders_;
  std::string title_;
  std::string title_reporter_;  // set before the session's events start

  std::mutex queue_mutex_;
  std::vector<UiEvent> queue_;

  // UI thread.
  std::string token_;
  std::map<std::string, Binding> bindings_;
  ScriptValueArrayImpl default_arguments_{kDefaultArgumentCapacity};
  ScriptValueArrayImpl* arguments_ = &default_arguments_;
  std::uint32_t buttons_down_ = 0;
  bool shift_down_ = false, control_down_ = false, alt_down_ = false;
  char16_t pending_high_surrogate_ = 0;
  bool failure_reported_for_gone_engine_ = false;
};

}  // namespace velmora::orvwebkit
