#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>

#include "orvwebkit/platform/platform.h"

namespace velmora::orvwebkit::platform {
namespace {

// The browser is started and reaped by one "keeper" thread that lives exactly
// as long as the browser. A parent-death signal is tied to the thread that
// forked, so forking from the keeper (rather than from whichever thread
// initialised the library) keeps the browser alive while it is wanted and
// ends it when this process dies, however it dies.
class PosixBrowserProcess final : public BrowserProcess {
 public:
  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment) {
    std::unique_lock lock(mutex_);
    keeper_ = std::thread(
        [this, program, arguments, environment] { Keep(program, arguments, environment); });
    changed_.wait(lock, [this] { return started_ || exited_; });
    return started_;
  }

  ~PosixBrowserProcess() override {
    if (IsRunning()) Kill();
    if (keeper_.joinable()) keeper_.join();
    // Children that outlived the browser (they normally follow it within a
    // moment) go with its process group.
    if (pid_ > 0) ::kill(-pid_, SIGKILL);
  }

  bool IsRunning() override {
    std::lock_guard lock(mutex_);
    return started_ && !exited_;
  }

  bool WaitForExit(std::chrono::milliseconds timeout) override {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return exited_; });
  }

  void Kill() override {
    std::lock_guard lock(mutex_);
    if (pid_ > 0 && !exited_) {
      ::kill(-pid_, SIGKILL);
      ::kill(pid_, SIGKILL);
    }
  }

  std::uint32_t Id() const override { return static_cast<std::uint32_t>(pid_); }

 private:
  void Keep(const std::string& program, const std::vector<std::string>& arguments,
            const std::vector<std::string>& environment) {
    // Everything the child needs is prepared before fork: after fork only
    // async-signal-safe calls are allowed.
    std::vector<std::string> owned{program};
    owned.insert(owned.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : owned) argv.push_back(text.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = environment;
    for (char** entry = environ; *entry; ++entry) {
      const std::string text = *entry;
      const std::string name = text.substr(0, text.find('='));
      bool replaced = false;
      for (const auto& added : environment) {
        replaced = replaced || added.compare(0, name.size() + 1, name + "=") == 0;
      }
      if (!replaced) variables.push_back(text);
    }
    std::vector<char*> envp;
    for (auto& text : variables) envp.push_back(text.data());
    envp.push_back(nullptr);
    const pid_t parent = ::getpid();

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return Finish(-1);
    const pid_t child = ::fork();
    if (child == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);  // the parent is already gone
      ::setpgid(0, 0);
      sigset_t all;
      ::sigemptyset(&all);
      ::sigprocmask(SIG_SETMASK, &all, nullptr);
      const int null_fd = ::open("/dev/null", O_RDWR);
      if (null_fd >= 0) {
        ::dup2(null_fd, 0);
        ::dup2(null_fd, 1);
        ::dup2(null_fd, 2);
      }
      ::execve(argv[0], argv.data(), envp.data());
      const int error = errno;
      (void)!::write(report[1], &error, sizeof error);
      ::_exit(127);
    }
    ::close(report[1]);
    if (child < 0) {
      ::close(report[0]);
      return Finish(-1);
    }
    int exec_error = 0;
    ssize_t got;
    do {
      got = ::read(report[0], &exec_error, sizeof exec_error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got > 0) {  // exec failed
      ::waitpid(child, nullptr, 0);
      return Finish(-1);
    }
    {
      std::lock_guard lock(mutex_);
      pid_ = child;
      started_ = true;
    }
    changed_.notify_all();
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    Finish(child);
  }

  void Finish(pid_t) {
    {
      std::lock_guard lock(mutex_);
      exited_ = true;
    }
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread keeper_;
  pid_t pid_ = -1;
  bool started_ = false;
  bool exited_ = false;
};

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::unique_ptr<BrowserProcess> StartBrowserProcess(const std::string& program,
                                                    const std::vector<std::string>& arguments,
                                                    const std::vector<std::string>& environment) {
  auto process = std::make_unique<PosixBrowserProcess>();
  if (!process->Start(program, arguments, environment)) return nullptr;
  return process;
}

std::vector<std::string> FindInstalledBrowsers() {
  std::vector<std::string> found;
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "/usr/local/bin:/usr/bin:/bin");
  std::vector<std::string> list;
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (!folder.empty()) list.push_back(folder);
  }
  for (const char* name : {"chromium", "chromium-browser"}) {
    for (const auto& folder : list) {
      const std::string candidate = folder + "/" + name;
      if (IsExecutableFile(candidate)) {
        found.push_back(candidate);
        break;
      }
    }
  }
  return found;
}

bool BrowserNeedsNoSandbox(const std::string&) { return ::geteuid() == 0; }

std::string BrowserLocalPath(const std::string&, const std::string& path) { return path; }
std::string BrowserFileUrl(const std::string&, const std::string& url) { return url; }

std::optional<std::string> GetEnvironmentUtf8(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

double ProcessCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace velmora::orvwebkit::platform
