// velmora-devserver: a development stand-in for the backend game service
// and the content server, on loopback only.
//
// It answers the two backend commands under the five endpoint paths from
// one small configuration file per environment, serves static files from a
// content folder (lengths, ranges, optional bandwidth limit), and can be
// told to misbehave on chosen paths for tests. See docs/devserver.md.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace velmora::devserver {

// A misbehaviour for one path.
struct Fault {
  enum class Kind { kStatus, kRedirect, kDelay, kDrop, kTruncate, kChunked };
  Kind kind = Kind::kStatus;
  int status = 0;             // kStatus: the status to answer
  int hops = 0;               // kRedirect: redirections before the target
  std::string target;         // kRedirect: where the last one points
  int delay_ms = 0;           // kDelay: wait before answering
  std::uint64_t bytes = 0;    // kDrop: body bytes before the connection closes
                              // kTruncate: body bytes kept (Content-Length too)
  int times = -1;             // applies to this many requests; -1: always
};

// Parses "PATH=KIND[:ARG[:ARG]][,times=N]" (see docs/devserver.md):
//   status:CODE   redirect:N:TARGET   delay:MS   drop:N   truncate:N   chunked
// On failure returns false with a reason in `error`.
bool ParseFault(std::string_view text, std::string* path, Fault* fault, std::string* error);

// "key = value" lines; '#' starts a comment line. Keys are lower-cased.
std::map<std::string, std::string> ParseConfig(std::string_view text);

// The XML replies the server builds from a configuration.
std::string BuildVersionReply(const std::map<std::string, std::string>& config);
std::string BuildStatusReply(const std::map<std::string, std::string>& config);
// Null when the configuration describes no error reply.
std::optional<std::string> BuildErrorReply(const std::map<std::string, std::string>& config);

struct Options {
  std::vector<std::pair<std::string, std::uint16_t>> listen;  // loopback address, port (0: any)
  std::filesystem::path content_folder;                       // empty: no static content
  std::filesystem::path config_folder;                        // empty: no backend answers
  std::uint64_t rate_bytes_per_second = 0;                    // 0: unlimited
  std::vector<std::pair<std::string, Fault>> faults;
  std::filesystem::path log_file;                             // empty: standard output
  int idle_exit_seconds = 0;                                  // 0: never
};

class DevServer {
 public:
  explicit DevServer(Options options);
  ~DevServer();
  DevServer(const DevServer&) = delete;
  DevServer& operator=(const DevServer&) = delete;

  // Binds every listen address and starts serving. False (with a reason)
  // when an address is not loopback or cannot be bound.
  bool Start(std::string* error);
  // "address:port" of each listener, in command-line order.
  std::vector<std::string> Addresses() const;
  // Blocks until Stop, a shutdown request, or the idle limit.
  void Wait();
  void Stop();

 private:
  struct FaultState {
    Fault fault;
    int used = 0;
  };

  void Configure(httplib::Server& server);
  void HandleBackend(const httplib::Request& request, httplib::Response& response);
  void HandleStatic(const httplib::Request& request, httplib::Response& response);
  // Applies the path's fault before the normal answer; true when the fault
  // produced the whole response already.
  bool ApplyFaultBefore(const httplib::Request& request, httplib::Response& response,
                        std::optional<Fault>* body_fault);
  void SendBody(const httplib::Request& request, httplib::Response& response,
                std::shared_ptr<class BodySource> body, const std::string& content_type,
                const std::optional<Fault>& fault);
  std::optional<std::map<std::string, std::string>> LoadConfig(const std::string& environment,
                                                               const std::string& endpoint) const;
  void LogRequest(const httplib::Request& request, const httplib::Response& response);
  bool SleepUnlessStopping(std::chrono::milliseconds duration) const;

  Options options_;
  std::vector<std::unique_ptr<httplib::Server>> servers_;
  std::vector<std::thread> threads_;
  std::vector<std::string> addresses_;
  mutable std::mutex mutex_;
  std::map<std::string, FaultState> faults_;
  std::atomic<bool> stopping_{false};
  std::atomic<std::int64_t> last_request_ms_{0};
  std::mutex log_mutex_;
  std::FILE* log_ = nullptr;
};

}  // namespace velmora::devserver
