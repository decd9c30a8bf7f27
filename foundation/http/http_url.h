// URLs as the HTTP job engine understands them: http or https, a host, an
// optional port, and the path with its query.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

struct HttpUrl {
  std::string scheme;          // "http" or "https", lower case
  std::string host;            // as written; an IPv6 literal keeps its brackets
  std::uint16_t port = 0;      // the effective port (80 / 443 when none is given)
  bool port_given = false;     // whether the URL names a port
  std::string path_and_query;  // starts with "/"; the fragment is dropped

  bool IsSecure() const { return scheme == "https"; }
  // The host without IPv6 brackets, for connecting.
  std::string HostForConnect() const;
  // The Host header value: the host, and ":port" when the URL names a port.
  std::string HostHeaderValue() const;
  // "scheme://host[:port]path?query".
  std::string ToString() const;
};

// Parses an absolute http or https URL. The path and query are kept exactly
// as written (no percent-encoding is added or removed). Returns false for any
// other scheme, an empty host or a port outside 1 to 65535.
[[nodiscard]] bool ParseHttpUrl(std::string_view text, HttpUrl* url);

// Resolves a redirection's Location value against the URL that answered it:
// a full URL replaces it; "//host/..." keeps the scheme; "/path" keeps the
// host; "?query" keeps the path; anything else is merged with the current
// path's folder. Dot segments of the path are removed. Returns false when
// the result is not an http or https URL.
[[nodiscard]] bool ResolveHttpLocation(const HttpUrl& base, std::string_view location,
                                       HttpUrl* resolved);

}  // namespace velmora
