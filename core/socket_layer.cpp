#include "core/socket_layer.h"

#include "foundation/os/system.h"

namespace velmora {
namespace {
SocketLayer* g_registered = nullptr;
}

SocketLayer::SocketLayer() {
  static const char* const kDialupFunctions[] = {
      "RasEnumConnectionsA",    "RasEnumEntriesA", "RasGetProjectionInfoA",
      "RasGetEntryDialParamsA", "RasDialA",        "RasGetConnectStatusA",
      "RasHangUpA",
  };
  for (int i = 0; i < 7; ++i) {
    dialup_functions_[i] = os::BindOptionalSystemFunction("rasapi32.dll", kDialupFunctions[i]);
    if (dialup_functions_[i]) ++bound_dialup_functions_;
  }
}

SocketLayer::~SocketLayer() { Stop(); }

bool SocketLayer::Start() {
  if (!started_) started_ = os::StartSocketLayer();
  return started_;
}

void SocketLayer::Stop() {
  if (started_) os::StopSocketLayer();
  started_ = false;
}

SocketLayer* SocketLayer::Registered() { return g_registered; }
void SocketLayer::Register(SocketLayer* layer) { g_registered = layer; }
void SocketLayer::ClearRegistration() { g_registered = nullptr; }

}  // namespace velmora
