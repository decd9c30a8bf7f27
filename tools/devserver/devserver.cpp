#include "tools/devserver/devserver.h"

#include <httplib.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <fstream>
#include <sstream>

namespace velmora::devserver {
namespace {

constexpr const char* kVersionFields[] = {
    "newversion", "newgameversion", "manifesturl",  "gamemanifesturl",    "crashurl",
    "telemurl",   "environment",    "launcheraction", "created",          "built",
    "externalurl", "executable",    "unpatchableversion", "unpatchableurl",
};
constexpr const char* kEndpointPaths[] = {"kelder-1-pc", "kelder-shadow-pc", "kelder-1-pc-cert",
                                          "kelder-1-pc-stage"};
constexpr const char* kAdminPrefix = "/__devserver/";

std::string Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return std::string(text);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool ParseNumber(std::string_view text, std::uint64_t* value) {
  if (text.empty() || text.size() > 18) return false;
  std::uint64_t result = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<std::uint64_t>(c - '0');
  }
  *value = result;
  return true;
}

std::string EscapeXml(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// A name that may become a file name inside a configured folder.
bool IsPlainName(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.size() > 200) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
  });
}

std::string ReadWholeFile(const std::filesystem::path& path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  *ok = static_cast<bool>(in) || in.eof();
  return out.str();
}

std::string ContentTypeFor(const std::filesystem::path& path) {
  const std::string extension = Lower(path.extension().string());
  if (extension == ".xml") return "text/xml";
  if (extension == ".html" || extension == ".htm") return "text/html";
  if (extension == ".txt") return "text/plain";
  if (extension == ".js") return "application/javascript";
  if (extension == ".css") return "text/css";
  if (extension == ".png") return "image/png";
  return "application/octet-stream";
}

std::int64_t NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool IsLoopbackAddress(const std::string& address) {
  unsigned a, b, c, d;
  char extra;
  return std::sscanf(address.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &extra) == 4 && a == 127 &&
         b < 256 && c < 256 && d < 256;
}

}  // namespace

class BodySource {
 public:
  virtual ~BodySource() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly `length` bytes at `offset`.
  virtual bool Read(std::uint64_t offset, char* buffer, std::size_t length) = 0;
};

namespace {

class StringBody final : public BodySource {
 public:
  explicit StringBody(std::string data) : data_(std::move(data)) {}
  std::uint64_t Size() const override { return data_.size(); }
  bool Read(std::uint64_t offset, char* buffer, std::size_t length) override {
    if (offset + length > data_.size()) return false;
    std::copy_n(data_.data() + offset, length, buffer);
    return true;
  }

 private:
  std::string data_;
};

class FileBody final : public BodySource {
 public:
  static std::shared_ptr<FileBody> Open(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size < 0) {
      ::close(fd);
      return nullptr;
    }
    return std::shared_ptr<FileBody>(new FileBody(fd, static_cast<std::uint64_t>(size)));
  }
  ~FileBody() override { ::close(fd_); }
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, char* buffer, std::size_t length) override {
    while (length > 0) {
      const ssize_t got = ::pread(fd_, buffer, length, static_cast<off_t>(offset));
      if (got <= 0) return false;
      buffer += got;
      offset += static_cast<std::uint64_t>(got);
      length -= static_cast<std::size_t>(got);
    }
    return true;
  }

 private:
  FileBody(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  int fd_;
  std::uint64_t size_;
};

// Paces one response to the configured rate.
class Pacer {
 public:
  explicit Pacer(std::uint64_t rate) : rate_(rate), start_(std::chrono::steady_clock::now()) {}
  std::size_t ChunkLimit() const {
    if (rate_ == 0) return 64 * 1024;
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(rate_ / 20, 256, 64 * 1024));
  }
  // Sleeps until `sent` bytes are due at the rate; false when stopping.
  bool After(std::uint64_t sent, const std::atomic<bool>& stopping) const {
    if (rate_ == 0) return true;
    const auto due = start_ + std::chrono::microseconds(sent * 1000000 / rate_);
    while (std::chrono::steady_clock::now() < due) {
      if (stopping.load()) return false;
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
          due - std::chrono::steady_clock::now(), std::chrono::milliseconds(20)));
    }
    return true;
  }

 private:
  std::uint64_t rate_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

