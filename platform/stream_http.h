#pragma once
// The portable half of the stream server (platform/stream.h), shared by both backends:
// everything between the bytes a client sends and the bytes it gets back. A backend only
// accepts, receives, sends and waits; it hands each connection's bytes to a Connection and
// sends what the Connection has for its client.
//
// The thread of the window publishes into a lock-free queue; the server's thread takes
// what was published (Server::takePublished) whenever the backend's wake-up fires and
// pushes it to every event stream. Without a request being read there is nothing to time,
// so the server's thread then sleeps until a client or the window gives it something.
//
// A lit state skips that hop when it can: waking another thread costs hundreds of
// microseconds under Wine, a send from the window's thread about one system call. The
// window's thread sends it itself, without waiting, to event streams that have every
// earlier message out, while the server's thread sleeps (Server::Turn) and nothing is
// queued. Otherwise it queues and wakes as above, so a message never passes an earlier
// one. A stream that cannot take the message at once goes back to the server's thread
// with what is left of it.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/stream.h"

namespace plat::stream {

using Clock = std::chrono::steady_clock;

// The bounds of what one client may cost. Past any of them its connection is closed and
// every other goes on.
struct Limits {
  std::size_t headerBytes = 8 * 1024;   // request line and headers, up to their end
  int headerCount = 32;
  int connections = 16;                 // open at once; a new one past this is closed at once
  std::chrono::milliseconds requestTime{5000};  // from the connection to the request's end
  std::size_t backlogBytes = 256 * 1024;        // unsent bytes of an event stream
  // The system's send buffer of each connection. Fixed, so a client that stops reading is
  // found behind after this much rather than after the megabytes a system may grow it to.
  int socketBuffer = 64 * 1024;
};

// What a request must show to be served.
struct Policy {
  std::string token;  // 32 lowercase hexadecimal digits
  int port = 0;
  Limits limits;
};

// 32 lowercase hexadecimal digits.
bool validToken(std::string_view token);

enum class Route { None, Page, Events, Skin };

struct Decision {
  int status = 0;  // 0 while the request is not yet whole; else the response's status
  Route route = Route::None;  // for a 200 only
  bool counters = false;      // an event stream whose page shows the counters (counters=1)
};

// Reads one request from a client's bytes, in pieces of any size, and decides on it at the
// end of its headers (or earlier, on what cannot be a request or exceeds the bounds). The
// decision depends only on the bytes up to that point, never on how they were split, and
// nothing past Limits::headerBytes is ever looked at. Bytes after the decision are ignored.
class RequestReader {
 public:
  explicit RequestReader(const Policy& policy);
  ~RequestReader();
  RequestReader(const RequestReader&) = delete;
  RequestReader& operator=(const RequestReader&) = delete;

  Decision feed(const char* data, std::size_t size);
  Decision decision() const { return decision_; }

 private:
  struct Parser;  // llhttp's state; its header stays out of this one
  void decide();

  const Policy& policy_;
  std::unique_ptr<Parser> parser_;
  std::size_t consumed_ = 0;
  Decision decision_;
};

class Server;

// A socket of the backend, as a number.
using SocketId = std::uintptr_t;

// The longest lit message: one with the counts of 32 slots, every number at its longest.
constexpr std::size_t kLitMessageMax = 448;

// What the event streams get for what was published since the last time: the messages for
// pages without the counters, and for pages with them (the same, with the counts in the
// lit messages that carry them, and lit messages for counts alone).
struct Published {
  std::string plain;
  std::string counted;
  bool empty() const { return plain.empty() && counted.empty(); }
};

// One client: its request, then the response or the event stream, with a bounded backlog.
class Connection {
 public:
  Connection(Server& server, Clock::time_point now, SocketId socket = 0);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Bytes the client sent. Before the decision they go to the request; after it they are
  // dropped.
  void receive(const char* data, std::size_t size);
  // The client will send nothing more (end of its stream). A response under way is still
  // sent out; a request not yet whole and an event stream end.
  void inputEnded();
  // Receiving or sending failed: the connection ends without anything more.
  void broken();
  // Closes a connection still reading its request at the deadline.
  void expire(Clock::time_point now);
  // Published messages, for an event stream: those of its kind (with the counters or
  // without). Ends one that still holds more than its bound of unsent bytes when they come
  // (the backend sends after every push).
  void push(const Published& messages);

  // What is still to be sent, and how much of it went out.
  std::string_view unsent() const { return std::string_view(out_).substr(sent_); }
  void sent(std::size_t size);
  // Sends what it can of the unsent bytes to its socket, without waiting.
  void flush();

  // The backend waits for input only while this holds, and closes the socket once
  // finished() does.
  bool wantsInput() const { return state_ != State::Done && !inputEnded_; }
  bool finished() const { return state_ == State::Done || (state_ == State::Responding && unsent().empty()); }
  // Milliseconds until the request's deadline, rounded up; -1 when nothing is timed.
  int msLeft(Clock::time_point now) const;
  Decision decision() const { return request_.decision(); }
  SocketId socket() const { return socket_; }

