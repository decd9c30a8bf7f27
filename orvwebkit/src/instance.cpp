#include "orvwebkit/src/instance.h"

#include <algorithm>

#include "orvwebkit/src/unicode.h"

namespace velmora::orvwebkit {

using namespace Orv::WebKit;

namespace {

constexpr auto kCommandTimeout = std::chrono::seconds(15);
constexpr std::int32_t kMaxViewSide = 4096;
constexpr std::int32_t kMaxArgumentCapacity = 64;
constexpr std::uint32_t kDefaultCallMessageBytes = 262144;
constexpr std::size_t kMaxCookieFolderBytes = 255;

// Texts from the host are kept as valid UTF-8.
std::string CleanText(const char* text) {
  return text ? Utf16ToUtf8(Utf8ToUtf16(text)) : std::string();
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

std::string EngineContext::RandomHex(std::size_t bytes) const {
  static const char kHex[] = "0123456789abcdef";
  std::vector<std::uint8_t> random(bytes);
  if (!host.callbacks.random_bytes(random.data(), static_cast<std::uint32_t>(bytes))) return {};
  std::string text;
  for (std::uint8_t byte : random) {
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

InstanceImpl::InstanceImpl() { context_.router = this; }

// An instance still running when the library is unloaded cannot safely wait
// for its reader thread or call the host's objects any more: its memory and
// profile folder are left, and the browser ends with the process (parent-death
// signal or job object).
InstanceImpl::~InstanceImpl() {
  if (!initialized_) return;
  for (auto& [session, view] : views_) view.release();
  for (auto& array : arrays_) array.release();
  browser_.release();
}

bool InstanceImpl::Initialize(const HostCallbacks& callbacks, const InitRecord& init) {
  if (initialized_) {
    last_error_ = "already initialised";
    return false;
  }
  if (!callbacks.current_time || !callbacks.current_thread_value || !callbacks.random_bytes) {
    last_error_ = "a host callback is missing";
    return false;
  }
  if (!init.allocator || !init.file_system || !init.client) {
    last_error_ = "the allocator, file system or client is missing";
    return false;
  }
  context_.host.callbacks = callbacks;
  context_.host.allocator = init.allocator;
  context_.host.file_system = init.file_system;
  context_.host.client = init.client;
  context_.host.thread_system = init.thread_system;
  context_.ui_thread = callbacks.current_thread_value();
  context_.settings = AppliedSettings{};
  settings_record_ = Settings{};

  browser_ = Browser::Launch(
      context_.host, [this](const Json& message) { OnBrowserEvent(message); },
      [this] { OnBrowserClosed(); }, &last_error_);
  if (!browser_) return false;
  context_.browser = browser_.get();
  if (!FindSpareTarget()) {
    last_error_ = "the browser does not answer";
    browser_.reset();
    context_.browser = nullptr;
    return false;
  }
  initialized_ = true;
  return true;
}

// The browser starts with one blank page; the first view takes it over, so
// that no second renderer is started for nothing.
bool InstanceImpl::FindSpareTarget() {
  auto targets = browser_->connection().Call("Target.getTargets", {}, {}, kCommandTimeout);
  if (!targets.ok) return false;
  if (const Json* infos = FindField(targets.result, "targetInfos"); infos && infos->is_array()) {
    for (const Json& info : *infos) {
      if (StringField(info, "type") == "page" && !BoolField(info, "attached")) {
        spare_target_ = StringField(info, "targetId");
        return true;
      }
    }
  }
  auto created = browser_->connection().Call("Target.createTarget", Json{{"url", "about:blank"}},
                                             {}, kCommandTimeout);
  spare_target_ = StringField(created.result, "targetId");
  return !spare_target_.empty();
}

Settings* InstanceImpl::GetSettings() { return initialized_ ? &settings_record_ : nullptr; }

bool InstanceImpl::ApplySettings(const Settings& settings, const CookieSettings& cookies,
                                 const CacheSettings& caches, const ScriptSettings& scripts) {
  if (!initialized_) return false;
  if (cookies.cookie_folder && std::char_traits<char>::length(cookies.cookie_folder) >
                                   kMaxCookieFolderBytes) {
    return false;
  }
  context_.settings.user_agent = CleanText(settings.user_agent);
  context_.settings.accept_language = CleanText(settings.accept_language);
  context_.settings.max_call_message_bytes = settings.max_call_message_bytes
                                                 ? settings.max_call_message_bytes
                                                 : kDefaultCallMessageBytes;
  cookie_settings_ = cookies;
  cookie_folder_ = CleanText(cookies.cookie_folder);
  cookie_settings_.cookie_folder = cookie_folder_.c_str();
  cache_settings_ = caches;
  script_settings_ = scripts;
  return true;
}

bool InstanceImpl::RegisterTransport(const char* scheme, TransportHandler* transport) {
  if (!initialized_ || !scheme || !*scheme || !transport) return false;
  transports_[LowerAscii(scheme)] = transport;
  return true;
}

void InstanceImpl::UnregisterTransport(const char* scheme) {
  if (scheme) transports_.erase(LowerAscii(scheme));
}

bool InstanceImpl::RegisterSocketTransport(TransportHandler* transport) {
  if (!initialized_ || !transport) return false;
  socket_transport_ = transport;
  return true;
}

void InstanceImpl::UnregisterSocketTransport() { socket_transport_ = nullptr; }

View* InstanceImpl::CreateView(const ViewRecord& record) {
  if (!initialized_ || !browser_->connection().IsOpen()) {
    last_error_ = "the engine is not running";
    return nullptr;
  }
  if (record.width < 1 || record.width > kMaxViewSide || record.height < 1 ||
      record.height > kMaxViewSide) {
    last_error_ = "invalid view size";
    return nullptr;
  }
  std::string target = std::move(spare_target_);
  spare_target_.clear();
  if (target.empty()) {
    auto created = browser_->connection().Call(
        "Target.createTarget", Json{{"url", "about:blank"}}, {}, kCommandTimeout);
    target = StringField(created.result, "targetId");
    if (target.empty()) {
      last_error_ = "the browser gives no page";
      return nullptr;
    }
  }
  auto view = std::make_unique<ViewImpl>(&context_, record, target);
  if (!view->Open()) {
    browser_->connection().Send("Target.closeTarget", Json{{"targetId", target}});
    last_error_ = "cannot open the page";
    return nullptr;
  }
  ViewImpl* raw = view.get();
  const std::string session = raw->session();
  {
    std::lock_guard lock(views_mutex_);
    views_[session] = std::move(view);
  }
  if (!raw->FinishOpen()) {
    std::unique_ptr<ViewImpl> failed;
    {
      std::lock_guard lock(views_mutex_);
      failed = std::move(views_[session]);
      views_.erase(session);
    }
    last_error_ = "the page does not answer";
    return nullptr;  // `failed` shuts the page down
  }
  return raw;
}

ViewImpl* InstanceImpl::FindView(View* view) {
  std::lock_guard lock(views_mutex_);
  for (auto& [session, owned] : views_) {
    if (owned.get() == view) return owned.get();
  }
  return nullptr;
}

void InstanceImpl::DestroyView(View* view) {
  std::unique_ptr<ViewImpl> owned;
  {
    std::lock_guard lock(views_mutex_);
    for (auto it = views_.begin(); it != views_.end(); ++it) {
      if (it->second.get() == view) {
        owned = std::move(it->second);
        views_.erase(it);
        break;
      }
    }
  }
  // Destroyed outside the lock: nothing of the reader thread can reach it now.
  if (owned) owned->Shutdown();
}

ScriptValueArray* InstanceImpl::CreateScriptValueArray(View* view, std::int32_t capacity) {
  ViewImpl* target = FindView(view);
  if (!target || capacity < 1 || capacity > kMaxArgumentCapacity) return nullptr;
  auto array = std::make_unique<ScriptValueArrayImpl>(capacity);
  target->UseArgumentStore(array.get());
  arrays_.push_back(std::move(array));
  return arrays_.back().get();
}

void InstanceImpl::ReleaseScriptValueArray(ScriptValueArray* array) {
  for (auto it = arrays_.begin(); it != arrays_.end(); ++it) {
    if (it->get() == array) {
      if ((*it)->view) (*it)->view->ForgetArgumentStore(it->get());
      arrays_.erase(it);
      return;
    }
  }
}

void InstanceImpl::Shutdown() {
  if (!initialized_) return;
  shutting_down_ = true;
  std::map<std::string, std::unique_ptr<ViewImpl>> views;
  {
    std::lock_guard lock(views_mutex_);
    views.swap(views_);
  }
  for (auto& [session, view] : views) view->Shutdown();
  for (auto& array : arrays_) {
    if (array->view) array->view->ForgetArgumentStore(array.get());
  }
  views.clear();
  arrays_.clear();
  transports_.clear();
  socket_transport_ = nullptr;
  browser_->Close();
  browser_.reset();
  context_.browser = nullptr;
  spare_target_.clear();
  initialized_ = false;
  shutting_down_ = false;
}

void InstanceImpl::WithView(const std::string& session,
                            const std::function<void(ViewImpl& view)>& action) {
  std::lock_guard lock(views_mutex_);
  const auto it = views_.find(session);
  if (it != views_.end()) action(*it->second);
}

void InstanceImpl::OnBrowserEvent(const Json& message) {
  const std::string session = StringField(message, "sessionId");
  if (!session.empty()) {
    WithView(session, [&](ViewImpl& view) { view.OnSessionEvent(message); });
    return;
  }
  const std::string method = StringField(message, "method");
  const Json* params = FindField(message, "params");
  if (!params) return;
  if (method == "Target.detachedFromTarget") {
    if (shutting_down_) return;
    WithView(StringField(*params, "sessionId"),
             [](ViewImpl& view) { view.OnEngineGone("the page was closed"); });
  }
}

void InstanceImpl::OnBrowserClosed() {
  if (shutting_down_) return;
  std::lock_guard lock(views_mutex_);
  for (auto& [session, view] : views_) view->OnEngineGone("the browser ended");
}

}  // namespace velmora::orvwebkit
