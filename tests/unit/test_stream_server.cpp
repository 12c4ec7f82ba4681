// The stream server over real sockets on this machine: what a page's event stream reads
// as the window publishes, a client that never reads or never finishes its request costing
// the others nothing, and a stop that leaves no connection and no listener behind.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "platform/stream.h"
#include "platform/stream_http.h"
#include "tests/loopback.h"

namespace {

using lumatap::testing::freePort;
using lumatap::testing::loopback;

constexpr char kToken[] = "00112233445566778899aabbccddeeff";

// A client socket. Reads give up after a while, so a broken server fails the test instead
// of hanging it.
class Client {
public:
  explicit Client(int port, int receiveBuffer = 0) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    if (receiveBuffer) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const timeval guard{10, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
    const sockaddr_in a = loopback(port);
    connected_ = connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
  }
  ~Client() { close(fd_); }
  bool connected() const { return connected_; }

  void send(const std::string& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  void get(const std::string& target, int port) {
    send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n");
  }

  // Up to and including `end`; "" once the server has closed the connection.
  std::string readUntil(const std::string& end) {
    for (;;) {
      const std::size_t at = buffer_.find(end);
      if (at != std::string::npos) {
        std::string piece = buffer_.substr(0, at + end.size());
        buffer_.erase(0, at + end.size());
        return piece;
      }
      char chunk[4096];
      const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) return "";
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  std::string nextEvent() { return readUntil("\n\n"); }
  // True once the server has closed the connection, whatever it sent before.
  bool closedByServer() {
    char chunk[4096];
    for (;;) {
      const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
      if (n < 0) return false;  // the guard ran out
    }
  }

private:
  int fd_;
  bool connected_ = false;
  std::string buffer_;
};

std::string lit(std::uint32_t slots, bool hidden) {
  return "event: lit\ndata: {\"lit\":" + std::to_string(slots) + ",\"hidden\":" + (hidden ? "1" : "0") + "}\n\n";
}

class StreamServerTest : public testing::Test {
protected:
  StreamServerTest() {
    plat::publishStreamLayout({"{\"cols\":3}", "rgba", 1});
    plat::publishStreamLit(0, false);
    port = freePort();
    plat::stream::Limits limits;
    limits.requestTime = std::chrono::milliseconds(300);
    limits.backlogBytes = 4096;
    EXPECT_EQ(plat::startStreamServer(port, kToken, limits), plat::StreamStart::Listening);
  }
  ~StreamServerTest() override { plat::stopStreamServer(); }

  // An event stream, read past the state it starts with.
  void openEvents(Client& c) {
    ASSERT_TRUE(c.connected());
    c.get(std::string("/events?token=") + kToken, port);
    ASSERT_NE(c.readUntil("\r\n\r\n").find("200 OK"), std::string::npos);
    ASSERT_EQ(c.nextEvent(), "retry: 500\n\n");
    ASSERT_EQ(c.nextEvent(), "event: layout\ndata: {\"version\":1,\"layout\":{\"cols\":3}}\n\n");
    ASSERT_EQ(c.nextEvent(), lit(0, false));
  }

  int port = 0;
};

TEST_F(StreamServerTest, AnEventStreamGetsEveryPublishedChangeInOrder) {
  Client page(port);
  openEvents(page);
  plat::publishStreamLayout({"{\"cols\":2,\r\n\"rows\":1}", "rgba2", 2});
  plat::publishStreamLit(1, false);
  plat::publishStreamLit(3, true);
  EXPECT_EQ(page.nextEvent(), "event: layout\ndata: {\"version\":2,\"layout\":{\"cols\":2,\ndata: \"rows\":1}}\n\n");
  EXPECT_EQ(page.nextEvent(), lit(1, false));
  EXPECT_EQ(page.nextEvent(), lit(3, true));

  // A page opened now starts from the state as it stands, and the skin is the new one.
  Client late(port);
  late.get(std::string("/events?token=") + kToken, port);
  late.readUntil("\r\n\r\n");
  late.nextEvent();
  EXPECT_EQ(late.nextEvent(), "event: layout\ndata: {\"version\":2,\"layout\":{\"cols\":2,\ndata: \"rows\":1}}\n\n");
  EXPECT_EQ(late.nextEvent(), lit(3, true));
  Client skin(port);
  skin.get(std::string("/skin?token=") + kToken + "&v=2", port);
  EXPECT_NE(skin.readUntil("\r\n\r\n").find("X-Skin-Version: 2"), std::string::npos);
  EXPECT_EQ(skin.readUntil("rgba2"), "rgba2");
  EXPECT_TRUE(skin.closedByServer());
}

TEST_F(StreamServerTest, APageThatJoinsWhileKeysChangeGetsEveryChangeAfterItsFirstStateInOrder) {
  Client first(port);
  openEvents(first);
  Client joining(port);
  joining.get(std::string("/events?token=") + kToken, port);
  // Sent by the window's thread or queued, as each finds the server; the layout is queued.
  const std::string layout2 = "event: layout\ndata: {\"version\":2,\"layout\":{\"cols\":4}}\n\n";
  std::vector<std::string> all;
  for (std::uint32_t s = 1; s <= 100; ++s) {
    plat::publishStreamLit(s, false);
    all.push_back(lit(s, false));
    if (s == 50) {
      plat::publishStreamLayout({"{\"cols\":4}", "rgba4", 2});
      all.push_back(layout2);
    }
  }
  for (const std::string& e : all) ASSERT_EQ(first.nextEvent(), e);

  joining.readUntil("\r\n\r\n");
  joining.nextEvent();
  const std::string layout = joining.nextEvent();
  const std::string start = joining.nextEvent();
  const auto at = std::find(all.begin(), all.end(), start);
  std::vector<std::string> rest(at == all.end() ? all.begin() : at + 1, all.end());
  if (layout == layout2) std::erase(rest, layout2);
  for (const std::string& e : rest) ASSERT_EQ(joining.nextEvent(), e) << "from " << layout << start;
}

TEST_F(StreamServerTest, OnlyAPageThatShowsTheCountersGetsThemFromTheStateAsItStands) {
  const auto counted = [](std::uint32_t slots, const char* counts, int kps, int peak) {
    return "event: lit\ndata: {\"lit\":" + std::to_string(slots) + ",\"hidden\":0,\"counts\":" + counts +
           ",\"kps\":" + std::to_string(kps) + ",\"peak\":" + std::to_string(peak) + "}\n\n";
  };
  plat::StreamCounts counts;
  std::fill(std::begin(counts.perSlot), std::end(counts.perSlot), 99u);  // past the slots: never sent
  counts.perSlot[0] = 5;
  counts.perSlot[1] = 0;
  counts.perSlot[2] = 7;
  counts.slots = 3;
  counts.kps = 2;
  counts.peak = 9;
  plat::publishStreamLit(0, false, &counts);  // nobody shows them yet

  Client plain(port);
  openEvents(plain);
  Client page(port);
  page.get(std::string("/events?token=") + kToken + "&counters=1", port);
  page.readUntil("\r\n\r\n");
  page.nextEvent();
  page.nextEvent();
  EXPECT_EQ(page.nextEvent(), counted(0, "[5,0,7]", 2, 9));

  // A press: its lit state to both, its counts to the page that shows them.
  counts.perSlot[0] = 6;
  counts.kps = 3;
  plat::publishStreamLit(1, false, &counts);
  // KPS falls with no key moving, then a release without counts.
  counts.kps = 0;
  plat::publishStreamLit(1, false, &counts);
  plat::publishStreamLit(0, false);
  // A queued message reads the counters published last, maybe those of the next one.
  const std::string press = page.nextEvent();
  EXPECT_TRUE(press == counted(1, "[6,0,7]", 3, 9) || press == counted(1, "[6,0,7]", 0, 9)) << press;
  EXPECT_EQ(page.nextEvent(), counted(1, "[6,0,7]", 0, 9));
  EXPECT_EQ(page.nextEvent(), lit(0, false));
  EXPECT_EQ(plain.nextEvent(), lit(1, false));
  EXPECT_EQ(plain.nextEvent(), lit(0, false)) << "no message for the counters alone";
}

TEST_F(StreamServerTest, AClientThatNeverReadsIsDroppedWhileTheOtherGetsEveryChange) {
  Client page(port);
  openEvents(page);
  Client stuck(port, 4096);
  openEvents(stuck);  // and never reads again
  // Bursts a page that keeps up takes whole, even with each message in a segment of its own
  // (the window's thread sends them one by one), and shorter than the window's queue, so
  // nothing is coalesced for it; together far over the backlog bound, which such a page
  // never reaches.
  std::uint32_t slots = 0;
  for (int burst = 0; burst < 60; ++burst) {
    const std::uint32_t first = slots;
    for (int i = 0; i < 100; ++i) plat::publishStreamLit(++slots, false);
    for (std::uint32_t s = first + 1; s <= slots; ++s) {
      ASSERT_EQ(page.nextEvent(), lit(s, false)) << "burst " << burst;
    }
  }
  EXPECT_TRUE(stuck.closedByServer()) << "its backlog passed the bound";
}

TEST_F(StreamServerTest, AClientThatDoesNotFinishItsRequestInTimeIsClosed) {
  Client page(port);
  openEvents(page);
  Client trickle(port);
  for (char c : std::string("GET /events?tok")) trickle.send(std::string(1, c));
  EXPECT_TRUE(trickle.closedByServer());
  plat::publishStreamLit(9, false);
  EXPECT_EQ(page.nextEvent(), lit(9, false)) << "the other goes on";
}

TEST_F(StreamServerTest, APortTakenIsSaidAndStopClosesEveryConnection) {
  EXPECT_EQ(plat::startStreamServer(port, kToken), plat::StreamStart::Listening) << "restarted";
  Client page(port);
  openEvents(page);

  plat::stopStreamServer();
  EXPECT_TRUE(page.closedByServer());
  Client refused(port);
  EXPECT_FALSE(refused.connected()) << "nobody listens";

  const int other = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in a = loopback(port);
  ASSERT_EQ(bind(other, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(other, 1), 0);
  EXPECT_EQ(plat::startStreamServer(port, kToken), plat::StreamStart::PortTaken);
  close(other);
  EXPECT_EQ(plat::startStreamServer(port, "not a token"), plat::StreamStart::Failed);
}

}  // namespace
