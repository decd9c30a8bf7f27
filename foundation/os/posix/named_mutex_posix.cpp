// Named mutexes from lock files. "<name>.handles" carries one shared flock per
// open handle; taking it exclusively without waiting tells whether any other
// handle is open (the object "exists"). "<name>.owner" carries the ownership
// lock. The kernel drops both locks when a process dies.
#include "foundation/os/named_mutex.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "foundation/os/common/object_names.h"
#include "foundation/os/environment.h"

namespace velmora::os {

struct NamedMutex::State {
  int handles_fd = -1;
  int owner_fd = -1;
  bool owned = false;
};

namespace {

std::filesystem::path RuntimeFolder() {
  if (auto dir = GetEnvironmentValue("VELMORA_RUNTIME_DIR"); dir && !dir->empty()) return *dir;
  return "/tmp";
}

int OpenLockFile(const std::filesystem::path& path, bool* access_denied) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) *access_denied = errno == EACCES || errno == EPERM;
  return fd;
}

}  // namespace

NamedMutex::~NamedMutex() { Close(); }

NamedMutexOutcome NamedMutex::Create(const std::string& name, bool initial_owner) {
  Close();
  const std::filesystem::path base =
      RuntimeFolder() / ("velmora-mutex-" + internal::EscapeObjectName(name));
  bool denied = false;
  const int handles_fd = OpenLockFile(base.string() + ".handles", &denied);
  if (handles_fd < 0)
    return denied ? NamedMutexOutcome::kAccessDenied : NamedMutexOutcome::kFailed;

  bool created = false;
  if (::flock(handles_fd, LOCK_EX | LOCK_NB) == 0) {
    created = true;
    ::flock(handles_fd, LOCK_SH);  // downgrade: this handle is now one of many
  } else if (::flock(handles_fd, LOCK_SH) != 0) {
    ::close(handles_fd);
    return NamedMutexOutcome::kFailed;
  }

  const int owner_fd = OpenLockFile(base.string() + ".owner", &denied);
  if (owner_fd < 0) {
    ::close(handles_fd);
    return denied ? NamedMutexOutcome::kAccessDenied : NamedMutexOutcome::kFailed;
  }
  state_ = new State{handles_fd, owner_fd, false};
  if (created && initial_owner) state_->owned = ::flock(owner_fd, LOCK_EX | LOCK_NB) == 0;
  return created ? NamedMutexOutcome::kCreated : NamedMutexOutcome::kAlreadyExists;
}

bool NamedMutex::IsOpen() const { return state_ != nullptr; }

void NamedMutex::Release() {
  if (state_ && state_->owned) {
    ::flock(state_->owner_fd, LOCK_UN);
    state_->owned = false;
  }
}

void NamedMutex::Close() {
  if (!state_) return;
  Release();
  ::close(state_->owner_fd);
  ::close(state_->handles_fd);
  delete state_;
  state_ = nullptr;
}

}  // namespace velmora::os
