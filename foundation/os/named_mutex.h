// Machine-wide named mutexes ("Global\Velmora Launcher").
//
// Windows: kernel mutex objects. POSIX: the object is a pair of lock files in
// one machine-wide folder (/tmp, or $VELMORA_RUNTIME_DIR). A name maps to one
// file name by escaping every character outside [A-Za-z0-9._-], so two names
// never share a file. The object "exists" while any process holds a handle to
// it; the lock files are released by the kernel when a process dies, so a
// crashed holder never leaves a stale mutex behind.
#pragma once

#include <string>

namespace velmora::os {

enum class NamedMutexOutcome {
  kCreated,        // this call created the object
  kAlreadyExists,  // another handle to the object was open already
  kAccessDenied,   // the object exists and may not be opened
  kFailed,         // nothing was created; no handle
};

class NamedMutex {
 public:
  NamedMutex() = default;
  ~NamedMutex();  // closes the handle (releasing ownership first, if held)
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Creates or opens the object. With `initial_owner` the caller owns it on
  // kCreated. On kAlreadyExists the handle is open but not owned; on
  // kAccessDenied and kFailed there is no handle.
  NamedMutexOutcome Create(const std::string& name, bool initial_owner);

  bool IsOpen() const;
  // Gives up ownership; harmless when not owned.
  void Release();
  // Closes the handle; harmless when none is open.
  void Close();

 private:
  struct State;
  State* state_ = nullptr;
};

}  // namespace velmora::os
