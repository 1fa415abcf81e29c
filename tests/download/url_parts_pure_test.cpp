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

}  // namespace
}  // namespace fyrel
