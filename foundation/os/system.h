// Process-wide system libraries that Run starts and stops.
#pragma once

namespace velmora::os {

// The component object library for this thread, apartment model
// (CoInitializeEx). POSIX: nothing to do, returns true.
bool InitializeComApartment();
void UninitializeComApartment();

// The platform socket layer (WSAStartup, asking for 2.0 then 1.1). POSIX:
// nothing to start, returns true.
[[nodiscard]] bool StartSocketLayer();
void StopSocketLayer();

// Binds an optional function of a system library by name; nullptr when the
// library or the function is missing (never an error). POSIX: always nullptr.
void* BindOptionalSystemFunction(const char* library, const char* function);

}  // namespace velmora::os
