// The stream page's server reading arbitrary client bytes: the request decision and the
// response a connection makes from it.
//
// The input is what one client sends, in the pieces it arrives in: the four bytes
// FF FE FD FC mark where one piece ends and the next begins (they are not sent). Each
// input is fed whole, one byte at a time and in its pieces; the decision is the same each
// way, depends on nothing past the bound of the request's size, and is one the server can
// make. Only a request that carries the token and names this machine's address gets past
// the checks; a refusal carries nothing the program published, and only the route asked
// for hands out its part. One request per connection: whatever follows it (a pipelined
// second request, a body) is never answered.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/stream.h"
#include "platform/stream_http.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

using plat::stream::Connection;
using plat::stream::Decision;
using plat::stream::RequestReader;
using plat::stream::Route;

constexpr char kToken[] = "0123456789abcdef0123456789abcdef";
constexpr std::string_view kCut("\xff\xfe\xfd\xfc", 4);
constexpr char kPageMark[] = "page-mark";
constexpr char kLayoutMark[] = "layout-mark";
constexpr char kSkinMark[] = "skin-mark";

plat::stream::Policy g_policy;

bool sameDecision(Decision a, Decision b) {
  return a.status == b.status && a.route == b.route && a.counters == b.counters;
}

std::size_t count(std::string_view text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_policy.token = kToken;
  g_policy.port = 8080;
  plat::setStreamPage(std::string("<p>") + kPageMark + "</p>");
  plat::publishStreamLayout({std::string("{\"") + kLayoutMark + "\":1}", kSkinMark, 3});
  plat::publishStreamLit(5, true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> pieces;
  std::string bytes;
  for (std::size_t from = 0;;) {
    const std::size_t cut = input.find(kCut, from);
    pieces.push_back(input.substr(from, cut == std::string_view::npos ? std::string_view::npos : cut - from));
    bytes += pieces.back();
    if (cut == std::string_view::npos) break;
    from = cut + kCut.size();
  }

  RequestReader whole(g_policy);
  const Decision d = whole.feed(bytes.data(), bytes.size());

  RequestReader byByte(g_policy);
  for (char c : bytes) byByte.feed(&c, 1);
  FUZZ_CHECK(sameDecision(byByte.decision(), d));

  // Nothing past the bound is looked at.
  const std::size_t bound = g_policy.limits.headerBytes;
  RequestReader bounded(g_policy);
  bounded.feed(bytes.data(), std::min(bytes.size(), bound));
  FUZZ_CHECK(sameDecision(bounded.decision(), d));

  switch (d.status) {
    case 0:
      FUZZ_CHECK(bytes.size() < bound);
      [[fallthrough]];
    case 400:
    case 403:
    case 431:
      FUZZ_CHECK(d.route == Route::None);
      break;
    case 404:
    case 405:
    case 413:
    case 200: {
      FUZZ_CHECK((d.route != Route::None) == (d.status == 200));
      // Past the checks: the token and this machine's address were in what was read.
      const std::string_view read = std::string_view(bytes).substr(0, bound);
      FUZZ_CHECK(read.find(std::string("token=") + kToken) != std::string_view::npos);
      FUZZ_CHECK(read.find("127.0.0.1:8080") != std::string_view::npos ||
                 read.find("localhost:8080") != std::string_view::npos);
      break;
    }
    default:
      FUZZ_CHECK(!"a status the server never sends");
  }

  // The connection, fed in the input's pieces.
  plat::stream::Server server(g_policy);
  Connection conn(server, plat::stream::Clock::now());
  for (std::string_view p : pieces) conn.receive(p.data(), p.size());
  FUZZ_CHECK(sameDecision(conn.decision(), d));
  const std::string_view out = conn.unsent();
  if (d.status == 0) {
    FUZZ_CHECK(out.empty() && !conn.finished());
    return 0;
  }
  FUZZ_CHECK(out.substr(0, 13) == "HTTP/1.1 " + std::to_string(d.status) + " ");
  FUZZ_CHECK(count(out, "HTTP/1.1 ") == 1);
  FUZZ_CHECK((out.find(kPageMark) != std::string_view::npos) == (d.route == Route::Page));
  FUZZ_CHECK((out.find(kLayoutMark) != std::string_view::npos) == (d.route == Route::Events));
  FUZZ_CHECK((out.find(kSkinMark) != std::string_view::npos) == (d.route == Route::Skin));
  // Everything but an event stream ends once its response is out.
  conn.sent(out.size());
  FUZZ_CHECK(conn.finished() == (d.route != Route::Events));
  return 0;
}
