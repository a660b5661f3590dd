// The HTTP client's wire pieces that need no server: Digest and Basic
// against their RFCs' own examples, challenge lists, Location resolution,
// URL checks and the cookie jar's rules. The exchanges themselves are
// tested against real servers in tests/e2e/http_client_test.cpp.
#include <gtest/gtest.h>

#include "QvHttpWire.h"

TEST(QvHttpWire, DigestBasicAndMd5MatchTheirReferences) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("The quick brown fox jumps over the lazy dog"), "9e107d9d372bb6826bd81d3542a419d6");
  // The padding edges and a second block.
  EXPECT_EQ(Md5Hex(std::string(55, 'x')), "04364420e25c512fd958a70738aa8f72");
  EXPECT_EQ(Md5Hex(std::string(56, 'x')), "668a72d5ba17f08e62dabcafad6db14b");
  EXPECT_EQ(Md5Hex(std::string(100, 'a')), "36a92cc94a9e0fa21f625f8bfb007adf");
  EXPECT_EQ(BasicAuthorization("Aladdin", "open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
  EXPECT_EQ(Base64Decode(Base64Encode(std::string("\0\xff\x10z", 4))), std::string("\0\xff\x10z", 4));

  // RFC 2617's example among other schemes; two header fields join into
  // one list, so the second continues the Digest challenge.
  const std::vector<THttpChallenge> cs = ParseChallenges(
      {"Basic realm=\"a, b\", Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\",",
       "  nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\", NTLM abc+/==, Negotiate"});
  ASSERT_EQ(cs.size(), 4u);
  EXPECT_EQ(cs[0].Scheme, "basic");
  EXPECT_EQ(cs[0].Param("realm"), "a, b");
  const THttpChallenge& digest = cs[1];
  EXPECT_EQ(digest.Scheme, "digest");
  EXPECT_EQ(digest.Param("qop"), "auth,auth-int");
  EXPECT_EQ(digest.Param("nonce"), "dcd98b7102dd2f0e8b11d0f600bfb0c093");
  EXPECT_EQ(cs[2].Scheme, "ntlm");
  EXPECT_EQ(cs[2].Token, "abc+/==");
  EXPECT_EQ(cs[3].Scheme, "negotiate");
  const std::string answer = DigestAuthorization(digest, "Mufasa", "Circle Of Life", "GET", "/dir/index.html", 1, "0a4f113b");
  EXPECT_NE(answer.find("response=\"6629fae49393a05397450978507c4ef1\""), std::string::npos) << answer;
  EXPECT_NE(answer.find("qop=auth, nc=00000001, cnonce=\"0a4f113b\""), std::string::npos) << answer;
  EXPECT_NE(answer.find("opaque=\"5ccc069c403ebaf9f0171e9517f40e41\""), std::string::npos) << answer;

  THttpChallenge sha;
  sha.Scheme = "digest";
  sha.Params = {{"nonce", "n"}, {"algorithm", "SHA-256"}};
  EXPECT_THROW(DigestAuthorization(sha, "u", "p", "GET", "/", 1, "c"), EHttpError);
  THttpChallenge intOnly;
  intOnly.Params = {{"nonce", "n"}, {"qop", "auth-int"}};
  EXPECT_THROW(DigestAuthorization(intOnly, "u", "p", "GET", "/", 1, "c"), EHttpError);
}

TEST(QvHttpWire, UrlsAndLocations) {
  // RFC 3986 section 5.4's examples that an HTTP redirect can carry.
  const THttpUrl base = ParseHttpUrl("http://a/b/c/d;p?q");
  const std::vector<std::pair<const char*, const char*>> refs = {
      {"g", "http://a/b/c/g"},          {"./g", "http://a/b/c/g"},       {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},             {"//g", "http://g/"},            {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},      {"#s", "http://a/b/c/d;p?q"},    {"", ""},
      {"..", "http://a/b/"},            {"../g", "http://a/b/g"},        {"../../../g", "http://a/g"},
      {"/./g", "http://a/g"},           {"g/../h", "http://a/b/c/h"},    {"HTTPS://x:444/y", "https://x:444/y"},
      {"http://a:80/z w", "http://a/z%20w"},
  };
  for (const auto& r : refs) {
    SCOPED_TRACE(r.first);
    if (!*r.second) {
      EXPECT_THROW(ResolveHttpUrl(base, r.first), EHttpError);
      continue;
    }
    EXPECT_EQ(ResolveHttpUrl(base, r.first).ToString(), r.second);
  }
  const THttpUrl v6 = ParseHttpUrl("https://[::1]:8443?x=1");
  EXPECT_EQ(v6.Host, "::1");
  EXPECT_EQ(v6.Authority(), "[::1]:8443");
  EXPECT_EQ(v6.PathAndQuery, "/?x=1");
  EXPECT_EQ(ParseHttpUrl("https://h/").HostPort(), "h:443");
  for (const char* bad : {"ftp://h/", "http://", "http://h:0/", "http://h:65536/", "http://h:8x/", "h/x", "http://u@h/",
                          "http://[::1/", "http://a b/"})
    EXPECT_THROW(ParseHttpUrl(bad), EHttpError) << bad;
}

TEST(QvHttpWire, CookieJarFollowsDomainPathAndSecure) {
  THttpCookieJar jar;
  const THttpUrl from = ParseHttpUrl("http://www.example.test/app/login");
  jar.Store(from, "sid=1; Path=/app");
  jar.Store(from, "wide=2; Domain=.example.test; Path=/");
  jar.Store(from, "sec=3; Secure");
  jar.Store(from, "other=4; Domain=elsewhere.test");  // not the server's own domain
  jar.Store(from, "tld=5; Domain=test");              // a whole top-level domain
  jar.Store(from, "gone=6; Max-Age=0");
  jar.Store(from, "old=7; Expires=Thu, 01 Jan 1970 00:00:00 GMT");
  jar.Store(from, "noequals");
  EXPECT_EQ(jar.Count(), 3u);
  EXPECT_EQ(jar.HeaderFor(ParseHttpUrl("http://www.example.test/app/x")), "sid=1; wide=2");
  EXPECT_EQ(jar.HeaderFor(ParseHttpUrl("https://www.example.test/app/x")), "sid=1; sec=3; wide=2");
  EXPECT_EQ(jar.HeaderFor(ParseHttpUrl("http://cdn.example.test/application")), "wide=2");
  EXPECT_EQ(jar.HeaderFor(ParseHttpUrl("http://example.test.evil/")), "");
  // A later cookie of the same name, domain and path replaces the first.
  jar.Store(from, "sid=9; Path=/app");
  EXPECT_EQ(jar.HeaderFor(ParseHttpUrl("http://www.example.test/app")), "sid=9; wide=2");
  jar.Store(from, "sid=; Path=/app; Max-Age=-1");
  EXPECT_EQ(jar.HeaderFor(ParseHttpUrl("http://www.example.test/app")), "wide=2");
}