bool ParseFault(std::string_view text, std::string* path, Fault* fault, std::string* error) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0 || text.front() != '/') {
    *error = "expected PATH=KIND, with PATH starting with /";
    return false;
  }
  *path = std::string(text.substr(0, equals));
  std::string_view fault_text = text.substr(equals + 1);
  Fault parsed;
  const std::size_t comma = fault_text.find(',');
  if (comma != std::string_view::npos) {
    const std::string_view option = fault_text.substr(comma + 1);
    std::uint64_t times = 0;
    if (option.substr(0, 6) != "times=" || !ParseNumber(option.substr(6), &times) || times == 0) {
      *error = "the only option is times=N (N at least 1)";
      return false;
    }
    parsed.times = static_cast<int>(std::min<std::uint64_t>(times, 1000000));
    fault_text = fault_text.substr(0, comma);
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  // The redirect target may itself hold colons (a full URL), so it takes
  // the rest of the text.
  for (int i = 0; i < 2 && start <= fault_text.size(); ++i) {
    const std::size_t colon = fault_text.find(':', start);
    if (colon == std::string_view::npos) break;
    parts.emplace_back(fault_text.substr(start, colon - start));
    start = colon + 1;
  }
  parts.emplace_back(fault_text.substr(start));
  const std::string& kind = parts[0];
  std::uint64_t number = 0;
  const bool has_number = parts.size() >= 2 && ParseNumber(parts[1], &number);
  if (kind == "status" && parts.size() == 2 && has_number && number >= 100 && number <= 599) {
    parsed.kind = Fault::Kind::kStatus;
    parsed.status = static_cast<int>(number);
  } else if (kind == "redirect" && parts.size() == 3 && has_number && number >= 1 &&
             number <= 100 && !parts[2].empty()) {
    parsed.kind = Fault::Kind::kRedirect;
    parsed.hops = static_cast<int>(number);
    parsed.target = parts[2];
  } else if (kind == "delay" && parts.size() == 2 && has_number && number <= 600000) {
    parsed.kind = Fault::Kind::kDelay;
    parsed.delay_ms = static_cast<int>(number);
  } else if (kind == "drop" && parts.size() == 2 && has_number) {
    parsed.kind = Fault::Kind::kDrop;
    parsed.bytes = number;
  } else if (kind == "truncate" && parts.size() == 2 && has_number) {
    parsed.kind = Fault::Kind::kTruncate;
    parsed.bytes = number;
  } else if (kind == "chunked" && parts.size() == 1) {
    parsed.kind = Fault::Kind::kChunked;
  } else {
    *error = "unknown fault '" + std::string(fault_text) +
             "' (status:CODE, redirect:N:TARGET, delay:MS, drop:N, truncate:N, chunked)";
    return false;
  }
  *fault = parsed;
  return true;
}

std::map<std::string, std::string> ParseConfig(std::string_view text) {
  std::map<std::string, std::string> config;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    const std::size_t equals = trimmed.find('=');
    if (equals == std::string::npos) continue;
    config[Lower(Trim(trimmed.substr(0, equals)))] = Trim(trimmed.substr(equals + 1));
  }
  return config;
}

std::string BuildVersionReply(const std::map<std::string, std::string>& config) {
  std::string reply = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<getcurrentversion>\n";
  for (const char* field : kVersionFields) {
    const auto found = config.find(field);
    if (found == config.end()) continue;
    reply += "  <" + std::string(field) + ">" + EscapeXml(found->second) + "</" + field + ">\n";
  }
  return reply + "</getcurrentversion>\n";
}

std::string BuildStatusReply(const std::map<std::string, std::string>& config) {
  std::string reply = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<getsystemstatus>\n";
  if (const auto found = config.find("status"); found != config.end())
    reply += "  <status>" + EscapeXml(found->second) + "</status>\n";
  return reply + "</getsystemstatus>\n";
}

std::optional<std::string> BuildErrorReply(const std::map<std::string, std::string>& config) {
  static constexpr std::pair<const char*, const char*> kErrorFields[] = {
      {"error.component", "component"}, {"error.code", "errorCode"}, {"error.name", "errorName"}};
  std::string body;
  for (const auto& [key, element] : kErrorFields) {
    const auto found = config.find(key);
    if (found == config.end()) continue;
    body += "  <" + std::string(element) + ">" + EscapeXml(found->second) + "</" + element + ">\n";
  }
  if (body.empty()) return std::nullopt;
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<error>\n" + body + "</error>\n";
}

