#include "foundation/os/process.h"

#include <thread>

#include "foundation/os/win32/win_util.h"

// After windows.h, which it needs.
#include <shellapi.h>

namespace velmora::os {

bool GetCommandLineArguments(std::vector<std::u16string>* arguments) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return false;
  arguments->clear();
  for (int i = 0; i < count; ++i) arguments->push_back(win::U16(argv[i]));
  LocalFree(argv);
  return true;
}

bool DuplicateCurrentProcessHandleForChild(std::uint32_t* value) {
  HANDLE duplicate = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &duplicate,
                       SYNCHRONIZE, TRUE, 0))
    return false;
  *value = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(duplicate));
  return true;
}

void WaitForProcessHandleAndClose(std::uint32_t value) {
  HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);
}

std::filesystem::path GetExecutablePath() {
  wchar_t buffer[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
  return std::filesystem::path(std::wstring(buffer, length));
}

std::filesystem::path GetModulePathFromAddress(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(address), &module))
    return GetExecutablePath();
  wchar_t buffer[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(module, buffer, static_cast<DWORD>(std::size(buffer)));
  return std::filesystem::path(std::wstring(buffer, length));
}

namespace {

// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
void AppendQuoted(const std::wstring& argument, std::wstring* command_line) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    command_line->append(argument);
    return;
  }
  command_line->push_back(L'"');
  for (auto it = argument.begin();; ++it) {
    std::size_t backslashes = 0;
    while (it != argument.end() && *it == L'\\') {
      ++it;
      ++backslashes;
    }
    if (it == argument.end()) {
      command_line->append(backslashes * 2, L'\\');
      break;
    }
    if (*it == L'"') {
      command_line->append(backslashes * 2 + 1, L'\\');
      command_line->push_back(*it);
    } else {
      command_line->append(backslashes, L'\\');
      command_line->push_back(*it);
    }
  }
  command_line->push_back(L'"');
}

}  // namespace

struct ChildProcess::State {
  HANDLE process = nullptr;
  DWORD id = 0;
  HANDLE output = nullptr;
  HANDLE inheritable = nullptr;
};

ChildProcess::~ChildProcess() {
  if (!state_) return;
  if (state_->output) CloseHandle(state_->output);
  if (state_->inheritable) CloseHandle(state_->inheritable);
  if (state_->process) CloseHandle(state_->process);
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
  std::wstring command_line;
  AppendQuoted(program.wstring(), &command_line);
  for (const auto& argument : arguments) {
    command_line.push_back(L' ');
    AppendQuoted(win::Wide(argument), &command_line);
  }

  // The child's environment: ours, with the requested changes.
  std::wstring block;
  if (!options.environment.empty()) {
    LPWCH current = GetEnvironmentStringsW();
    for (LPWCH entry = current; *entry; entry += wcslen(entry) + 1) {
      std::wstring text(entry);
      const auto equals = text.find(L'=', 1);
      const std::string name = win::Utf8(text.substr(0, equals).c_str());
      bool replaced = false;
      for (const auto& [key, value] : options.environment)
        if (EqualsIgnoreAsciiCase(key, name)) replaced = true;
      if (!replaced) block += text + L'\0';
    }
    FreeEnvironmentStringsW(current);
    for (const auto& [key, value] : options.environment)
      if (value) block += win::Wide(key) + L"=" + win::Wide(*value) + L'\0';
    block += L'\0';
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  HANDLE read_end = nullptr, write_end = nullptr;
  bool inherit = options.inherit_handles;
  if (options.capture_output) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    if (!CreatePipe(&read_end, &write_end, &sa, 0)) return false;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    inherit = true;
  }
  PROCESS_INFORMATION info{};
  const std::wstring working = options.working_directory.wstring();
  const BOOL started = CreateProcessW(
      nullptr, command_line.data(), nullptr, nullptr, inherit ? TRUE : FALSE,
      CREATE_UNICODE_ENVIRONMENT, block.empty() ? nullptr : block.data(),
      working.empty() ? nullptr : working.c_str(), &startup, &info);
  if (write_end) CloseHandle(write_end);
  if (!started) {
    if (read_end) CloseHandle(read_end);
    return false;
  }
  CloseHandle(info.hThread);
  state_ = new State{info.hProcess, info.dwProcessId, read_end, nullptr};
  return true;
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (!state_) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto drain = [this] {
    while (state_->output) {
      DWORD available = 0;
      if (!PeekNamedPipe(state_->output, nullptr, 0, nullptr, &available, nullptr)) {
        CloseHandle(state_->output);  // the writer is gone
        state_->output = nullptr;
        break;
      }
      if (available == 0) break;
      char buffer[4096];
      DWORD got = 0;
      if (!ReadFile(state_->output, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
      output_.append(buffer, got);
    }
  };
  for (;;) {
    drain();
    if (WaitForSingleObject(state_->process, 10) == WAIT_OBJECT_0) {
      drain();
      DWORD code = 0;
      GetExitCodeProcess(state_->process, &code);
      return static_cast<int>(code);
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
  }
}

void ChildProcess::Kill() {
  if (state_) TerminateProcess(state_->process, 1);
}

bool ChildProcess::IsRunning() {
  return state_ && WaitForSingleObject(state_->process, 0) == WAIT_TIMEOUT;
}

std::uint32_t ChildProcess::Id() const { return state_ ? state_->id : 0; }

std::uint32_t ChildProcess::InheritableHandleValue() {
  if (!state_) return 0;
  if (!state_->inheritable &&
      !DuplicateHandle(GetCurrentProcess(), state_->process, GetCurrentProcess(),
                       &state_->inheritable, SYNCHRONIZE, TRUE, 0))
    return 0;
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(state_->inheritable));
}

}  // namespace velmora::os
