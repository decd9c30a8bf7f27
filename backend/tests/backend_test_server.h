// One loopback server for the whole backend test program, standing in for
// the production service host. Service base URLs are fixed once per process,
// so the server starts before any test and its address goes into
// VELMORA_PRODUCTION_HOST (host and port: the production endpoint uses the
// default port, so a port in the host value carries through). The test and
// stage endpoints point at a name that is never fetched.
#pragma once

#include <string>

#include "foundation/http/tests/loopback_http_server.h"

namespace velmora::testing {

inline constexpr const char* kUnfetchedTestHost = "test-service.invalid";

// The shared server; handlers may be replaced by each test.
LoopbackHttpServer& BackendServer();

}  // namespace velmora::testing