DevServer::DevServer(Options options) : options_(std::move(options)) {
  for (const auto& [path, fault] : options_.faults) faults_[path] = FaultState{fault, 0};
}

DevServer::~DevServer() {
  Stop();
  if (log_ && log_ != stdout) std::fclose(log_);
}

bool DevServer::Start(std::string* error) {
  if (options_.log_file.empty()) {
    log_ = stdout;
  } else if (!(log_ = std::fopen(options_.log_file.c_str(), "a"))) {
    *error = "cannot open log file " + options_.log_file.string();
    return false;
  }
  if (options_.listen.empty()) options_.listen.emplace_back("127.0.0.1", 8080);
  last_request_ms_ = NowMilliseconds();
  for (const auto& [address, port] : options_.listen) {
    if (!IsLoopbackAddress(address)) {
      *error = "refusing to listen on " + address + ": only 127.0.0.0/8 is served";
      return false;
    }
    auto server = std::make_unique<httplib::Server>();
    Configure(*server);
    int bound = port;
    if (port == 0) {
      bound = server->bind_to_any_port(address);
      if (bound <= 0) {
        *error = "cannot bind " + address + ":0";
        return false;
      }
    } else if (!server->bind_to_port(address, port)) {
      *error = "cannot bind " + address + ":" + std::to_string(port);
      return false;
    }
    addresses_.push_back(address + ":" + std::to_string(bound));
    servers_.push_back(std::move(server));
  }
  for (auto& server : servers_)
    threads_.emplace_back([raw = server.get()] { raw->listen_after_bind(); });
  return true;
}

std::vector<std::string> DevServer::Addresses() const { return addresses_; }

void DevServer::Wait() {
  while (!stopping_.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (options_.idle_exit_seconds > 0 &&
        NowMilliseconds() - last_request_ms_.load() > options_.idle_exit_seconds * 1000LL) {
      std::lock_guard<std::mutex> lock(log_mutex_);
      std::fprintf(log_, "idle for %d s, stopping\n", options_.idle_exit_seconds);
      std::fflush(log_);
      break;
    }
  }
}

void DevServer::Stop() {
  stopping_ = true;
  for (auto& server : servers_) server->stop();
  for (auto& thread : threads_)
    if (thread.joinable()) thread.join();
  threads_.clear();
}

bool DevServer::SleepUnlessStopping(std::chrono::milliseconds duration) const {
  const auto until = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < until) {
    if (stopping_.load()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void DevServer::Configure(httplib::Server& server) {
  server.set_keep_alive_timeout(5);
  server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
    LogRequest(request, response);
  });

  server.Get("/__devserver/echo", [](const httplib::Request& request, httplib::Response& response) {
    std::string text = request.method + " " + request.target + " " + request.version + "\n";
    for (const auto& [name, value] : request.headers) {
      // The library adds the peer's and its own address as pseudo-headers.
      if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
          name == "LOCAL_PORT")
        continue;
      text += name + ": " + value + "\n";
    }
    response.set_content(text, "text/plain");
  });
  server.Post("/__devserver/fault", [this](const httplib::Request& request,
                                           httplib::Response& response) {
    std::istringstream lines(request.body);
    std::string line;
    std::lock_guard<std::mutex> lock(mutex_);
    while (std::getline(lines, line)) {
      line = Trim(line);
      if (line.empty()) continue;
      std::string path, error;
      Fault fault;
      if (!ParseFault(line, &path, &fault, &error)) {
        response.status = 400;
        response.set_content(error + "\n", "text/plain");
        return;
      }
      faults_[path] = FaultState{fault, 0};
    }
    response.set_content("ok\n", "text/plain");
  });
  server.Delete("/__devserver/fault", [this](const httplib::Request&, httplib::Response& response) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
    response.set_content("ok\n", "text/plain");
  });
  // GET as well as POST, so that any plain HTTP client (a test's own GET-only
  // client included) can end a server whose process it cannot signal.
  const auto shutdown = [this](const httplib::Request&, httplib::Response& response) {
    response.set_content("stopping\n", "text/plain");
    stopping_ = true;  // Wait() returns and the owner stops the listeners
  };
  server.Post("/__devserver/shutdown", shutdown);
  server.Get("/__devserver/shutdown", shutdown);
  server.Get(R"(/xal/([^/]+)/krops/(getCurrentVersion|getSystemStatus))",
             [this](const httplib::Request& request, httplib::Response& response) {
               HandleBackend(request, response);
             });
  server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    HandleStatic(request, response);
  });
}

