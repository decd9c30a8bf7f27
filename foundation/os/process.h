// Processes: this process's arguments, starting children and waiting on them.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmora::os {

// The process command line split into elements, the program name included.
// Windows: GetCommandLineW split by CommandLineToArgvW. POSIX: the process
// arguments as given. Returns false when the command line cannot be split.
[[nodiscard]] bool GetCommandLineArguments(std::vector<std::u16string>* arguments);

// The value handed to a child as "-handle:%08X" so that it can wait for this
// process to end. Windows: an inheritable duplicate of this process's handle.
// POSIX: the process id.
[[nodiscard]] bool DuplicateCurrentProcessHandleForChild(std::uint32_t* value);

// Waits without a time limit for the process named by a value received as
// "-handle:" and then closes the handle. Windows: the value is an inherited
// process handle. POSIX: a process id, watched through pidfd_open and poll;
// a process that is already gone returns at once.
void WaitForProcessHandleAndClose(std::uint32_t value);

// Full path of the running executable.
std::filesystem::path GetExecutablePath();
// Full path of the module (executable or shared library) that holds `address`.
std::filesystem::path GetModulePathFromAddress(const void* address);

struct ChildProcessOptions {
  std::filesystem::path working_directory;  // empty: inherit
  // Variables set (or, with an empty optional, removed) in the child's
  // environment on top of this process's environment.
  std::map<std::string, std::optional<std::string>> environment;
  bool inherit_handles = false;           // Windows: bInheritHandles
  bool capture_output = false;            // standard output and error to `output`
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // closes handles; does not end the process
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;

  // Starts `program` with `arguments` (the program name is added in front).
  // On Windows the command line is quoted by the standard rules.
  [[nodiscard]] bool Start(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments,
                           const ChildProcessOptions& options = {});

  // Waits up to `timeout` for the process to end; returns its exit code, or
  // nothing on time-out.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  // Ends the process by force.
  void Kill();
  bool IsRunning();
  std::uint32_t Id() const;
  // A value another child started with inherit_handles can receive as
  // "-handle:%08X" to wait for this process. Windows: an inheritable
  // duplicate of the process handle, owned by this object. POSIX: the id.
  std::uint32_t InheritableHandleValue();
  // Standard output and error collected so far (capture_output only); read
  // after Wait.
  const std::string& Output() const { return output_; }

 private:
  struct State;
  State* state_ = nullptr;
  std::string output_;
};

}  // namespace velmora::os
