#include "foundation/http/http_url.h"

#include <vector>

#include "foundation/text/utf.h"

namespace velmora {
namespace {

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Whether `text` starts with "<letters/digits/+-.>:" — a scheme of any kind.
bool HasScheme(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') return i > 0;
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (!letter && !(i > 0 && other)) return false;
  }
  return false;
}

// RFC 3986 section 5.2.4, on the path only.
std::string RemoveDotSegments(std::string_view path) {
  std::vector<std::string_view> out;
  const bool absolute = !path.empty() && path.front() == '/';
  std::size_t start = absolute ? 1 : 0;
  bool trailing_slash = false;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    const bool last = end == path.size();
    if (segment == ".") {
      trailing_slash = last;
    } else if (segment == "..") {
      if (!out.empty()) out.pop_back();
      trailing_slash = last;
    } else {
      out.push_back(segment);
      trailing_slash = false;
    }
    start = end + 1;
  }
  std::string result = absolute ? "/" : "";
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (i > 0) result += '/';
    result += out[i];
  }
  if (trailing_slash && (result.empty() || result.back() != '/')) result += '/';
  return result;
}

std::string SplitPathAndNormalise(std::string_view path_and_query) {
  const std::size_t question = path_and_query.find('?');
  const std::string_view path = path_and_query.substr(0, question);
  std::string result = RemoveDotSegments(path);
  if (result.empty() || result.front() != '/') result.insert(result.begin(), '/');
  if (question != std::string_view::npos) result += path_and_query.substr(question);
  return result;
}

}  // namespace

std::string HttpUrl::HostForConnect() const {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    return host.substr(1, host.size() - 2);
  return host;
}

std::string HttpUrl::HostHeaderValue() const {
  return port_given ? host + ":" + std::to_string(port) : host;
}

std::string HttpUrl::ToString() const {
  return scheme + "://" + HostHeaderValue() + path_and_query;
}

bool ParseHttpUrl(std::string_view text, HttpUrl* url) {
  if (!url) return false;
  const std::size_t separator = text.find("://");
  if (separator == std::string_view::npos) return false;
  HttpUrl parsed;
  const std::string_view scheme = text.substr(0, separator);
  if (EqualsIgnoreAsciiCase(scheme, "http")) {
    parsed.scheme = "http";
    parsed.port = 80;
  } else if (EqualsIgnoreAsciiCase(scheme, "https")) {
    parsed.scheme = "https";
    parsed.port = 443;
  } else {
    return false;
  }

  std::string_view rest = text.substr(separator + 3);
  const std::size_t fragment = rest.find('#');
  if (fragment != std::string_view::npos) rest = rest.substr(0, fragment);
  const std::size_t authority_end = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, authority_end);
  const std::string_view path_and_query =
      authority_end == std::string_view::npos ? std::string_view() : rest.substr(authority_end);

  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority = authority.substr(at + 1);

  std::string_view host = authority;
  std::string_view port;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    host = authority.substr(0, close + 1);
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return false;
      port = after.substr(1);
    }
    if (host.size() <= 2) return false;
  } else {
    const std::size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
      host = authority.substr(0, colon);
      port = authority.substr(colon + 1);
    }
  }
  if (host.empty()) return false;
  for (const char c : host) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f || c == '\\') return false;
  }
  if (!port.empty()) {
    if (port.size() > 5) return false;
    unsigned value = 0;
    for (const char c : port) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    parsed.port = static_cast<std::uint16_t>(value);
    parsed.port_given = true;
  }
  parsed.host = std::string(host);
  parsed.path_and_query = std::string(path_and_query);
  if (parsed.path_and_query.empty() || parsed.path_and_query.front() != '/')
    parsed.path_and_query.insert(parsed.path_and_query.begin(), '/');
  *url = std::move(parsed);
  return true;
}

bool ResolveHttpLocation(const HttpUrl& base, std::string_view location, HttpUrl* resolved) {
  if (!resolved) return false;
  location = TrimSpaces(location);
  const std::size_t fragment = location.find('#');
  if (fragment != std::string_view::npos) location = location.substr(0, fragment);
  if (location.empty()) return false;

  if (HasScheme(location)) {
    HttpUrl target;
    if (!ParseHttpUrl(location, &target)) return false;
    target.path_and_query = SplitPathAndNormalise(target.path_and_query);
    *resolved = std::move(target);
    return true;
  }
  if (location.size() >= 2 && location[0] == '/' && location[1] == '/') {
    HttpUrl target;
    if (!ParseHttpUrl(base.scheme + ":" + std::string(location), &target)) return false;
    target.path_and_query = SplitPathAndNormalise(target.path_and_query);
    *resolved = std::move(target);
    return true;
  }

  HttpUrl target = base;
  const std::string_view base_full = base.path_and_query;
  const std::string_view base_path = base_full.substr(0, base_full.find('?'));
  if (location.front() == '/') {
    target.path_and_query = SplitPathAndNormalise(location);
  } else if (location.front() == '?') {
    target.path_and_query = std::string(base_path) + std::string(location);
  } else {
    const std::size_t slash = base_path.rfind('/');
    const std::string folder(base_path.substr(0, slash == std::string_view::npos ? 0 : slash + 1));
    target.path_and_query = SplitPathAndNormalise(folder + std::string(location));
  }
  *resolved = std::move(target);
  return true;
}

}  // namespace velmora
