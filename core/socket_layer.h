// SocketLayer: the process-wide network layer object. Run creates and
// registers one when none is registered, starts it before any network use
// and stops, destroys and unregisters it at the end.
#pragma once

namespace velmora {

class SocketLayer {
 public:
  // Creating it binds the optional dial-up networking functions for the
  // network layer's own use; their absence is not an error.
  SocketLayer();
  ~SocketLayer();
  SocketLayer(const SocketLayer&) = delete;
  SocketLayer& operator=(const SocketLayer&) = delete;

  // Starts the platform socket layer (version 2.0, falling back to 1.1).
  bool Start();
  void Stop();
  bool started() const { return started_; }
  // How many of the dial-up functions the system provided.
  int bound_dialup_functions() const { return bound_dialup_functions_; }

  // The registered process-wide instance, or null.
  static SocketLayer* Registered();
  static void Register(SocketLayer* layer);
  static void ClearRegistration();

 private:
  bool started_ = false;
  int bound_dialup_functions_ = 0;
  void* dialup_functions_[7] = {};
};

}  // namespace velmora
