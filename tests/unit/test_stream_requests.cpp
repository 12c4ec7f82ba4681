// The stream page serves only a GET that carries the token and comes from a page of this
// machine; everything else is refused without a byte of what the program published, and
// the decision is the same however the request's bytes arrive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/stream.h"
#include "platform/stream_http.h"

namespace {

using plat::stream::Connection;
using plat::stream::Route;

constexpr char kToken[] = "0123456789abcdef0123456789abcdef";
constexpr int kPort = 28417;
const std::string kHost = "Host: 127.0.0.1:28417\r\n";

// Markers of each thing the program publishes; a refusal shows none of them.
constexpr char kPageMark[] = "<p>page-mark</p>";
constexpr char kLayoutMark[] = "\"layout-mark\"";
constexpr char kSkinMark[] = "skin-mark-rgba";

std::string get(const std::string& target, const std::string& headers = kHost) {
  return "GET " + target + " HTTP/1.1\r\n" + headers + "\r\n";
}

std::string manyHeaders(int n) {
  std::string h = kHost;
  for (int i = 1; i < n; ++i) h += "X-Filler-" + std::to_string(i) + ": x\r\n";
  return h;
}

struct Case {
  const char* what;
  std::string request;
  int status;
  Route route;
};

class StreamRequestTest : public testing::Test {
protected:
  StreamRequestTest() {
    policy.token = kToken;
    policy.port = kPort;
    plat::setStreamPage(kPageMark);
    plat::publishStreamLayout({std::string("{") + kLayoutMark + ":1}", kSkinMark, 7});
    plat::publishStreamLit(5, false);
  }

  // The response a connection makes, fed one byte at a time.
  std::string respond(const std::string& request, Connection*& out) {
    conn.reset();  // a connection leaves its server's streams as it goes
    server = std::make_unique<plat::stream::Server>(policy);
    conn = std::make_unique<Connection>(*server, plat::stream::Clock::now());
    for (char c : request) conn->receive(&c, 1);
    out = conn.get();
    return std::string(conn->unsent());
  }

