// velmora-devserver command line. See docs/devserver.md.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "tools/devserver/devserver.h"

namespace {

constexpr const char* kUsage =
    "usage: velmora-devserver [options]\n"
    "  --listen ADDRESS:PORT  loopback address to serve on (repeatable; port 0 picks\n"
    "                         a free port; default 127.0.0.1:8080)\n"
    "  --content DIR          serve the files of DIR as static content\n"
    "  --config DIR           answer the backend commands from DIR/<environment>.conf\n"
    "  --rate BYTES           limit every response body to BYTES per second\n"
    "  --fault PATH=KIND      misbehave on PATH: status:CODE, redirect:N:TARGET,\n"
    "                         delay:MS, drop:N, truncate:N, chunked; add ,times=N\n"
    "                         to misbehave on the first N requests only (repeatable)\n"
    "  --port-file FILE       write the bound addresses there, one per line\n"
    "  --log FILE             append request lines to FILE (default: standard output)\n"
    "  --idle-exit SECONDS    stop after SECONDS without a request\n"
    "Stops on SIGTERM, Ctrl+C, or POST /__devserver/shutdown.\n";

bool ParseListen(const std::string& text, std::pair<std::string, std::uint16_t>* listen) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  char* end = nullptr;
  const long port = std::strtol(text.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || port < 0 || port > 65535 || colon + 1 == text.size()) return false;
  std::string host = text.substr(0, colon);
  if (host == "localhost") host = "127.0.0.1";
  *listen = {host, static_cast<std::uint16_t>(port)};
  return true;
}

bool WritePortFile(const std::string& path, const std::vector<std::string>& addresses) {
  // Written under another name and renamed, so a reader never sees half.
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const auto& address : addresses) out << address << "\n";
    if (!out) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  velmora::devserver::Options options;
  std::string port_file;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string text;
    if (option == "--help" || option == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (option == "--listen" && value(&text)) {
      std::pair<std::string, std::uint16_t> listen;
      if (!ParseListen(text, &listen)) {
        std::cerr << "velmora-devserver: bad --listen value '" << text << "'\n";
        return 2;
      }
      options.listen.push_back(listen);
    } else if (option == "--content" && value(&text)) {
      options.content_folder = text;
    } else if (option == "--config" && value(&text)) {
      options.config_folder = text;
    } else if (option == "--rate" && value(&text)) {
      options.rate_bytes_per_second = std::strtoull(text.c_str(), nullptr, 10);
    } else if (option == "--fault" && value(&text)) {
      std::string path, error;
      velmora::devserver::Fault fault;
      if (!velmora::devserver::ParseFault(text, &path, &fault, &error)) {
        std::cerr << "velmora-devserver: bad --fault '" << text << "': " << error << "\n";
        return 2;
      }
      options.faults.emplace_back(path, fault);
    } else if (option == "--port-file" && value(&text)) {
      port_file = text;
    } else if (option == "--log" && value(&text)) {
      options.log_file = text;
    } else if (option == "--idle-exit" && value(&text)) {
      options.idle_exit_seconds = std::atoi(text.c_str());
    } else {
      std::cerr << "velmora-devserver: unknown or incomplete option '" << option << "'\n"
                << kUsage;
      return 2;
    }
  }

  // Every thread started from here on leaves SIGINT and SIGTERM to the
  // watcher below, which turns them into an orderly stop.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  velmora::devserver::DevServer server(options);
  std::string error;
  if (!server.Start(&error)) {
    std::cerr << "velmora-devserver: " << error << "\n";
    return 1;
  }
  for (const auto& address : server.Addresses())
    std::cout << "velmora-devserver listening on http://" << address << "/" << std::endl;
  if (!port_file.empty() && !WritePortFile(port_file, server.Addresses())) {
    std::cerr << "velmora-devserver: cannot write " << port_file << "\n";
    server.Stop();
    return 1;
  }

  std::atomic<bool> finished{false};
  std::thread watcher([&] {
    int received = 0;
    sigwait(&stop_signals, &received);
    if (!finished.load()) std::cout << "velmora-devserver: signal " << received << ", stopping" << std::endl;
    server.Stop();
  });
  server.Wait();
  finished = true;
  server.Stop();
  // Release the watcher if no signal came.
  pthread_kill(watcher.native_handle(), SIGTERM);
  watcher.join();
  std::cout << "velmora-devserver stopped" << std::endl;
  return 0;
}
