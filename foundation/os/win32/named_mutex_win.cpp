#include "foundation/os/named_mutex.h"

#include "foundation/os/common/object_names.h"
#include "foundation/os/environment.h"
#include "foundation/os/win32/win_util.h"

namespace velmora::os {

struct NamedMutex::State {
  HANDLE handle = nullptr;
  bool owned = false;
};

NamedMutex::~NamedMutex() { Close(); }

NamedMutexOutcome NamedMutex::Create(const std::string& name, bool initial_owner) {
  Close();
  std::string object_name = name;
  // Tests that run side by side get their own name space, keyed like the
  // POSIX runtime folder.
  if (auto dir = GetEnvironmentValue("VELMORA_RUNTIME_DIR"); dir && !dir->empty()) {
    char suffix[32];
    snprintf(suffix, sizeof suffix, " [%08X]", internal::HashObjectName(*dir));
    object_name += suffix;
  }
  HANDLE handle = CreateMutexW(nullptr, initial_owner ? TRUE : FALSE, win::Wide(object_name).c_str());
  const DWORD error = GetLastError();
  if (!handle) {
    return error == ERROR_ACCESS_DENIED ? NamedMutexOutcome::kAccessDenied
                                        : NamedMutexOutcome::kFailed;
  }
  const bool existed = error == ERROR_ALREADY_EXISTS;
  state_ = new State{handle, initial_owner && !existed};
  return existed ? NamedMutexOutcome::kAlreadyExists : NamedMutexOutcome::kCreated;
}

bool NamedMutex::IsOpen() const { return state_ != nullptr; }

void NamedMutex::Release() {
  if (state_ && state_->owned) {
    ReleaseMutex(state_->handle);
    state_->owned = false;
  }
}

void NamedMutex::Close() {
  if (!state_) return;
  Release();
  CloseHandle(state_->handle);
  delete state_;
  state_ = nullptr;
}

}  // namespace velmora::os