  plat::stream::Policy policy;
  std::unique_ptr<plat::stream::Server> server;
  std::unique_ptr<Connection> conn;
};

TEST_F(StreamRequestTest, OnlyAGetWithTheTokenFromAPageOfThisMachineIsServed) {
  const std::string t = kToken;
  const std::string wrongLast = t.substr(0, 31) + "0";
  const std::string upper = "0123456789ABCDEF0123456789ABCDEF";
  const std::vector<Case> cases = {
      {"the page", get("/?token=" + t), 200, Route::Page},
      {"the page, localhost, options around the token",
       get("/?scale=2&token=" + t + "&counters=1", "Host: localhost:28417\r\nOrigin: http://localhost:28417\r\n"),
       200, Route::Page},
      {"the event stream", get("/events?token=" + t, kHost + "Origin: http://127.0.0.1:28417\r\n"), 200, Route::Events},
      {"the skin", get("/skin?token=" + t + "&v=7"), 200, Route::Skin},
      {"an empty body", get("/?token=" + t, kHost + "Content-Length: 0\r\n"), 200, Route::Page},
      {"another path", get("/favicon.ico?token=" + t), 404, Route::None},
      {"a path that only decodes to one", get("/%65vents?token=" + t), 404, Route::None},
      {"no token", get("/"), 403, Route::None},
      {"a token differing in its last digit", get("/?token=" + wrongLast), 403, Route::None},
      {"a short token", get("/?token=" + t.substr(0, 31)), 403, Route::None},
      {"the token in capitals", get("/?token=" + upper), 403, Route::None},
      {"the token twice", get("/?token=" + t + "&token=" + t), 403, Route::None},
      {"the token under another name", get("/?Token=" + t), 403, Route::None},
      {"another site's name", get("/?token=" + t, "Host: evil.example:28417\r\n"), 403, Route::None},
      {"another port", get("/?token=" + t, "Host: 127.0.0.1:28418\r\n"), 403, Route::None},
      {"no port", get("/?token=" + t, "Host: 127.0.0.1\r\n"), 403, Route::None},
      {"no Host", get("/?token=" + t, ""), 403, Route::None},
      {"a page of another site", get("/events?token=" + t, kHost + "Origin: http://evil.example\r\n"), 403, Route::None},
      {"an opaque origin", get("/events?token=" + t, kHost + "Origin: null\r\n"), 403, Route::None},
      {"a page of this machine on another port",
       get("/events?token=" + t, kHost + "Origin: http://127.0.0.1:28418\r\n"), 403, Route::None},
      {"a POST", "POST /?token=" + t + " HTTP/1.1\r\n" + kHost + "\r\n", 405, Route::None},
      {"a HEAD", "HEAD /?token=" + t + " HTTP/1.1\r\n" + kHost + "\r\n", 405, Route::None},
      {"a body", get("/?token=" + t, kHost + "Content-Length: 5\r\n") + "hello", 413, Route::None},
      {"a chunked body", get("/?token=" + t, kHost + "Transfer-Encoding: chunked\r\n") + "5\r\nhello\r\n0\r\n\r\n",
       413, Route::None},
      {"32 headers", get("/?token=" + t, manyHeaders(32)), 200, Route::Page},
      {"33 headers", get("/?token=" + t, manyHeaders(33)), 431, Route::None},
      {"a request past 8 KiB", get("/?token=" + t + "&pad=" + std::string(8200, 'x')), 431, Route::None},
      {"two Hosts", get("/?token=" + t, kHost + kHost), 400, Route::None},
      {"a proxy's form", get("http://127.0.0.1:28417/?token=" + t), 400, Route::None},
      {"not HTTP", "HELLO\r\n\r\n", 400, Route::None},
      {"a header without a colon", get("/?token=" + t, kHost + "Broken\r\n"), 400, Route::None},
      {"a request not yet whole", "GET /?token=" + t + " HTTP/1.1\r\n" + kHost, 0, Route::None},
  };
  for (const Case& c : cases) {
    plat::stream::RequestReader whole(policy);
    const plat::stream::Decision d = whole.feed(c.request.data(), c.request.size());
    EXPECT_EQ(d.status, c.status) << c.what;
    EXPECT_EQ(d.route, c.route) << c.what;

    Connection* byBytes = nullptr;
    const std::string response = respond(c.request, byBytes);
    EXPECT_EQ(byBytes->decision().status, c.status) << c.what << ", one byte at a time";
    if (c.status == 0) {
      EXPECT_EQ(response, "") << c.what;
      continue;
    }
    EXPECT_EQ(response.rfind("HTTP/1.1 " + std::to_string(c.status) + " ", 0), 0u) << c.what;
    EXPECT_EQ(response.find(kPageMark) != std::string::npos, c.route == Route::Page) << c.what;
    EXPECT_EQ(response.find(kLayoutMark) != std::string::npos, c.route == Route::Events) << c.what;
    EXPECT_EQ(response.find(kSkinMark) != std::string::npos, c.route == Route::Skin) << c.what;
  }
}

TEST_F(StreamRequestTest, EachRouteAnswersWithWhatThePageNeedsAndKeepsItPrivate) {
  const std::string t = kToken;
  Connection* c = nullptr;
  const std::string page = respond(get("/?token=" + t), c);
  EXPECT_NE(page.find("Content-Type: text/html; charset=utf-8\r\n"), std::string::npos);
  EXPECT_NE(page.find("Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; "
                      "style-src 'unsafe-inline'; connect-src 'self'"),
            std::string::npos);
  for (const char* h : {"Cache-Control: no-store\r\n", "X-Content-Type-Options: nosniff\r\n",
                        "Referrer-Policy: no-referrer\r\n", "Cross-Origin-Opener-Policy: same-origin\r\n",
                        "Cross-Origin-Embedder-Policy: require-corp\r\n"}) {
    EXPECT_NE(page.find(h), std::string::npos) << h;
  }
  EXPECT_TRUE(page.ends_with(std::string("\r\n\r\n") + kPageMark));
  EXPECT_FALSE(c->finished());
  c->sent(page.size());
  EXPECT_TRUE(c->finished()) << "closed once sent";

  const std::string skin = respond(get("/skin?token=" + t + "&v=7"), c);
  EXPECT_NE(skin.find("Content-Type: application/octet-stream\r\n"), std::string::npos);
  EXPECT_NE(skin.find("X-Skin-Version: 7\r\n"), std::string::npos);
  EXPECT_TRUE(skin.ends_with(std::string("\r\n\r\n") + kSkinMark));

  const std::string events = respond(get("/events?token=" + t), c);
  EXPECT_NE(events.find("Content-Type: text/event-stream\r\n"), std::string::npos);
  EXPECT_TRUE(events.ends_with("\r\n\r\nretry: 500\n\n"
                               "event: layout\ndata: {\"version\":7,\"layout\":{\"layout-mark\":1}}\n\n"
                               "event: lit\ndata: {\"lit\":5,\"hidden\":0}\n\n"))
      << events;
  c->sent(events.size());
  EXPECT_FALSE(c->finished()) << "an event stream stays open";
}

}  // namespace
