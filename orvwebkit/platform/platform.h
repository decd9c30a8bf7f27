// What the library needs of the operating system, in its own terms. One
// backend per platform (posix/, win32/), chosen by the build.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora::orvwebkit::platform {

// ---------------------------------------------------------------------------
// Loopback TCP.

// Starts the socket library for the life of the returned token (Windows:
// WSAStartup; POSIX: nothing). Tokens nest.
class SocketLibrary {
 public:
  SocketLibrary();
  ~SocketLibrary();
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

class Socket {
 public:
  virtual ~Socket() = default;
  // Sends every byte; false when the connection is gone.
  virtual bool SendAll(const void* data, std::size_t size) = 0;
  // Waits up to `timeout` (negative: without limit) for data. Returns the
  // bytes received (> 0), 0 when the peer closed, -1 on an error and -2 on
  // time-out.
  virtual std::ptrdiff_t Receive(void* buffer, std::size_t size,
                                 std::chrono::milliseconds timeout) = 0;
  // Ends both directions so that a Receive blocked in another thread returns.
  virtual void ShutdownBoth() = 0;
};

// Connects to 127.0.0.1:`port`; null on failure or time-out.
std::unique_ptr<Socket> ConnectLoopback(std::uint16_t port, std::chrono::milliseconds timeout);

// A listening socket on 127.0.0.1 (tests serve fake peers with it).
class Listener {
 public:
  virtual ~Listener() = default;
  virtual std::uint16_t Port() const = 0;
  // Null on time-out or error.
  virtual std::unique_ptr<Socket> Accept(std::chrono::milliseconds timeout) = 0;
};
std::unique_ptr<Listener> ListenLoopback();

// ---------------------------------------------------------------------------
// The browser process.

class BrowserProcess {
 public:
  virtual ~BrowserProcess() = default;  // ends the process if still running
  virtual bool IsRunning() = 0;
  // True when the process ended within `timeout`.
  virtual bool WaitForExit(std::chrono::milliseconds timeout) = 0;
  // Ends the process and everything it started, by force.
  virtual void Kill() = 0;
  virtual std::uint32_t Id() const = 0;
};

// Starts `program` (UTF-8 path) with `arguments` and this process's
// environment with `environment` ("NAME=value" texts) set on top, output
// discarded. The process must not outlive this one even when this one
// crashes: POSIX ties it to the process with a parent-death signal, Windows
// puts it in a job object that kills on close. Null on failure.
std::unique_ptr<BrowserProcess> StartBrowserProcess(const std::string& program,
                                                    const std::vector<std::string>& arguments,
                                                    const std::vector<std::string>& environment);

// Places where the platform's browsers are usually installed, in order of
// preference (POSIX: "chromium" on the search path; Windows: Edge, then
// Chrome, machine-wide and per-user). Only existing files are listed.
std::vector<std::string> FindInstalledBrowsers();

// Whether the browser must run without its sandbox (it refuses to start
// sandboxed as the superuser).
bool BrowserNeedsNoSandbox(const std::string& program);

// The form in which the browser understands a local path or a file: URL of
// this process. They differ only when a Windows build drives a POSIX browser
// under a compatibility layer; then drive paths are turned into the host
// system's paths. Texts are UTF-8.
std::string BrowserLocalPath(const std::string& program, const std::string& path);
std::string BrowserFileUrl(const std::string& program, const std::string& url);

// An environment variable as UTF-8.
std::optional<std::string> GetEnvironmentUtf8(const char* name);

// Processor time this process has used, in seconds.
double ProcessCpuSeconds();

// ---------------------------------------------------------------------------
// PNG images, as 32-bit pixels in the byte order blue, green, red, alpha.

struct DecodedImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// Decodes `size` bytes of PNG into `pixels` (rows top to bottom, `stride`
// bytes apart) when the image is at most max_width x max_height; pixels
// outside the image are left alone. Nothing when the data is not a PNG or is
// damaged.
std::optional<DecodedImage> DecodePng(const std::uint8_t* data, std::size_t size,
                                      std::uint8_t* pixels, std::int32_t stride,
                                      std::int32_t max_width, std::int32_t max_height);

// Encodes pixels (same layout, alpha dropped) as a PNG file image.
bool EncodePng(const std::uint8_t* pixels, std::int32_t width, std::int32_t height,
               std::int32_t stride, std::vector<std::uint8_t>* png);

}  // namespace velmora::orvwebkit::platform
