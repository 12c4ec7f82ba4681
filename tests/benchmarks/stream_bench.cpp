// What publishing a key's lit state costs the window's thread, and how long it takes until
// every connected page has the message in hand (real sockets on this machine).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/stream.h"
#include "tests/loopback.h"

namespace {

using lumatap::testing::freePort;
using lumatap::testing::loopback;

constexpr char kToken[] = "0123456789abcdef0123456789abcdef";

// A page's event stream: reads one message at a time.
struct Page {
  int fd = -1;
  std::string buffer;

  bool nextMessage() {
    for (;;) {
      const std::size_t end = buffer.find("\n\n");
      if (end != std::string::npos) {
        buffer.erase(0, end + 2);
        return true;
      }
      char chunk[4096];
      const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      buffer.append(chunk, static_cast<std::size_t>(n));
    }
  }
};

// The server on a free port with `count` pages reading their event streams, each past the
// state it starts with (retry, layout, lit); with `counters`, pages that show the counters.
struct Streams {
  std::vector<Page> pages;

  explicit Streams(int count, bool counters = false) {
    plat::publishStreamLayout({"{\"cols\":3,\"rows\":2}", std::string(4 * 48 * 48, '\x40'), 1});
    plat::publishStreamLit(0, false);
    const int port = freePort();
    if (plat::startStreamServer(port, kToken) != plat::StreamStart::Listening) return;
    const std::string request = std::string("GET /events?token=") + kToken + (counters ? "&counters=1" : "") +
                                " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
    for (int i = 0; i < count; ++i) {
      Page p;
      p.fd = socket(AF_INET, SOCK_STREAM, 0);
      const sockaddr_in a = loopback(port);
      connect(p.fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
      send(p.fd, request.data(), request.size(), MSG_NOSIGNAL);
      for (int m = 0; m < 3; ++m) p.nextMessage();
      pages.push_back(std::move(p));
    }
  }
  ~Streams() {
    for (const Page& p : pages) close(p.fd);
    plat::stopStreamServer();
  }
};

// The window's side alone, no page connected: store the state (nobody to send to, nothing
// to wake).
void BM_StreamPublishLit(benchmark::State& state) {
  Streams streams(0);
  std::uint32_t slots = 0;
  for (auto _ : state) plat::publishStreamLit(++slots & 0xFFF, false);
}

// From the publish to the message read by every page.
void BM_StreamPublishToEveryPage(benchmark::State& state) {
  Streams streams(static_cast<int>(state.range(0)));
  std::uint32_t slots = 0;
  for (auto _ : state) {
    plat::publishStreamLit(++slots & 0xFFF, false);
    for (Page& p : streams.pages) {
      if (!p.nextMessage()) {
        state.SkipWithError("a page lost its stream");
        return;
      }
    }
  }
}

// A press as the window publishes it with the stream page on: the lit state and the counts
// of six slots, KPS and peak. With no page that shows them, the counts are only stored.
plat::StreamCounts sixCounts() {
  plat::StreamCounts c;
  const std::uint32_t counts[] = {12, 3480, 977, 15002, 14870, 9931};
  for (int i = 0; i < 6; ++i) c.perSlot[i] = counts[i];
  c.slots = 6;
  c.kps = 17;
  c.peak = 24;
  return c;
}

void BM_StreamPublishLitWithCounts(benchmark::State& state) {
  Streams streams(0);
  plat::StreamCounts counts = sixCounts();
  std::uint32_t slots = 0;
  for (auto _ : state) {
    ++counts.perSlot[0];
    plat::publishStreamLit(++slots & 0xFFF, false, &counts);
  }
}

// From the publish of a press with its counts to the message read by every page, each a
// page that shows the counters.
void BM_StreamPublishWithCountsToEveryCountersPage(benchmark::State& state) {
  Streams streams(static_cast<int>(state.range(0)), true);
  plat::StreamCounts counts = sixCounts();
  std::uint32_t slots = 0;
  for (auto _ : state) {
    ++counts.perSlot[0];
    plat::publishStreamLit(++slots & 0xFFF, false, &counts);
    for (Page& p : streams.pages) {
      if (!p.nextMessage()) {
        state.SkipWithError("a page lost its stream");
        return;
      }
    }
  }
}

BENCHMARK(BM_StreamPublishLit);
BENCHMARK(BM_StreamPublishLitWithCounts);
BENCHMARK(BM_StreamPublishToEveryPage)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StreamPublishWithCountsToEveryCountersPage)->Arg(1)->Arg(16)->Unit(benchmark::kMicrosecond);

}  // namespace
