#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>

#include "orvwebkit/platform/platform.h"

namespace velmora::orvwebkit::platform {
namespace {

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
  return wide;
}

std::string Narrow(const wchar_t* text, int length = -1) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string narrow(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), size, nullptr, nullptr);
  if (length < 0) narrow.pop_back();  // the terminator
  return narrow;
}

// Quotes one argument so that CommandLineToArgvW (and the C runtime) give it
// back unchanged: backslashes double only before a quote.
void AppendQuoted(std::wstring* line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    *line += argument;
    return;
  }
  *line += L'"';
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < argument.size() && argument[i] == L'\\') {
      ++i;
      ++backslashes;
    }
    if (i == argument.size()) {
      line->append(backslashes * 2, L'\\');
      break;
    }
    if (argument[i] == L'"') {
      line->append(backslashes * 2 + 1, L'\\');
    } else {
      line->append(backslashes, L'\\');
    }
    *line += argument[i];
  }
  *line += L'"';
}

using UnixFileNameFunction = char* (*)(const wchar_t*);

// Present only under the compatibility layer that runs Windows programs on
// POSIX systems; it maps a drive path to the host system's path.
UnixFileNameFunction UnixFileNameMapper() {
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return nullptr;
  return reinterpret_cast<UnixFileNameFunction>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "wine_get_unix_file_name")));
}

// A program that is not a Windows executable (no "MZ" header) can only be a
// host-system program started through the compatibility layer.
bool IsHostSystemProgram(const std::string& program) {
  if (!UnixFileNameMapper()) return false;
  HANDLE file = ::CreateFileW(Widen(program).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char header[2] = {};
  DWORD got = 0;
  const BOOL read = ::ReadFile(file, header, sizeof header, &got, nullptr);
  ::CloseHandle(file);
  return read && !(got == 2 && header[0] == 'M' && header[1] == 'Z');
}

std::string ToHostSystemPath(const std::string& path) {
  UnixFileNameFunction mapper = UnixFileNameMapper();
  if (!mapper) return path;
  char* mapped = mapper(Widen(path).c_str());
  if (!mapped) return path;
  std::string result(mapped);
  ::HeapFree(::GetProcessHeap(), 0, mapped);
  return result;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string PercentEncodePath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
        c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

class WinBrowserProcess final : public BrowserProcess {
 public:
  WinBrowserProcess(HANDLE process, HANDLE job, DWORD id) : process_(process), job_(job), id_(id) {}
  ~WinBrowserProcess() override {
    if (IsRunning()) Kill();
    if (process_) ::CloseHandle(process_);
    // Closing the job ends whatever the browser left behind.
    if (job_) ::CloseHandle(job_);
  }

  // A host-system program started through the compatibility layer has no
  // process handle: it counts as running until it was killed, and its end
  // is seen through the protocol connection instead.
  bool IsRunning() override {
    if (!process_) return !killed_;
    return ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
  }

  bool WaitForExit(std::chrono::milliseconds timeout) override {
    if (!process_) return killed_;
    return ::WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
  }

  void Kill() override {
    killed_ = true;
    if (job_) ::TerminateJobObject(job_, 1);
    if (process_) ::TerminateProcess(process_, 1);
  }

  std::uint32_t Id() const override { return id_; }

 private:
  HANDLE process_;
  HANDLE job_;
  DWORD id_;
  bool killed_ = false;
};

HANDLE CreateKillOnCloseJob() {
  HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
  if (!job) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
    ::CloseHandle(job);
    return nullptr;
  }
  return job;
}

std::wstring EnvironmentFolder(const wchar_t* name) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(buffer, length);
}

bool FileExistsWide(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// This process's environment block with `environment` set on top.
std::wstring EnvironmentBlock(const std::vector<std::string>& environment) {
  std::wstring block;
  std::vector<std::wstring> added;
  for (const auto& text : environment) added.push_back(Widen(text));
  for (const auto& text : added) block += text + L'\0';
  LPWCH current = ::GetEnvironmentStringsW();
  for (LPWCH entry = current; entry && *entry; entry += std::wcslen(entry) + 1) {
    const std::wstring text(entry);
    const std::size_t equals = text.find(L'=', 1);
    const std::wstring name = text.substr(0, equals + 1);  // with the '='
    const int length = static_cast<int>(name.size());
    bool replaced = false;
    for (const auto& candidate : added) {
      // Variable names compare without case on Windows.
      replaced = replaced || (candidate.size() >= name.size() &&
                              ::CompareStringOrdinal(candidate.c_str(), length, name.c_str(),
                                                     length, TRUE) == CSTR_EQUAL);
    }
    if (!replaced) block += text + L'\0';
  }
  if (current) ::FreeEnvironmentStringsW(current);
  block += L'\0';
  return block;
}

}  // namespace