 private:
  friend class Server;
  enum class State { Reading, Responding, Streaming, Done };

  Server& server_;
  RequestReader request_;
  State state_ = State::Reading;
  Clock::time_point deadline_;
  bool inputEnded_ = false;
  std::string out_;
  std::size_t sent_ = 0;
  const SocketId socket_;
  bool counters_ = false;  // an event stream that shows the counters
  // Shared with the window's thread, under the direct lock.
  bool direct_ = false;  // an event stream with nothing unsent: the window may send to it
  bool handedBroken_ = false;  // a send of the window's thread failed
  std::size_t handedSize_ = 0;  // what the socket did not take of the window's message
  char handed_[kLitMessageMax];
};

// The server's side of what the window published, and the responses made from it. Made on
// the window's thread before the server's thread starts (it takes over the state as it
// stands then); used on the server's thread afterwards.
class Server {
 public:
  explicit Server(Policy policy);
  const Policy& policy() const { return policy_; }
  bool full(std::size_t openConnections) const {
    return openConnections >= static_cast<std::size_t>(policy_.limits.connections);
  }
  // The messages every event stream gets for what was published since the last call, in
  // order; empty when nothing changed. The backend must have consumed its wake-up (reset
  // the event, emptied the pipe) before calling, so that a later publish wakes it again.
  Published takePublished();

  // Held by the server's thread from each wake-up until it waits again; everything it does
  // with its connections happens within one. While it is held the window's thread sends
  // nothing itself. It starts by taking back what the window's thread could not send, and
  // ends by letting the window send to the event streams that have nothing unsent, so the
  // window's next message follows everything this turn sent.
  class Turn {
   public:
    explicit Turn(Server& server);
    ~Turn();
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

   private:
    Server& server_;
  };

  // The server whose event streams the window's thread may send to: set before its thread
  // starts, cleared once the thread has ended (both on the window's thread).
  static void setRunning(Server* server);
  // The server's thread ends: the window's thread sends to none of its sockets again.
  void endDirect();

 private:
  friend class Connection;
  friend void plat::publishStreamLit(std::uint32_t litSlots, bool keysHidden, const StreamCounts* counts);
  void respond(Connection& c);
  void takeLayout(Published& out);
  void takeLit(std::uint64_t entry, Published& out);
  bool sendDirect(std::uint64_t entry, const StreamCounts* counts);

  Policy policy_;
  std::shared_ptr<const StreamLayout> layout_;  // the newest layout this thread has seen
  // Under the direct lock.
  std::uint64_t lit_ = 0;             // the newest lit state, as queued or sent
  std::vector<Connection*> streams_;  // every event stream
  bool direct_ = false;               // each of them may take the window's sends
  bool ended_ = false;
};

// The shorter of two waits in milliseconds, where -1 stands for waiting without end.
inline int sooner(int a, int b) { return a < 0 ? b : (b < 0 ? a : (a < b ? a : b)); }

// The server thread's clients, in the order they came.
using Connections = std::vector<std::unique_ptr<Connection>>;
// Reads what the client sent, a bounded amount a turn so that one busy client cannot keep
// the others waiting.
void receive(Connection& c);
// The end of each turn of the server's thread: expires the requests past their time, sends
// what each socket takes, and lets go of every finished connection, whose socket `close`
// is given once the connection is gone.
void settle(Connections& clients, Clock::time_point now, void (*close)(SocketId));

// ---- Supplied by each backend ---------------------------------------------------------
// Binds 127.0.0.1:port, listens and starts the server's thread with a Server for policy.
StreamStart serve(const Policy& policy);
// Wakes the server's thread; never blocks. Called on the window's thread, also while the
// server is off (then it does nothing).
void wake();
// The lock around the layout and the page, held only to copy or swap a pointer.
void lockShared();
void unlockShared();
// The lock between the window's direct sends and the server's thread (Server::Turn). The
// window's thread only ever tries it.
bool tryLockDirect();
void lockDirect();
void unlockDirect();
// Sends what the socket takes at once: the bytes taken (0 when it takes none now), or -1
// when the connection is broken.
long sendNow(SocketId socket, const char* data, std::size_t size);
// Reads what the socket holds now: the bytes read, 0 at the end of the client's input,
// kNothingYet when it holds nothing now, or kBroken.
constexpr long kNothingYet = -1;
constexpr long kBroken = -2;
long receiveNow(SocketId socket, char* buffer, std::size_t size);

}  // namespace plat::stream

namespace plat {
// startStreamServer with other bounds than the usual ones (the tests' shorter deadline).
StreamStart startStreamServer(int port, const std::string& token, const stream::Limits& limits);
}  // namespace plat