bool DevServer::ApplyFaultBefore(const httplib::Request& request, httplib::Response& response,
                                 std::optional<Fault>* body_fault) {
  Fault fault;
  int hop = -1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = faults_.find(request.path);
    if (found == faults_.end()) return false;
    FaultState& state = found->second;
    // Each redirect chain counts once, at its first request.
    if (state.fault.kind == Fault::Kind::kRedirect && request.has_param("__hop")) {
      hop = std::atoi(request.get_param_value("__hop").c_str());
    } else {
      if (state.fault.times >= 0 && state.used >= state.fault.times) return false;
      ++state.used;
    }
    fault = state.fault;
  }
  switch (fault.kind) {
    case Fault::Kind::kStatus:
      response.status = fault.status;
      response.set_content("devserver fault: status " + std::to_string(fault.status) + "\n",
                           "text/plain");
      return true;
    case Fault::Kind::kRedirect: {
      const int remaining = hop >= 0 ? hop : fault.hops;
      response.status = 302;
      response.set_header("Location", remaining > 1 ? request.path + "?__hop=" +
                                                          std::to_string(remaining - 1)
                                                    : fault.target);
      response.set_content("redirect\n", "text/plain");
      return true;
    }
    case Fault::Kind::kDelay:
      SleepUnlessStopping(std::chrono::milliseconds(fault.delay_ms));
      return false;
    case Fault::Kind::kDrop:
    case Fault::Kind::kTruncate:
    case Fault::Kind::kChunked:
      *body_fault = fault;
      return false;
  }
  return false;
}

void DevServer::SendBody(const httplib::Request& request, httplib::Response& response,
                         std::shared_ptr<BodySource> body, const std::string& content_type,
                         const std::optional<Fault>& fault) {
  std::uint64_t size = body->Size();
  auto pacer = std::make_shared<Pacer>(options_.rate_bytes_per_second);
  const std::atomic<bool>* stopping = &stopping_;
  if (fault && fault->kind == Fault::Kind::kTruncate) size = std::min(size, fault->bytes);
  // The library cuts ranges out of the body; a single range that starts at
  // or past the end cannot be served at all.
  if (!fault && request.ranges.size() == 1) {
    const auto [first, last] = request.ranges.front();
    const bool unsatisfiable = first >= 0 ? static_cast<std::uint64_t>(first) >= size
                                          : (last <= 0 || size == 0);
    if (unsatisfiable) {
      response.status = 416;
      response.set_header("Content-Range", "bytes */" + std::to_string(size));
      return;
    }
  }
  if (fault && fault->kind == Fault::Kind::kChunked) {
    response.set_chunked_content_provider(
        content_type, [body, size, pacer, stopping](std::size_t offset, httplib::DataSink& sink) {
          if (offset >= size) {
            sink.done();
            return true;
          }
          const std::size_t count =
              static_cast<std::size_t>(std::min<std::uint64_t>(pacer->ChunkLimit(), size - offset));
          std::string chunk(count, '\0');
          if (!body->Read(offset, chunk.data(), count) || !sink.write(chunk.data(), count))
            return false;
          return pacer->After(offset + count, *stopping);
        });
    return;
  }
  // A dropped connection announces the whole body but ends after `limit`.
  const std::uint64_t limit =
      fault && fault->kind == Fault::Kind::kDrop ? std::min(size, fault->bytes) : size;
  response.set_content_provider(
      static_cast<std::size_t>(size), content_type,
      [body, limit, pacer, stopping](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        if (offset >= limit) return false;
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(
            {static_cast<std::uint64_t>(length), limit - offset, pacer->ChunkLimit()}));
        std::string chunk(count, '\0');
        if (!body->Read(offset, chunk.data(), count) || !sink.write(chunk.data(), count))
          return false;
        return pacer->After(offset + count, *stopping);
      });
}

