#include "foundation/http/http_url.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(HttpUrlTest, ParsesTheParts) {
  struct Case {
    const char* text;
    const char* scheme;
    const char* host;
    int port;
    bool port_given;
    const char* path;
    const char* host_header;
  };
  const Case cases[] = {
      {"http://example.test/a/b?x=1&y=a b", "http", "example.test", 80, false, "/a/b?x=1&y=a b",
       "example.test"},
      {"HTTPS://Example.test:8443", "https", "Example.test", 8443, true, "/", "Example.test:8443"},
      {"http://127.0.0.1:80/x#frag", "http", "127.0.0.1", 80, true, "/x", "127.0.0.1:80"},
      {"http://host?q", "http", "host", 80, false, "/?q", "host"},
      {"http://user:pw@host:81/p", "http", "host", 81, true, "/p", "host:81"},
      {"http://[::1]:8080/v6", "http", "[::1]", 8080, true, "/v6", "[::1]:8080"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    HttpUrl url;
    ASSERT_TRUE(ParseHttpUrl(c.text, &url));
    EXPECT_EQ(url.scheme, c.scheme);
    EXPECT_EQ(url.host, c.host);
    EXPECT_EQ(url.port, c.port);
    EXPECT_EQ(url.port_given, c.port_given);
    EXPECT_EQ(url.path_and_query, c.path);
    EXPECT_EQ(url.HostHeaderValue(), c.host_header);
  }
  HttpUrl v6;
  ASSERT_TRUE(ParseHttpUrl("http://[::1]/", &v6));
  EXPECT_EQ(v6.HostForConnect(), "::1");
}

TEST(HttpUrlTest, RefusesWhatIsNotAnHttpUrl) {
  for (const char* text : {"", "example.test/x", "ftp://example.test/", "http:///path",
                           "http://:80/", "http://host:0/", "http://host:65536/",
                           "http://host:8x/", "http://[::1/", "http://bad host/"}) {
    SCOPED_TRACE(text);
    HttpUrl url;
    EXPECT_FALSE(ParseHttpUrl(text, &url));
  }
}

TEST(HttpUrlTest, ResolvesLocationsAgainstTheCurrentUrl) {
  HttpUrl base;
  ASSERT_TRUE(ParseHttpUrl("http://content.test:8080/files/v1/manifest.xml?x=1", &base));
  const std::pair<const char*, const char*> cases[] = {
      {"https://other.test/new", "https://other.test/new"},
      {"//mirror.test/a", "http://mirror.test/a"},
      {"/root/file", "http://content.test:8080/root/file"},
      {"next.xml", "http://content.test:8080/files/v1/next.xml"},
      {"../v2/./manifest.xml", "http://content.test:8080/files/v2/manifest.xml"},
      {"?y=2", "http://content.test:8080/files/v1/manifest.xml?y=2"},
      {"  /spaced#fragment ", "http://content.test:8080/spaced"},
      {"/a/b/../../../c", "http://content.test:8080/c"},
  };
  for (const auto& [location, expected] : cases) {
    SCOPED_TRACE(location);
    HttpUrl resolved;
    ASSERT_TRUE(ResolveHttpLocation(base, location, &resolved));
    EXPECT_EQ(resolved.ToString(), expected);
  }
  HttpUrl unused;
  EXPECT_FALSE(ResolveHttpLocation(base, "", &unused));
  EXPECT_FALSE(ResolveHttpLocation(base, "ftp://files.test/x", &unused));
}

}  // namespace
}  // namespace velmora
