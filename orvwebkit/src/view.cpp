#include "orvwebkit/src/view.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "orvwebkit/platform/platform.h"
#include "orvwebkit/src/binding_script.h"
#include "orvwebkit/src/encoding.h"
#include "orvwebkit/src/frame_diff.h"
#include "orvwebkit/src/key_map.h"
#include "orvwebkit/src/unicode.h"

namespace velmora::orvwebkit {

using namespace Orv::WebKit;

namespace {

constexpr auto kOpenTimeout = std::chrono::seconds(15);
// More pending rectangles than this between two ticks are merged at once, so
// that a burst of frames costs the next tick nothing noticeable.
constexpr std::size_t kMaxPendingRects = 32;
constexpr double kPixelsPerWheelLine = 100.0;
constexpr int kMaxListedMembers = 1024;

// The browser's modifier bits: Alt 1, Control 2, Meta 4, Shift 8.
int BrowserModifiers(std::uint32_t modifiers) {
  int bits = 0;
  if (modifiers & kModifierAlt) bits |= 1;
  if (modifiers & kModifierControl) bits |= 2;
  if (modifiers & kModifierMeta) bits |= 4;
  if (modifiers & kModifierShift) bits |= 8;
  return bits;
}

const char* ButtonName(std::int32_t button) {
  switch (button) {
    case kMouseLeft: return "left";
    case kMouseMiddle: return "middle";
    case kMouseRight: return "right";
    default: return "none";
  }
}

// The browser's `buttons` bits: left 1, right 2, middle 4.
std::uint32_t ButtonBit(std::int32_t button) {
  switch (button) {
    case kMouseLeft: return 1;
    case kMouseRight: return 2;
    case kMouseMiddle: return 4;
    default: return 0;
  }
}

const char* FirstButtonName(std::uint32_t buttons) {
  if (buttons & 1) return "left";
  if (buttons & 2) return "right";
  if (buttons & 4) return "middle";
  return "none";
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::int32_t ConsoleLevelOf(const std::string& type) {
  if (type == "warning") return kConsoleWarning;
  if (type == "error" || type == "assert") return kConsoleError;
  if (type == "debug") return kConsoleDebug;
  return kConsoleLog;
}

// A console argument as the console would show it.
std::string DescribeRemoteObject(const Json& object) {
  if (const Json* value = FindField(object, "value")) {
    if (value->is_string()) return value->get<std::string>();
    return value->dump(-1, ' ', false, Json::error_handler_t::replace);
  }
  std::string description = StringField(object, "description");
  if (!description.empty()) return description;
  return StringField(object, "type");
}

std::int32_t DialogKindOf(const std::string& type) {
  if (type == "confirm") return kDialogConfirm;
  if (type == "prompt") return kDialogPrompt;
  if (type == "beforeunload") return kDialogBeforeUnload;
  return kDialogAlert;
}

std::uint32_t VirtualKeyModifier(std::uint32_t code) {
  switch (code) {
    case 0x10: case 0xA0: case 0xA1: return kModifierShift;
    case 0x11: case 0xA2: case 0xA3: return kModifierControl;
    case 0x12: case 0xA4: case 0xA5: return kModifierAlt;
    default: return 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Script values.

const char16_t* ScriptValueImpl::GetText(std::int32_t* length) const {
  if (length) *length = static_cast<std::int32_t>(text_.size());
  return text_.c_str();
}

bool ScriptValueImpl::SetText(const char16_t* text, std::int32_t length) {
  if (!text) {
    Clear();
    return true;
  }
  std::size_t size = 0;
  if (length < 0) {
    while (text[size] != 0) ++size;
  } else {
    size = static_cast<std::size_t>(length);
  }
  if (size > limit_) return false;
  text_.assign(text, size);
  has_text_ = true;
  return true;
}

void ScriptValueImpl::Clear() {
  text_.clear();
  has_text_ = false;
}

void ScriptValueImpl::Assign(const ScriptArgument& argument) {
  if (argument) {
    text_ = *argument;
    has_text_ = true;
  } else {
    Clear();
  }
}

// ---------------------------------------------------------------------------
// Events for the UI thread.

struct ViewImpl::UiEvent {
  enum class Kind {
    kLoadState,
    kNavigationStarted,
    kUrlChanged,
    kDocumentReady,
    kTitle,
    kConsole,
    kScriptError,
    kDialog,
    kNewWindow,
    kEngineGone,
    kBoundCall,
  };
  explicit UiEvent(Kind event_kind) : kind(event_kind) {}
  Kind kind;
  std::int32_t code = 0;
  double progress = 0;
  std::string url;     // also: the request address of a bound call
  std::string source;  // also: the reason an engine went away
  std::string request_id;
  std::string body;
  bool body_too_large = false;
  std::u16string text;
  std::u16string text2;
  std::int32_t line = 0;
  std::int32_t column = 0;
};

ViewImpl::ViewImpl(EngineContext* context, const ViewRecord& record, std::string target_id)
    : context_(context),
      target_id_(std::move(target_id)),
      width_(record.width),
      height_(record.height),
      background_argb_(record.background_argb),
      max_dirty_rects_(std::max<std::uint32_t>(record.max_dirty_rects, 1)),
      scripts_enabled_(record.scripts_enabled != 0),
      input_enabled_(record.input_enabled != 0),
      visible_(record.visible != 0),
      surface_(MemorySource::ForUiThread(context->host.allocator, "OrvWebKit surface")),
      latest_(MemorySource::ForLibraryThread(context->host.allocator, "OrvWebKit frame")),
      scratch_(MemorySource::ForLibraryThread(context->host.allocator, "OrvWebKit frame")) {
  const std::size_t limit = context->settings.max_call_message_bytes;
  for (auto& value : default_arguments_.values()) value.set_limit(limit);
}

ViewImpl::~ViewImpl() {
  Shutdown();
  if (arguments_ != &default_arguments_) arguments_->view = nullptr;
}

bool ViewImpl::Open() {
  const std::size_t bytes = static_cast<std::size_t>(width_) * height_ * 4;
  if (!surface_.Reserve(bytes, 0) || !latest_.Reserve(bytes, 0) || !scratch_.Reserve(bytes, 0)) {
    return false;
  }
  // Until the first frame the surface shows the background colour; the
  // first frame is then reported whole.
  const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(background_argb_),
                                 static_cast<std::uint8_t>(background_argb_ >> 8),
                                 static_cast<std::uint8_t>(background_argb_ >> 16),
                                 static_cast<std::uint8_t>(background_argb_ >> 24)};
  for (std::size_t i = 0; i < bytes; i += 4) std::memcpy(surface_.data() + i, pixel, 4);
  std::memcpy(latest_.data(), surface_.data(), bytes);
  token_ = context_->RandomHex(16);
  if (token_.empty()) return false;
  title_reporter_ = "__orvwebkit_title_" + token_;

  DevToolsConnection& connection = context_->connection();
  DevToolsConnection::Reply attached = connection.Call(
      "Target.attachToTarget", Json{{"targetId", target_id_}, {"flatten", true}}, {},
      kOpenTimeout);
  if (!attached.ok) return false;
  session_ = StringField(attached.result, "sessionId");
  return !session_.empty();
}

// The rest of the set-up needs the session to be routed to this view, which
// the instance does between Open and FinishOpen.
bool ViewImpl::FinishOpen() {
  DevToolsConnection& connection = context_->connection();
  const AppliedSettings& settings = context_->settings;
  connection.Send("Page.enable", {}, session_);
  connection.Send("Runtime.enable", {}, session_);
  connection.Send("Fetch.enable",
                  Json{{"patterns", Json::array({Json{{"urlPattern",
                                                       std::string(kBindingOrigin) + "*"}}})}},
                  session_);
  connection.Send("Emulation.setDeviceMetricsOverride",
                  Json{{"width", width_}, {"height", height_}, {"deviceScaleFactor", 1},
                       {"mobile", false}},
                  session_);
  connection.Send("Emulation.setDefaultBackgroundColorOverride",
                  Json{{"color", Json{{"r", (background_argb_ >> 16) & 0xFF},
                                      {"g", (background_argb_ >> 8) & 0xFF},
                                      {"b", background_argb_ & 0xFF},
                                      {"a", ((background_argb_ >> 24) & 0xFF) / 255.0}}}},
                  session_);
  if (!settings.user_agent.empty() || !settings.accept_language.empty()) {
    std::string agent = settings.user_agent;
    if (agent.empty()) {
      auto version = connection.Call("Browser.getVersion", {}, {}, kOpenTimeout);
      agent = StringField(version.result, "userAgent");
    }
    Json params{{"userAgent", agent}};
    if (!settings.accept_language.empty()) params["acceptLanguage"] = settings.accept_language;
    connection.Send("Emulation.setUserAgentOverride", params, session_);
  }
  if (!scripts_enabled_) {
    connection.Send("Emulation.setScriptExecutionDisabled", Json{{"value", true}}, session_);
  }
  // Titles: the browser reports no title changes of its own pages, so each
  // document watches its title and reports it through a binding.
  connection.Send("Runtime.addBinding", Json{{"name", title_reporter_}}, session_);
  connection.Send("Page.addScriptToEvaluateOnNewDocument",
                  Json{{"source", BuildTitleWatchScript(title_reporter_)}}, session_);
  if (visible_) {
    connection.Send("Page.startScreencast",
                    Json{{"format", "png"}, {"everyNthFrame", 1}, {"maxWidth", width_},
                         {"maxHeight", height_}},
                    session_);
  }
  // One answer on the session proves that everything before it was taken.
  return connection.Call("Runtime.evaluate", Json{{"expression", "0"}}, session_, kOpenTimeout).ok;
}

// ---------------------------------------------------------------------------
// Host operations (UI thread).

bool ViewImpl::LoadUrl(const char* url) {
  if (shut_down_) return false;
  if (!url || engine_gone_ || !context_->connection().IsOpen()) {
    // The host waits for a load state; it must get one even now.
    QueueLoadState(kLoadFailed, 1.0, url ? url : "");
    return false;
  }
  const std::string address = platform::BrowserFileUrl(context_->browser->program(), url);
  const std::string host_url = url;
  ViewRouter* router = context_->router;
  const std::string session = session_;
  const bool sent = context_->connection().Send(
      "Page.navigate", Json{{"url", address}}, session_,
      [router, session, host_url](const DevToolsConnection::Reply& reply) {
        router->WithView(session, [&](ViewImpl& view) { view.OnNavigateReply(reply, host_url); });
      });
  if (!sent) QueueLoadState(kLoadFailed, 1.0, host_url);
  return sent;
}

void ViewImpl::OnNavigateReply(const DevToolsConnection::Reply& reply, const std::string& url) {
  if (!reply.ok) {
    // A closed connection is reported by OnEngineGone.
    if (reply.error != "connection closed") QueueLoadState(kLoadFailed, 1.0, url);
    return;
  }
  const std::string error = StringField(reply.result, "errorText");
  // An aborted navigation was replaced by a newer one, which reports its own
  // outcome.
  if (error.empty() || error == "net::ERR_ABORTED") return;
  failed_loaders_.insert(StringField(reply.result, "loaderId"));
  if (failed_loaders_.size() > 64) failed_loaders_.erase(failed_loaders_.begin());
  QueueLoadState(kLoadFailed, 1.0, url);
}

bool ViewImpl::ExecuteScript(const char* utf8) {
  if (shut_down_ || engine_gone_ || !utf8) return false;
  return context_->connection().Send("Runtime.evaluate", Json{{"expression", std::string(utf8)}},
                                     session_);
}

bool ViewImpl::ExecuteScriptWide(const char16_t* utf16) {
  if (!utf16) return false;
  return ExecuteScript(Utf16ToUtf8(utf16).c_str());
}

bool ViewImpl::Bind(const char* name, IJSBoundObject* object) {
  if (shut_down_ || !name || !IsScriptIdentifier(name)) return false;
  DevToolsConnection& connection = context_->connection();
  const std::string key = name;
  auto existing = bindings_.find(key);
  if (existing != bindings_.end() && object) {
    existing->second.object = object;  // the page side stays as it is
    return true;
  }
  if (existing != bindings_.end()) {
    if (!existing->second.script_id.empty()) {
      connection.Send("Page.removeScriptToEvaluateOnNewDocument",
                      Json{{"identifier", existing->second.script_id}}, session_);
    }
    bindings_.erase(existing);
    connection.Send("Runtime.evaluate", Json{{"expression", BuildUnbindScript(key)}}, session_);
    return true;
  }
  if (!object) return true;
  const std::string script = BuildBindingScript(key, BindingBase(token_, key));
  // The identifier is needed only to unbind; it is fetched now, before any
  // page can wait on this thread.
  auto added = connection.Call("Page.addScriptToEvaluateOnNewDocument",
                               Json{{"source", script}}, session_, kOpenTimeout);
  if (!added.ok) return false;
  bindings_[key] = Binding{object, StringField(added.result, "identifier")};
  connection.Send("Runtime.evaluate", Json{{"expression", script}}, session_);
  return true;
}

void ViewImpl::SendInput(const char* method, Json params) {
  if (shut_down_ || engine_gone_ || !input_enabled_) return;
  params["timestamp"] = context_->Now();
  context_->connection().Send(method, std::move(params), session_);
}

void ViewImpl::InjectMouseMove(const MouseMoveEvent& event) {
  SendInput("Input.dispatchMouseEvent",
            Json{{"type", "mouseMoved"}, {"x", event.x}, {"y", event.y},
                 {"modifiers", BrowserModifiers(event.modifiers)},
                 {"button", FirstButtonName(buttons_down_)}, {"buttons", buttons_down_}});
}

void ViewImpl::InjectMouseButton(const MouseButtonEvent& event) {
  const std::uint32_t bit = ButtonBit(event.button);
  if (bit == 0) return;
  if (event.pressed) {
    buttons_down_ |= bit;
  } else {
    buttons_down_ &= ~bit;
  }
  SendInput("Input.dispatchMouseEvent",
            Json{{"type", event.pressed ? "mousePressed" : "mouseReleased"},
                 {"x", event.x},
                 {"y", event.y},
                 {"modifiers", BrowserModifiers(event.modifiers)},
                 {"button", ButtonName(event.button)},
                 {"buttons", buttons_down_},
                 {"clickCount", std::max(event.click_count, 1)}});
}

void ViewImpl::InjectMouseWheel(const MouseWheelEvent& event) {
  double pixels = event.lines != 0 && std::isfinite(event.lines)
                      ? event.lines * kPixelsPerWheelLine
                      : event.raw_delta * kPixelsPerWheelLine / 120.0;
  if (pixels == 0) return;
  // Positive deltas point away from the user, which scrolls up.
  SendInput("Input.dispatchMouseEvent",
            Json{{"type", "mouseWheel"}, {"x", event.x}, {"y", event.y},
                 {"modifiers", BrowserModifiers(event.modifiers)}, {"deltaX", 0},
                 {"deltaY", -pixels}});
}

std::uint32_t ViewImpl::KeyModifiers() const {
  std::uint32_t modifiers = 0;
  if (shift_down_) modifiers |= kModifierShift;
  if (control_down_) modifiers |= kModifierControl;
  if (alt_down_) modifiers |= kModifierAlt;
  return modifiers;
}

void ViewImpl::InjectKey(const KeyEvent& event) {
  if (!event.is_character) {
    switch (VirtualKeyModifier(event.code)) {
      case kModifierShift: shift_down_ = event.pressed; break;
      case kModifierControl: control_down_ = event.pressed; break;
      case kModifierAlt: alt_down_ = event.pressed; break;
      default: break;
    }
  }
  const std::uint32_t modifiers =
      event.modifiers < 0 ? KeyModifiers() : static_cast<std::uint32_t>(event.modifiers);
  if (event.is_character) {
    if (!event.pressed) return;
    const char16_t unit = static_cast<char16_t>(event.code);
    std::u16string text;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      pending_high_surrogate_ = unit;  // the character ends with the next unit
      return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      if (!pending_high_surrogate_) return;
      text = {pending_high_surrogate_, unit};
    } else {
      text = {unit};
    }
    pending_high_surrogate_ = 0;
    const std::string utf8 = Utf16ToUtf8(text);
    SendInput("Input.dispatchKeyEvent",
              Json{{"type", "char"}, {"text", utf8}, {"unmodifiedText", utf8}, {"key", utf8},
                   {"modifiers", BrowserModifiers(modifiers)}});
    return;
  }
  const KeyNames names = NamesForVirtualKey(event.code, (modifiers & kModifierShift) != 0);
  Json params{{"type", event.pressed ? "rawKeyDown" : "keyUp"},
              {"windowsVirtualKeyCode", event.code},
              {"nativeVirtualKeyCode", event.code},
              {"modifiers", BrowserModifiers(modifiers)}};
  if (!names.key.empty()) params["key"] = names.key;
  if (!names.code.empty()) params["code"] = names.code;
  if (names.location) params["location"] = names.location;
  SendInput("Input.dispatchKeyEvent", std::move(params));
}

bool ViewImpl::LockSurface(const Rect& rect, std::uint8_t** pixels, std::int32_t* stride) {
  if (locked_ || !pixels || !stride || !surface_.data() || rect.width <= 0 || rect.height <= 0 ||
      rect.x < 0 || rect.y < 0 || rect.x > width_ - rect.width ||
      rect.y > height_ - rect.height) {
    return false;
  }
  locked_ = true;
  *pixels = surface_.data();
  *stride = width_ * 4;
  return true;
}

void ViewImpl::UnlockSurface() { locked_ = false; }

void ViewImpl::Shutdown() {
  if (shut_down_.exchange(true)) return;
  if (context_->browser && context_->connection().IsOpen()) {
    context_->connection().Send("Target.closeTarget", Json{{"targetId", target_id_}});
  }
  bindings_.clear();
}

void ViewImpl::UseArgumentStore(ScriptValueArrayImpl* store) {
  if (arguments_ != &default_arguments_) arguments_->view = nullptr;
  arguments_ = store ? store : &default_arguments_;
  if (store) {
    store->view = this;
    for (auto& value : store->values()) value.set_limit(context_->settings.max_call_message_bytes);
  }
}

void ViewImpl::ForgetArgumentStore(ScriptValueArrayImpl* store) {
  if (arguments_ == store) UseArgumentStore(nullptr);
}

// ---------------------------------------------------------------------------
// The tick (UI thread).

void ViewImpl::Tick() {
  // The host is only ever called on the thread that initialised the library.
  if (shut_down_ || context_->host.callbacks.current_thread_value() != context_->ui_thread) return;
  std::vector<UiEvent> events;
  {
    std::lock_guard lock(queue_mutex_);
    events.swap(queue_);
  }
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (shut_down_) {
      // The host closed the view from a notification; pages waiting on a
      // bound call still get their answer so that nothing hangs.
      for (; i < events.size(); ++i) {
        if (events[i].kind == UiEvent::Kind::kBoundCall) Fulfill(events[i].request_id, "");
      }
      return;
    }
    Dispatch(events[i]);
  }
  if (!shut_down_) CopyPendingFrame();
}

void ViewImpl::CopyPendingFrame() {
  if (locked_) return;  // the host is reading; the pixels wait for the next tick
  std::vector<Rect> rects;
  {
    std::lock_guard lock(frame_mutex_);
    if (pending_rects_.empty()) return;
    MergeRects(&pending_rects_, max_dirty_rects_);
    for (const Rect& rect : pending_rects_) {
      for (std::int32_t y = rect.y; y < rect.y + rect.height; ++y) {
        const std::size_t offset = (static_cast<std::size_t>(y) * width_ + rect.x) * 4;
        std::memcpy(surface_.data() + offset, latest_.data() + offset,
                    static_cast<std::size_t>(rect.width) * 4);
      }
    }
    rects.swap(pending_rects_);
  }
  OrvWebKitClient* client = context_->host.client;
  client->OnViewUpdate(ViewUpdateRecord{this, kViewUpdateDirtyRects,
                                        static_cast<std::int32_t>(rects.size()), rects.data()});
}

void ViewImpl::Dispatch(UiEvent& event) {
  OrvWebKitClient* client = context_->host.client;
  switch (event.kind) {
    case UiEvent::Kind::kLoadState:
      client->OnLoadState(LoadStateRecord{this, event.code, event.progress, event.url.c_str()});
      break;
    case UiEvent::Kind::kNavigationStarted:
      client->OnNavigationStarted(NavigationRecord{this, event.url.c_str()});
      break;
    case UiEvent::Kind::kUrlChanged:
      client->OnUrlChanged(NavigationRecord{this, event.url.c_str()});
      break;
    case UiEvent::Kind::kDocumentReady:
      client->OnDocumentReady(NavigationRecord{this, event.url.c_str()});
      break;
    case UiEvent::Kind::kTitle:
      client->OnTitleChanged(TitleRecord{this, event.text.c_str()});
      break;
    case UiEvent::Kind::kConsole:
      client->OnConsoleMessage(ConsoleMessageRecord{this, event.code, event.text.c_str(),
                                                    event.source.c_str(), event.line});
      break;
    case UiEvent::Kind::kScriptError:
      client->OnScriptError(ScriptErrorRecord{this, event.text.c_str(), event.source.c_str(),
                                              event.line, event.column});
      break;
    case UiEvent::Kind::kDialog: {
      ScriptDialogRecord record{this, event.code, event.text.c_str(), event.text2.c_str(), true,
                                nullptr};
      client->OnScriptDialog(record);
      Json params{{"accept", record.accept}};
      if (record.answer) params["promptText"] = Utf16ToUtf8(record.answer);
      // The page waits for this answer, even when the view is closing.
      context_->connection().Send("Page.handleJavaScriptDialog", params, session_);
      break;
    }
    case UiEvent::Kind::kNewWindow:
      client->OnNewWindowRequest(NewWindowRecord{this, event.url.c_str()});
      break;
    case UiEvent::Kind::kEngineGone:
      client->OnEngineGone(EngineGoneRecord{this, event.source.c_str()});
      break;
    case UiEvent::Kind::kBoundCall:
      AnswerBoundCall(event);
      break;
  }
}

void ViewImpl::Fulfill(const std::string& request_id, const std::string& body) {
  const Json headers = Json::array({
      Json{{"name", "Access-Control-Allow-Origin"}, {"value", "*"}},
      Json{{"name", "Content-Type"}, {"value", "application/json; charset=utf-8"}},
      Json{{"name", "Cache-Control"}, {"value", "no-store"}},
  });
  context_->connection().Send("Fetch.fulfillRequest",
                              Json{{"requestId", request_id},
                                   {"responseCode", 200},
                                   {"responseHeaders", headers},
                                   {"body", Base64Encode(body.data(), body.size())}},
                              session_);
}

void ViewImpl::AnswerBoundCall(const UiEvent& event) {
  // The address is base + op + "/" + member, base = origin + token + "/" +
  // name + "/"; anything else is not ours and gets no answer from the host.
  std::string body;
  const std::string prefix = std::string(kBindingOrigin) + token_ + "/";
  std::string rest = StartsWith(event.url, prefix) ? event.url.substr(prefix.size()) : "";
  const std::size_t query = rest.find_first_of("?#");
  if (query != std::string::npos) rest.resize(query);
  const std::size_t first = rest.find('/');
  const std::size_t second = first == std::string::npos ? first : rest.find('/', first + 1);
  const auto member_text =
      second == std::string::npos ? std::nullopt : PercentDecode(rest.substr(second + 1));
  const auto found = first == std::string::npos ? bindings_.end()
                                                : bindings_.find(rest.substr(0, first));
  if (member_text && found != bindings_.end() && found->second.object &&
      !event.body_too_large) {
    IJSBoundObject* object = found->second.object;
    const std::string op = rest.substr(first + 1, second - first - 1);
    const std::string& member = *member_text;
    const std::size_t limit = context_->settings.max_call_message_bytes;
    auto answer_text = [&](const ScriptValueImpl& value) {
      if (!value.HasText()) return;
      std::int32_t length = 0;
      const char16_t* text = value.GetText(&length);
      std::string encoded;
      AppendJsonString(std::u16string_view(text, static_cast<std::size_t>(length)), &encoded);
      if (encoded.size() <= limit) body = std::move(encoded);
    };
    if (op == "member") {
      char kind = '0';
      if (object->HasMethod(member.c_str())) {
        kind = '1';
      } else if (object->HasProperty(member.c_str())) {
        kind = '2';
      }
      body.assign(1, kind);
    } else if (op == "call") {
      auto arguments = ParseArgumentList(event.body, 1u << 16);
      if (arguments && object->HasMethod(member.c_str())) {
        auto& store = arguments_->values();
        const std::size_t count = std::min(arguments->size(), store.size());
        std::vector<const ScriptValue*> pointers;
        for (std::size_t i = 0; i < count; ++i) {
          store[i].Assign((*arguments)[i]);
          pointers.push_back(&store[i]);
        }
        ScriptValueImpl result;
        result.set_limit(limit);
        if (object->Invoke(member.c_str(), pointers.data(), static_cast<std::int32_t>(count),
                           &result)) {
          answer_text(result);
        }
        for (std::size_t i = 0; i < count; ++i) store[i].Clear();
      }
    } else if (op == "get") {
      if (object->HasProperty(member.c_str())) {
        ScriptValueImpl value;
        value.set_limit(limit);
        object->GetProperty(member.c_str(), &value);
        answer_text(value);
      }
    } else if (op == "set") {
      auto arguments = ParseArgumentList(event.body, 1);
      if (arguments && arguments->size() == 1 && object->HasProperty(member.c_str())) {
        ScriptValueImpl value;
        value.Assign((*arguments)[0]);
        object->SetProperty(member.c_str(), &value);
      }
    } else if (op == "keys") {
      std::string list = "[";
      if (object->CanEnumerate()) {
        ScriptValueImpl name;
        for (int i = 0; i < kMaxListedMembers && object->GetMemberName(i, &name); ++i) {
          std::int32_t length = 0;
          const char16_t* text = name.GetText(&length);
          if (list.size() > 1) list += ',';
          AppendJsonString(std::u16string_view(text, static_cast<std::size_t>(length)), &list);
          name.Clear();
        }
      }
      list += ']';
      if (list.size() <= limit) body = std::move(list);
    }
  }
  Fulfill(event.request_id, body);
}

// ---------------------------------------------------------------------------
// Browser events (reader thread).

void ViewImpl::Queue(UiEvent event) {
  std::lock_guard lock(queue_mutex_);
  queue_.push_back(std::move(event));
}

void ViewImpl::QueueLoadState(std::int32_t state, double progress, const std::string& url) {
  UiEvent event(UiEvent::Kind::kLoadState);
  event.code = state;
  event.progress = progress;
  event.url = url;
  Queue(std::move(event));
}

void ViewImpl::OnTitleChanged(const std::string& title) {
  if (shut_down_ || title == title_) return;
  title_ = title;
  UiEvent event(UiEvent::Kind::kTitle);
  event.text = Utf8ToUtf16(title);
  Queue(std::move(event));
}

void ViewImpl::OnEngineGone(const std::string& reason) {
  if (shut_down_ || engine_gone_.exchange(true)) return;
  UiEvent gone(UiEvent::Kind::kEngineGone);
  gone.source = reason;
  Queue(std::move(gone));
  QueueLoadState(kLoadFailed, 1.0, document_url_);
}

void ViewImpl::OnSessionEvent(const Json& message) {
  if (shut_down_) return;
  const std::string method = StringField(message, "method");
  const Json* params_field = FindField(message, "params");
  static const Json kEmpty = Json::object();
  const Json& params = params_field ? *params_field : kEmpty;

  if (method == "Page.screencastFrame") {
    // Acknowledged first: the browser sends no further frame until then, and
    // decoding can overlap with rendering the next one.
    const Json* frame_session = FindField(params, "sessionId");
    context_->connection().Send("Page.screencastFrameAck",
                                Json{{"sessionId", frame_session ? *frame_session : Json(0)}},
                                session_);
    HandleFrame(params);
  } else if (method == "Fetch.requestPaused") {
    HandleRequestPaused(params);
  } else if (method == "Page.frameStartedNavigating") {
    if (StringField(params, "frameId") != target_id_) return;
    UiEvent event(UiEvent::Kind::kNavigationStarted);
    event.url = StringField(params, "url");
    Queue(std::move(event));
  } else if (method == "Page.frameStartedLoading") {
    if (StringField(params, "frameId") == target_id_) QueueLoadState(kLoadProgress, 0.1, {});
  } else if (method == "Page.frameNavigated") {
    const Json* frame = FindField(params, "frame");
    if (!frame || FindField(*frame, "parentId")) return;  // only the main frame
    document_url_ = StringField(*frame, "url");
    // A document that could not be loaded is replaced by the browser's own
    // error page, which then "loads" like any other.
    error_document_ = StartsWith(document_url_, "chrome-error:") ||
                      !StringField(*frame, "unreachableUrl").empty();
    UiEvent changed(UiEvent::Kind::kUrlChanged);
    changed.url = document_url_;
    Queue(std::move(changed));
    if (error_document_) {
      if (failed_loaders_.count(StringField(*frame, "loaderId")) == 0) QueueLoadState(kLoadFailed, 1.0, StringField(*frame, "unreachableUrl"));
    } else {
      QueueLoadState(kLoadProgress, 0.5, document_url_);
    }
  } else if (method == "Page.domContentEventFired") {
    if (error_document_) return;
    UiEvent ready(UiEvent::Kind::kDocumentReady);
    ready.url = document_url_;
    Queue(std::move(ready));
    QueueLoadState(kLoadProgress, 0.9, document_url_);
  } else if (method == "Page.loadEventFired") {
    if (!error_document_) QueueLoadState(kLoadLoaded, 1.0, document_url_);
  } else if (method == "Page.javascriptDialogOpening") {
    UiEvent dialog(UiEvent::Kind::kDialog);
    dialog.code = DialogKindOf(StringField(params, "type"));
    dialog.text = Utf8ToUtf16(StringField(params, "message"));
    dialog.text2 = Utf8ToUtf16(StringField(params, "defaultPrompt"));
    Queue(std::move(dialog));
  } else if (method == "Page.windowOpen") {
    UiEvent open(UiEvent::Kind::kNewWindow);
    open.url = StringField(params, "url");
    Queue(std::move(open));
  } else if (method == "Runtime.consoleAPICalled") {
    UiEvent console(UiEvent::Kind::kConsole);
    console.code = ConsoleLevelOf(StringField(params, "type"));
    std::string text;
    if (const Json* args = FindField(params, "args"); args && args->is_array()) {
      for (const Json& argument : *args) {
        if (!text.empty()) text += ' ';
        text += DescribeRemoteObject(argument);
      }
    }
    console.text = Utf8ToUtf16(text);
    if (const Json* stack = FindField(params, "stackTrace")) {
      if (const Json* frames = FindField(*stack, "callFrames");
          frames && frames->is_array() && !frames->empty()) {
        console.source = StringField((*frames)[0], "url");
        console.line = static_cast<std::int32_t>(NumberField((*frames)[0], "lineNumber", -1)) + 1;
      }
    }
    Queue(std::move(console));
  } else if (method == "Runtime.exceptionThrown") {
    const Json* details = FindField(params, "exceptionDetails");
    if (!details) return;
    UiEvent error(UiEvent::Kind::kScriptError);
    std::string text;
    if (const Json* exception = FindField(*details, "exception")) {
      text = StringField(*exception, "description");
    }
    if (text.empty()) text = StringField(*details, "text");
    error.text = Utf8ToUtf16(text);
    error.source = StringField(*details, "url");
    error.line = static_cast<std::int32_t>(NumberField(*details, "lineNumber", -1)) + 1;
    error.column = static_cast<std::int32_t>(NumberField(*details, "columnNumber", -1)) + 1;
    Queue(std::move(error));
  } else if (method == "Runtime.bindingCalled") {
    if (StringField(params, "name") == title_reporter_) OnTitleChanged(StringField(params, "payload"));
  } else if (method == "Inspector.targetCrashed") {
    OnEngineGone("the page's renderer crashed");
  }
}

void ViewImpl::HandleRequestPaused(const Json& params) {
  const std::string request_id = StringField(params, "requestId");
  const Json* request = FindField(params, "request");
  const std::string url = request ? StringField(*request, "url") : std::string();
  if (!StartsWith(url, std::string(kBindingOrigin) + token_ + "/")) {
    // Only our own calls are answered; anything else under the reserved
    // origin fails as it would without interception.
    context_->connection().Send(
        "Fetch.failRequest", Json{{"requestId", request_id}, {"errorReason", "NameNotResolved"}},
        session_);
    return;
  }
  UiEvent call(UiEvent::Kind::kBoundCall);
  call.request_id = request_id;
  call.url = url;
  if (request) {
    call.body = StringField(*request, "postData");
    call.body_too_large =
        call.body.size() > context_->settings.max_call_message_bytes ||
        (call.body.empty() && BoolField(*request, "hasPostData"));
  }
  Queue(std::move(call));
}

void ViewImpl::HandleFrame(const Json& params) {
  const Json* data = FindField(params, "data");
  if (!data || !data->is_string()) return;
  if (!Base64Decode(data->get_ref<const std::string&>(), &png_)) return;
  const std::int32_t stride = width_ * 4;
  const auto image = platform::DecodePng(png_.data(), png_.size(), scratch_.data(), stride,
                                         width_, height_);
  if (!image) return;
  // A smaller frame leaves the rest of the view in the background colour.
  if (image->width < width_ || image->height < height_) {
    const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(background_argb_),
                                   static_cast<std::uint8_t>(background_argb_ >> 8),
                                   static_cast<std::uint8_t>(background_argb_ >> 16),
                                   static_cast<std::uint8_t>(background_argb_ >> 24)};
    for (std::int32_t y = 0; y < height_; ++y) {
      for (std::int32_t x = y < image->height ? image->width : 0; x < width_; ++x) {
        std::memcpy(scratch_.data() + static_cast<std::size_t>(y) * stride + x * 4, pixel, 4);
      }
    }
  }
  // Only this thread writes `latest_`, so comparing needs no lock.
  std::vector<Rect> changed =
      first_frame_ ? std::vector<Rect>{Rect{0, 0, width_, height_}}
                   : FindChangedRects(latest_.data(), scratch_.data(), width_, height_, stride,
                                      max_dirty_rects_);
  first_frame_ = false;
  if (changed.empty()) return;
  std::lock_guard lock(frame_mutex_);
  latest_.swap(scratch_);
  // `scratch_` now holds the previous frame; the next decode overwrites it.
  pending_rects_.insert(pending_rects_.end(), changed.begin(), changed.end());
  if (pending_rects_.size() > kMaxPendingRects) MergeRects(&pending_rects_, 1);
}

}  // namespace velmora::orvwebkit