std::optional<std::map<std::string, std::string>> DevServer::LoadConfig(
    const std::string& environment, const std::string& endpoint) const {
  if (options_.config_folder.empty()) return std::nullopt;
  std::vector<std::string> candidates;
  if (IsPlainName(environment)) {
    candidates.push_back(environment);
    candidates.push_back(Lower(environment));
  }
  candidates.push_back(endpoint);
  candidates.push_back("default");
  for (const std::string& name : candidates) {
    const auto path = options_.config_folder / (name + ".conf");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) continue;
    bool ok = false;
    const std::string text = ReadWholeFile(path, &ok);
    if (ok) return ParseConfig(text);
  }
  return std::nullopt;
}

void DevServer::HandleBackend(const httplib::Request& request, httplib::Response& response) {
  std::optional<Fault> body_fault;
  if (ApplyFaultBefore(request, response, &body_fault)) return;
  const std::string endpoint = request.matches[1];
  const std::string command = request.matches[2];
  if (std::find(std::begin(kEndpointPaths), std::end(kEndpointPaths), endpoint) ==
      std::end(kEndpointPaths)) {
    response.status = 404;
    response.set_content("unknown endpoint " + endpoint + "\n", "text/plain");
    return;
  }
  const bool version = command == "getCurrentVersion";
  const std::string environment = request.get_param_value(version ? "menv" : "name");
  auto config = LoadConfig(environment, endpoint);
  if (!config) {
    response.status = 404;
    response.set_content("no configuration for environment '" + environment + "'\n", "text/plain");
    return;
  }
  // "${host}" lets one file name URLs on whatever address was asked.
  const std::string host = request.get_header_value("Host");
  for (auto& [key, value] : *config) {
    for (std::size_t at; (at = value.find("${host}")) != std::string::npos;)
      value.replace(at, 7, host);
  }
  std::string reply;
  const auto raw = config->find(version ? "reply.version" : "reply.status");
  if (raw != config->end()) {
    bool ok = IsPlainName(raw->second);
    if (ok) reply = ReadWholeFile(options_.config_folder / raw->second, &ok);
    if (!ok) {
      response.status = 500;
      response.set_content("cannot read reply file '" + raw->second + "'\n", "text/plain");
      return;
    }
  } else if (auto error = BuildErrorReply(*config)) {
    reply = *error;
  } else {
    reply = version ? BuildVersionReply(*config) : BuildStatusReply(*config);
  }
  SendBody(request, response, std::make_shared<StringBody>(std::move(reply)), "text/xml",
           body_fault);
}

void DevServer::HandleStatic(const httplib::Request& request, httplib::Response& response) {
  std::optional<Fault> body_fault;
  if (ApplyFaultBefore(request, response, &body_fault)) return;
  auto not_found = [&response] {
    response.status = 404;
    response.set_content("not found\n", "text/plain");
  };
  if (options_.content_folder.empty() || request.path.rfind(kAdminPrefix, 0) == 0)
    return not_found();
  // Only plain relative names below the content folder: no "..", no
  // backslashes, no NUL, and the resolved file must still be inside.
  const std::string& path = request.path;
  if (path.find('\\') != std::string::npos || path.find('\0') != std::string::npos)
    return not_found();
  std::filesystem::path relative;
  std::size_t start = 1;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string segment = path.substr(start, end - start);
    if (segment == "..") return not_found();
    if (!segment.empty() && segment != ".") relative /= segment;
    start = end + 1;
  }
  std::error_code ec;
  const auto root = std::filesystem::canonical(options_.content_folder, ec);
  if (ec) return not_found();
  const auto file = std::filesystem::weakly_canonical(root / relative, ec);
  if (ec || !std::filesystem::is_regular_file(file, ec)) return not_found();
  const auto [mismatch, ignored] = std::mismatch(root.begin(), root.end(), file.begin(), file.end());
  if (mismatch != root.end()) return not_found();
  auto body = FileBody::Open(file);
  if (!body) return not_found();
  SendBody(request, response, body, ContentTypeFor(file), body_fault);
}

void DevServer::LogRequest(const httplib::Request& request, const httplib::Response& response) {
  last_request_ms_ = NowMilliseconds();
  const std::time_t now = std::time(nullptr);
  char stamp[32];
  std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", std::gmtime(&now));
  std::lock_guard<std::mutex> lock(log_mutex_);
  std::fprintf(log_, "%s %s:%d %s %s %d \"%s\"\n", stamp, request.local_addr.c_str(),
               request.local_port, request.method.c_str(), request.target.c_str(), response.status,
               request.get_header_value("User-Agent").c_str());
  std::fflush(log_);
}

}  // namespace velmora::devserver
