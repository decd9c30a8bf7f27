// One connection to the browser's DevTools endpoint: commands out (from any
// thread), answers and events in (on the connection's reader thread).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "orvwebkit/orvwebkit.h"
#include "orvwebkit/src/websocket.h"

namespace velmora::orvwebkit {

using Json = nlohmann::json;

// Reading fields of protocol messages without exceptions: a missing field
// or one of another type gives the default.
const Json* FindField(const Json& object, const char* name);
std::string StringField(const Json& object, const char* name);
double NumberField(const Json& object, const char* name, double fallback = 0);
bool BoolField(const Json& object, const char* name, bool fallback = false);

// Runs a function on a thread of the host's thread system when it has one,
// otherwise on a platform thread.
class LibraryThread {
 public:
  LibraryThread();
  ~LibraryThread();
  LibraryThread(const LibraryThread&) = delete;
  LibraryThread& operator=(const LibraryThread&) = delete;
  bool Start(Orv::WebKit::ThreadSystem* threads, const char* name, std::function<void()> body);
  void Join();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

class DevToolsConnection {
 public:
  // The answer to one command: `result` on success; `error` holds the
  // protocol's message otherwise, or "connection closed".
  struct Reply {
    bool ok = false;
    Json result;
    std::string error;
  };
  using ReplyHandler = std::function<void(const Reply& reply)>;
  using EventHandler = std::function<void(const Json& message)>;

  DevToolsConnection() = default;
  ~DevToolsConnection() { Close(); }
  DevToolsConnection(const DevToolsConnection&) = delete;
  DevToolsConnection& operator=(const DevToolsConnection&) = delete;

  // Starts reading. `on_event` gets every message that is not an answer,
  // `on_closed` is called once when the connection ends; both on the reader
  // thread.
  bool Start(std::unique_ptr<WebSocketClient> socket, Orv::WebKit::ThreadSystem* threads,
             EventHandler on_event, std::function<void()> on_closed);

  // Sends a command of a page session (empty: the browser itself). The
  // handler, if any, runs on the reader thread (or at once, with an error,
  // when the connection is already closed). Returns false when closed.
  bool Send(const std::string& method, Json params, const std::string& session = {},
            ReplyHandler on_reply = {});
  // Sends and waits for the answer. Never call it while a page may be waiting
  // for the caller's thread.
  Reply Call(const std::string& method, Json params, const std::string& session,
             std::chrono::milliseconds timeout);

  bool IsOpen() const { return open_; }
  // Waits until the peer ends the connection.
  bool WaitUntilClosed(std::chrono::milliseconds timeout);
  // Ends the connection and waits for the reader thread; pending handlers get
  // "connection closed".
  void Close();

 private:
  void ReadLoop();
  void FailPending();

  std::unique_ptr<WebSocketClient> socket_;
  LibraryThread reader_;
  EventHandler on_event_;
  std::function<void()> on_closed_;
  std::atomic<bool> open_{false};

  std::mutex mutex_;
  std::condition_variable closed_changed_;
  std::int64_t next_id_ = 1;
  std::map<std::int64_t, ReplyHandler> pending_;
};

}  // namespace velmora::orvwebkit
