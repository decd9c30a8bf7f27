#include "foundation/os/system.h"

namespace velmora::os {

// POSIX has no component object library and no socket layer to start.
bool InitializeComApartment() { return true; }
void UninitializeComApartment() {}
bool StartSocketLayer() { return true; }
void StopSocketLayer() {}
void* BindOptionalSystemFunction(const char*, const char*) { return nullptr; }

}  // namespace velmora::os
