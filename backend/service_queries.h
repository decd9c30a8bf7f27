// The backend service's two queries: the current versions ("getCurrentVersion")
// and the service status ("getSystemStatus"), both HTTP GETs with small XML
// replies.
//
// Both are blocking, not cancellable (the fetch's 60-second network timeout
// bounds them) and reentrant: the patch run and the status monitor may ask
// at the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "backend/tessel_client.h"

namespace velmora {

// The version reply. Field names are the XML element names that fill them.
struct VersionInfo {
  std::string newversion;       // current launcher build
  std::string newgameversion;   // current game build
  std::string manifesturl;      // base URL of the launcher manifest
  std::string gamemanifesturl;  // base URL of the game manifest; empty: none
  std::string crashurl;         // crash upload URL for the crash reporter
  std::string telemurl;         // kept; nothing reads it
  std::string environment;      // the service-side environment name
  std::int32_t launcheraction = 0;
  std::string created;
  std::string built;
  std::string externalurl;
  std::string executable;       // "Velmora" when the reply names none
  std::int32_t unpatchableversion = 0;
  std::string unpatchableurl;
};

// The detail of an error reply; logged, not returned by the queries.
struct ServiceError {
  std::int32_t component = 0;
  std::int32_t errorCode = 0;
  std::string errorName;
};

enum class ReplyParseResult : int { kNoReply = 0, kErrorReply = 1, kSuccess = 2 };

// Asks for the current versions. True with `out` filled when the reply holds
// at least newversion, manifesturl and environment; otherwise false and `out`
// is left exactly as it was. Afterwards, whatever the outcome, installs the
// crash reporter with the reply's crashurl (success) or the default endpoint.
[[nodiscard]] bool GetVersionInformation(const TesselClient& client, VersionInfo* out);

// Asks whether the service is open. True with `out` set to the reply's
// "status" text as it stands; otherwise false and `out` unchanged.
[[nodiscard]] bool GetSystemStatus(const TesselClient& client, std::string* out);

// The reply parsers, exposed for their tests. The first element named
// "getcurrentversion" / "getsystemstatus" or "error" decides; from there to
// the end of the document every element with a field's name (exact case, at
// any depth) sets that field to the text right after its start tag, the last
// one winning. A document that is not XML logs
// "ParseGetCurrentVersion: Server returned invalid XML!" /
// "ParseGetCurrentStatus: Server returned invalid XML!"; an error reply logs
// "ParseErrorTag: Received error from tessel '<name>' (<code>) in component
// (<component>)!". On any result but kSuccess the output is reset to defaults.
ReplyParseResult ParseGetCurrentVersion(const std::uint8_t* data, std::size_t size,
                                        VersionInfo* info, ServiceError* error);
ReplyParseResult ParseGetSystemStatus(const std::uint8_t* data, std::size_t size,
                                      std::string* status, ServiceError* error);

}  // namespace velmora
