#include "foundation/os/process.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "foundation/text/utf.h"

extern char** environ;

namespace velmora::os {

bool GetCommandLineArguments(std::vector<std::u16string>* arguments) {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  if (!in) return false;
  std::ostringstream raw;
  raw << in.rdbuf();
  const std::string all = raw.str();
  arguments->clear();
  std::size_t start = 0;
  while (start < all.size()) {
    const auto end = all.find('\0', start);
    arguments->push_back(Utf8ToUtf16(all.substr(start, end - start)));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return !arguments->empty();
}

bool DuplicateCurrentProcessHandleForChild(std::uint32_t* value) {
  *value = static_cast<std::uint32_t>(::getpid());
  return true;
}

void WaitForProcessHandleAndClose(std::uint32_t value) {
  const pid_t pid = static_cast<pid_t>(value);
  if (pid <= 0) return;
#ifdef SYS_pidfd_open
  const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (fd >= 0) {
    pollfd pfd{fd, POLLIN, 0};
    while (::poll(&pfd, 1, -1) < 0 && errno == EINTR) {
    }
    ::close(fd);
    return;
  }
  if (errno == ESRCH) return;  // already gone
#endif
  // Kernels without pidfd: look every 50 ms.
  while (::kill(pid, 0) == 0 || errno == EPERM)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

std::filesystem::path GetExecutablePath() {
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec);
}

std::filesystem::path GetModulePathFromAddress(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) && info.dli_fname) {
    std::error_code ec;
    auto path = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::filesystem::path(info.dli_fname) : path;
  }
  return GetExecutablePath();
}

struct ChildProcess::State {
  pid_t pid = -1;
  int output_fd = -1;
  bool exited = false;
  int exit_code = -1;
};

ChildProcess::~ChildProcess() {
  if (!state_) return;
  if (state_->output_fd >= 0) ::close(state_->output_fd);
  // Reap it if it has already ended, so no zombie is left behind.
  if (!state_->exited && state_->pid > 0) ::waitpid(state_->pid, nullptr, WNOHANG);
  delete state_;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : state_(other.state_), output_(std::move(other.output_)) {
  other.state_ = nullptr;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  std::swap(state_, other.state_);
  std::swap(output_, other.output_);
  return *this;
}

bool ChildProcess::Start(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const ChildProcessOptions& options) {
  if (state_) return false;
  std::vector<std::string> args;
  args.push_back(program.string());
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    const std::string name = entry.substr(0, entry.find('='));
    if (!options.environment.count(name)) env.push_back(entry);
  }
  for (const auto& [name, value] : options.environment)
    if (value) env.push_back(name + "=" + *value);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  int pipe_fds[2] = {-1, -1};
  if (options.capture_output && ::pipe2(pipe_fds, O_CLOEXEC) != 0) return false;
  // The exec error travels back through a close-on-exec pipe.
  int error_pipe[2];
  if (::pipe2(error_pipe, O_CLOEXEC) != 0) return false;

  const std::string working = options.working_directory.string();
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (options.capture_output) {
      ::dup2(pipe_fds[1], 1);
      ::dup2(pipe_fds[1], 2);
    }
    if (!working.empty() && ::chdir(working.c_str()) != 0) {
      int err = errno;
      (void)!::write(error_pipe[1], &err, sizeof err);
      ::_exit(127);
    }
    ::execve(argv[0], argv.data(), envp.data());
    int err = errno;
    (void)!::write(error_pipe[1], &err, sizeof err);
    ::_exit(127);
  }
  ::close(error_pipe[1]);
  int child_errno = 0;
  const bool exec_failed = ::read(error_pipe[0], &child_errno, sizeof child_errno) > 0;
  ::close(error_pipe[0]);
  if (options.capture_output) ::close(pipe_fds[1]);
  if (exec_failed) {
    ::waitpid(pid, nullptr, 0);
    if (options.capture_output) ::close(pipe_fds[0]);
    return false;
  }
  state_ = new State{pid, options.capture_output ? pipe_fds[0] : -1, false, -1};
  if (state_->output_fd >= 0) ::fcntl(state_->output_fd, F_SETFL, O_NONBLOCK);
  return true;
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (!state_) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[4096];
  for (;;) {
    if (state_->output_fd >= 0) {
      for (;;) {
        const ssize_t n = ::read(state_->output_fd, buffer, sizeof buffer);
        if (n > 0) {
          output_.append(buffer, static_cast<std::size_t>(n));
          continue;
        }
        if (n == 0) {
          ::close(state_->output_fd);
          state_->output_fd = -1;
        }
        break;
      }
    }
    if (!state_->exited) {
      int status = 0;
      if (::waitpid(state_->pid, &status, WNOHANG) == state_->pid) {
        state_->exited = true;
        state_->exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
    }
    if (state_->exited && state_->output_fd < 0) return state_->exit_code;
    if (state_->exited) {
      // Grandchildren may hold the pipe open; collect what is there and stop.
      pollfd pfd{state_->output_fd, POLLIN, 0};
      if (::poll(&pfd, 1, 50) <= 0) return state_->exit_code;
      continue;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    if (state_->output_fd >= 0) {
      pollfd pfd{state_->output_fd, POLLIN, 0};
      ::poll(&pfd, 1, 10);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
}

void ChildProcess::Kill() {
  if (state_ && !state_->exited) ::kill(state_->pid, SIGKILL);
}

bool ChildProcess::IsRunning() {
  if (!state_ || state_->exited) return false;
  int status = 0;
  if (::waitpid(state_->pid, &status, WNOHANG) == state_->pid) {
    state_->exited = true;
    state_->exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }
  return true;
}

std::uint32_t ChildProcess::Id() const {
  return state_ ? static_cast<std::uint32_t>(state_->pid) : 0;
}

std::uint32_t ChildProcess::InheritableHandleValue() { return Id(); }

}  // namespace velmora::os
