// Environments and service endpoints of the backend game service.
//
// An environment name (from the registry, the "-e" option, or "prod-info")
// selects one of 35 rows of a table compiled into the launcher; the row
// gives the service's base URL and the line written to the launcher log.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The record every backend request is made for.
struct TesselClient {
  explicit TesselClient(std::string_view environment_name)
      : environment(environment_name) {}

  // An extra path segment after the command name; always empty here.
  std::string extraPath;
  // The environment name as the start-up code gave it (at most 255 bytes
  // there); also sent to the service as a request parameter.
  std::string environment;
};

enum class ServiceEndpoint { kProduction, kShadow, kCert, kTest, kStage };

// One row of the environment table.
struct EnvironmentEntry {
  const char* name;      // compared without regard to ASCII case
  ServiceEndpoint endpoint;
  const char* log_line;  // written followed by CR LF when the row is chosen
};

// The 35 rows in lookup order.
const EnvironmentEntry* EnvironmentTable(std::size_t* count);

// "http://" + host + optional port + path, without a trailing slash. The
// production and test hosts are deployment values from the build
// (VELMORA_PRODUCTION_HOST, VELMORA_TEST_HOST; loopback by default). A build
// with VELMORA_SERVICE_HOST_OVERRIDE lets environment variables of the same
// names replace them at run time, read once before the first use, so that
// tests and demos can reach a development server on any loopback address.
const std::string& ServiceBaseUrl(ServiceEndpoint endpoint);

// The base URL for the client's environment. The first row whose name equals
// the client's environment (ASCII case ignored, whole name) wins and its log
// line is written; an unlisted or empty name writes "Could no find env for
// (<name>), setting tessel to use prod config." and yields the production
// URL. Safe on any thread.
std::string ResolveServiceEndpoint(const TesselClient& client);

}  // namespace velmora