std::unique_ptr<BrowserProcess> StartBrowserProcess(const std::string& program,
                                                    const std::vector<std::string>& arguments,
                                                    const std::vector<std::string>& environment) {
  const std::wstring wide_program = Widen(program);
  std::wstring environment_block = EnvironmentBlock(environment);
  std::wstring command_line;
  AppendQuoted(&command_line, wide_program);
  for (const auto& argument : arguments) {
    command_line += L' ';
    AppendQuoted(&command_line, Widen(argument));
  }

  // The browser's output goes nowhere; only that one handle is inherited so
  // that no handle of the host leaks into the browser. A host-system program
  // under the compatibility layer is started plainly: standard handles given
  // to it there take this process's own standard output away.
  const bool host_program = IsHostSystemProgram(program);
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE null_device =
      host_program ? INVALID_HANDLE_VALUE
                   : ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                   OPEN_EXISTING, 0, nullptr);
  SIZE_T list_size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::string list_storage(list_size, '\0');
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_storage.data());
  bool restricted = null_device != INVALID_HANDLE_VALUE &&
                    ::InitializeProcThreadAttributeList(attributes, 1, 0, &list_size) &&
                    ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                &null_device, sizeof null_device, nullptr,
                                                nullptr);

  HANDLE job = CreateKillOnCloseJob();
  PROCESS_INFORMATION info{};
  BOOL created = FALSE;
  // Attempts, most careful first: suspended (so that the browser is inside
  // the job before it can start processes of its own) with its output
  // discarded, then suspended, then plainly.
  for (int attempt = host_program ? 2 : 0; attempt < 3 && !created; ++attempt) {
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    DWORD flags = CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT;
    BOOL inherit = FALSE;
    if (attempt < 2) flags |= CREATE_SUSPENDED;
    if (attempt == 0 && restricted) {
      startup.StartupInfo.cb = sizeof(STARTUPINFOEXW);
      startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
      startup.StartupInfo.hStdInput = null_device;
      startup.StartupInfo.hStdOutput = null_device;
      startup.StartupInfo.hStdError = null_device;
      startup.lpAttributeList = attributes;
      flags |= EXTENDED_STARTUPINFO_PRESENT;
      inherit = TRUE;
    } else if (attempt == 0) {
      continue;
    }
    std::wstring mutable_line = command_line;
    created = ::CreateProcessW(wide_program.c_str(), mutable_line.data(), nullptr, nullptr,
                               inherit, flags, environment_block.data(), nullptr,
                               &startup.StartupInfo, &info);
  }
  if (restricted) ::DeleteProcThreadAttributeList(attributes);
  if (null_device != INVALID_HANDLE_VALUE) ::CloseHandle(null_device);
  if (!created) {
    if (job) ::CloseHandle(job);
    return nullptr;
  }
  if (info.hProcess && job && !::AssignProcessToJobObject(job, info.hProcess)) {
    // Without the job the browser could outlive a crashed host; the
    // protocol's close and TerminateProcess still end it normally.
    ::CloseHandle(job);
    job = nullptr;
  }
  if (info.hThread) {
    ::ResumeThread(info.hThread);
    ::CloseHandle(info.hThread);
  }
  return std::make_unique<WinBrowserProcess>(info.hProcess, job, info.dwProcessId);
}

std::vector<std::string> FindInstalledBrowsers() {
  const wchar_t* const kRoots[] = {L"ProgramFiles(x86)", L"ProgramW6432", L"ProgramFiles",
                                   L"LOCALAPPDATA"};
  const wchar_t* const kPrograms[] = {L"\\Microsoft\\Edge\\Application\\msedge.exe",
                                      L"\\Google\\Chrome\\Application\\chrome.exe"};
  std::vector<std::string> found;
  for (const wchar_t* program : kPrograms) {
    for (const wchar_t* root : kRoots) {
      const std::wstring folder = EnvironmentFolder(root);
      if (folder.empty()) continue;
      const std::wstring candidate = folder + program;
      const std::string narrow = Narrow(candidate.c_str());
      if (FileExistsWide(candidate) &&
          std::find(found.begin(), found.end(), narrow) == found.end()) {
        found.push_back(narrow);
      }
    }
  }
  return found;
}

// A host-system browser run from under the compatibility layer cannot be
// asked whether it would run as the superuser, so it runs unsandboxed.
bool BrowserNeedsNoSandbox(const std::string& program) { return IsHostSystemProgram(program); }

std::string BrowserLocalPath(const std::string& program, const std::string& path) {
  return IsHostSystemProgram(program) ? ToHostSystemPath(path) : path;
}

std::string BrowserFileUrl(const std::string& program, const std::string& url) {
  static const char kScheme[] = "file:///";
  if (url.compare(0, sizeof kScheme - 1, kScheme) != 0 || !IsHostSystemProgram(program)) {
    return url;
  }
  const std::size_t end = url.find_first_of("?#", sizeof kScheme - 1);
  std::string path = PercentDecode(url.substr(sizeof kScheme - 1, end - (sizeof kScheme - 1)));
  if (path.size() < 2 || path[1] != ':') return url;  // not a drive path
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  const std::string mapped = ToHostSystemPath(path);
  if (mapped.empty() || mapped[0] != '/') return url;
  return "file://" + PercentEncodePath(mapped) + (end == std::string::npos ? "" : url.substr(end));
}

std::optional<std::string> GetEnvironmentUtf8(const char* name) {
  const std::wstring wide_name = Widen(name);
  const DWORD length = ::GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (length == 0) return std::nullopt;
  std::wstring value(length, L'\0');
  const DWORD written = ::GetEnvironmentVariableW(wide_name.c_str(), value.data(), length);
  value.resize(written);
  return Narrow(value.c_str(), static_cast<int>(value.size()));
}

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& t) {
    return ((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

}  // namespace velmora::orvwebkit::platform
