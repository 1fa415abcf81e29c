#include <gtest/gtest.h>

#include "download/proxy_choice.h"

namespace fyrel {
namespace {

TEST(ProxyFor, TakesTheEntryForTheSchemeElseTheUnnamedOneElseNone) {
  static const struct {
    const char* list;
    const char* plain;
    const char* tls;
  } cases[] = {
      {"", "", ""},
      {"proxy:3128", "proxy:3128", "proxy:3128"},
      {"proxy", "proxy:80", "proxy:80"},
      {"http://proxy:3128/", "proxy:3128", "proxy:3128"},
      {"http=a:8080;https=b:8443", "a:8080", "b:8443"},
      {"HTTPS=b:8443 HTTP=a:8080", "a:8080", "b:8443"},
      {"http=a:8080", "a:8080", ""},  // https goes straight, as the system does
      {"https=b:8443", "", "b:8443"},
      {"ftp=f:21;any:3128", "any:3128", "any:3128"},
      {"http=http://a:8080 ;; fallback:1", "a:8080", "fallback:1"},
      {"[::1]:3128", "[::1]:3128", "[::1]:3128"},
      {"[::1]", "[::1]:80", "[::1]:80"},
      {"socks=s:1080", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    EXPECT_EQ(proxyFor(c.list, false), c.plain);
    EXPECT_EQ(proxyFor(c.list, true), c.tls);
  }
}

}  // namespace
}  // namespace fyrel
