#include "foundation/os/system.h"

// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <objbase.h>

#include "foundation/os/win32/win_util.h"

namespace velmora::os {

bool InitializeComApartment() {
  const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  return result == S_OK || result == S_FALSE;
}

void UninitializeComApartment() { CoUninitialize(); }

bool StartSocketLayer() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 0), &data) == 0) return true;
  return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

void StopSocketLayer() { WSACleanup(); }

void* BindOptionalSystemFunction(const char* library, const char* function) {
  // The library stays loaded for the life of the process, like the binding.
  HMODULE module = LoadLibraryA(library);
  if (!module) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(module, function));
}

}  // namespace velmora::os
