#include <gtest/gtest.h>

#include "download/url_parts.h"

namespace fyrel {
namespace {

TEST(SplitUrl, CutsAtFirstSchemeMarkerAndNextSlash) {
  static const struct {
    const char* url;
    bool ok;
    const char* host;
    const char* path;
  } cases[] = {
      {"http://server/games/pack.cab", true, "server", "/games/pack.cab"},
      {"http://server:81/get?id=7", true, "server:81", "/get?id=7"},  // the port stays in the name
      {"ftp://server/pack.cab", true, "server", "/pack.cab"},         // the scheme is not examined
      {"http://server", false, "", ""},
      {"server/x", false, "", ""},
      {"http:///x", true, "", "/x"},  // empty host: the downloader refuses it
      {"http://a/b://c/d", true, "a", "/b://c/d"},
      {"x/y://h/p", true, "h", "/p"},  // "://" is searched over the whole text
      {"http://h/", true, "h", "/"},
      {"://h/p#frag", true, "h", "/p#frag"},
      {"", false, "", ""},
      {"http:/", false, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    UrlParts parts{"untouched", "untouched"};
    ASSERT_EQ(splitUrl(c.url, parts), c.ok);
    if (c.ok) {
      EXPECT_EQ(parts.host, c.host);
      EXPECT_EQ(parts.path, c.path);
    } else {
      EXPECT_EQ(parts.host, "untouched");  // a failed split produces no pieces
      EXPECT_EQ(parts.path, "untouched");
    }
  }
}

TEST(RedirectTarget, FollowsPlainHttpAddressesAndPathsOnTheSameHost) {
  static const struct {
    const char* location;
    bool ok;
    const char* host;
    const char* path;
  } cases[] = {
      {"/games/pack.cab", true, "origin", "/games/pack.cab"},
      {"http://mirror/pack.cab?t=1", true, "mirror", "/pack.cab?t=1"},
      {"HTTP://Mirror/p", true, "Mirror", "/p"},
      {"https://mirror/pack.cab", false, "", ""},  // no TLS on this road
      {"//mirror/pack.cab", false, "", ""},
      {"pack.cab", false, "", ""},  // relative to what?
      {"http:///p", false, "", ""},
      {"http://mirror", false, "", ""},
      {"", false, "", ""},
  };
  const UrlParts from{"origin", "/old/pack.cab"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.location);
    UrlParts to{"untouched", "untouched"};
    ASSERT_EQ(redirectTarget(from, c.location, to), c.ok);
    if (c.ok) {
      EXPECT_EQ(to.host, c.host);
      EXPECT_EQ(to.path, c.path);
    }
  }
}

}  // namespace
}  // namespace fyrel
