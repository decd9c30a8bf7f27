#include "orvwebkit/src/devtools.h"

#include <thread>

namespace velmora::orvwebkit {

const Json* FindField(const Json& object, const char* name) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(name);
  return it == object.end() ? nullptr : &*it;
}

std::string StringField(const Json& object, const char* name) {
  const Json* field = FindField(object, name);
  return field && field->is_string() ? field->get<std::string>() : std::string();
}

double NumberField(const Json& object, const char* name, double fallback) {
  const Json* field = FindField(object, name);
  return field && field->is_number() ? field->get<double>() : fallback;
}

bool BoolField(const Json& object, const char* name, bool fallback) {
  const Json* field = FindField(object, name);
  return field && field->is_boolean() ? field->get<bool>() : fallback;
}

struct LibraryThread::State {
  Orv::WebKit::ThreadSystem* threads = nullptr;
  void* handle = nullptr;
  std::thread thread;
  std::function<void()> body;
};

bool LibraryThread::Start(Orv::WebKit::ThreadSystem* threads, const char* name,
                          std::function<void()> body) {
  Join();
  auto state = std::make_unique<State>();
  state->threads = threads;
  state->body = std::move(body);
  if (threads) {
    state->handle = threads->StartThread(
        [](void* argument) { static_cast<State*>(argument)->body(); }, state.get(), name);
    if (!state->handle) return false;
  } else {
    try {
      state->thread = std::thread([raw = state.get()] { raw->body(); });
    } catch (const std::system_error&) {
      return false;
    }
  }
  state_ = std::move(state);
  return true;
}

LibraryThread::LibraryThread() = default;
LibraryThread::~LibraryThread() { Join(); }

void LibraryThread::Join() {
  if (!state_) return;
  if (state_->threads) {
    state_->threads->JoinThread(state_->handle);
  } else if (state_->thread.joinable()) {
    state_->thread.join();
  }
  state_.reset();
}

bool DevToolsConnection::Start(std::unique_ptr<WebSocketClient> socket,
                               Orv::WebKit::ThreadSystem* threads, EventHandler on_event,
                               std::function<void()> on_closed) {
  socket_ = std::move(socket);
  on_event_ = std::move(on_event);
  on_closed_ = std::move(on_closed);
  open_ = true;
  if (!reader_.Start(threads, "OrvWebKit DevTools", [this] { ReadLoop(); })) {
    open_ = false;
    return false;
  }
  return true;
}

bool DevToolsConnection::Send(const std::string& method, Json params, const std::string& session,
                              ReplyHandler on_reply) {
  std::int64_t id;
  bool open;
  {
    std::lock_guard lock(mutex_);
    open = open_;
    id = next_id_++;
    if (open && on_reply) pending_[id] = std::move(on_reply);
  }
  if (!open) {
    if (on_reply) on_reply(Reply{false, Json(), "connection closed"});
    return false;
  }
  Json message;
  message["id"] = id;
  message["method"] = method;
  message["params"] = params.is_null() ? Json::object() : std::move(params);
  if (!session.empty()) message["sessionId"] = session;
  // Texts from the host may be malformed UTF-8; they are repaired rather than
  // refused.
  const std::string text = message.dump(-1, ' ', false, Json::error_handler_t::replace);
  if (!socket_->SendText(text)) {
    ReplyHandler handler;
    {
      std::lock_guard lock(mutex_);
      const auto it = pending_.find(id);
      if (it != pending_.end()) {
        handler = std::move(it->second);
        pending_.erase(it);
      }
    }
    if (handler) handler(Reply{false, Json(), "connection closed"});
    return false;
  }
  return true;
}

DevToolsConnection::Reply DevToolsConnection::Call(const std::string& method, Json params,
                                                   const std::string& session,
                                                   std::chrono::milliseconds timeout) {
  struct Waiter {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    Reply reply;
  };
  auto waiter = std::make_shared<Waiter>();
  Send(method, std::move(params), session, [waiter](const Reply& reply) {
    std::lock_guard lock(waiter->mutex);
    waiter->reply = reply;
    waiter->finished = true;
    waiter->done.notify_all();
  });
  std::unique_lock lock(waiter->mutex);
  if (!waiter->done.wait_for(lock, timeout, [&] { return waiter->finished; })) {
    return Reply{false, Json(), "no answer in time"};
  }
  return waiter->reply;
}

bool DevToolsConnection::WaitUntilClosed(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return closed_changed_.wait_for(lock, timeout, [this] { return !open_; });
}

void DevToolsConnection::Close() {
  if (socket_) socket_->Shutdown();
  reader_.Join();
  socket_.reset();
}

void DevToolsConnection::FailPending() {
  std::map<std::int64_t, ReplyHandler> pending;
  {
    std::lock_guard lock(mutex_);
    open_ = false;
    pending.swap(pending_);
  }
  closed_changed_.notify_all();
  for (auto& [id, handler] : pending) handler(Reply{false, Json(), "connection closed"});
}

void DevToolsConnection::ReadLoop() {
  for (;;) {
    std::string_view text;
    if (socket_->ReadMessage(&text) != WebSocketClient::ReadResult::kMessage) break;
    // The reader must survive anything the browser sends, a malformed message
    // or a handler that runs out of memory included.
    try {
      Json message = Json::parse(text, nullptr, false);
      if (message.is_discarded() || !message.is_object()) continue;
      const Json* id = FindField(message, "id");
      if (id && id->is_number_integer()) {
        ReplyHandler handler;
        {
          std::lock_guard lock(mutex_);
          const auto it = pending_.find(id->get<std::int64_t>());
          if (it == pending_.end()) continue;
          handler = std::move(it->second);
          pending_.erase(it);
        }
        Reply reply;
        if (const Json* error = FindField(message, "error")) {
          reply.error = StringField(*error, "message");
          if (reply.error.empty()) reply.error = "command failed";
        } else {
          reply.ok = true;
          if (const Json* result = FindField(message, "result")) reply.result = *result;
        }
        handler(reply);
      } else if (on_event_) {
        on_event_(message);
      }
    } catch (const std::exception&) {
    }
  }
  FailPending();
  if (on_closed_) {
    try {
      on_closed_();
    } catch (const std::exception&) {
    }
  }
}

}  // namespace velmora::orvwebkit
