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

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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

// One client: its request, then the response or the event stream, with a bounded backlog.
class Connection {
 public:
  Connection(Server& server, Clock::time_point now);

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
  // Published messages, for an event stream. Ends one that still holds more than its
  // bound of unsent bytes when they come (the backend sends after every push).
  void push(std::string_view messages);

  // What is still to be sent, and how much of it went out.
  std::string_view unsent() const { return std::string_view(out_).substr(sent_); }
  void sent(std::size_t size);

  // The backend waits for input only while this holds, and closes the socket once
  // finished() does.
  bool wantsInput() const { return state_ != State::Done && !inputEnded_; }
  bool finished() const { return state_ == State::Done || (state_ == State::Responding && unsent().empty()); }
  // Milliseconds until the request's deadline, rounded up; -1 when nothing is timed.
  int msLeft(Clock::time_point now) const;
  Decision decision() const { return request_.decision(); }

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
  std::string takePublished();

 private:
  friend class Connection;
  void respond(Connection& c);
  void takeLayout(std::string& out);
  void takeLit(std::uint64_t entry, std::string& out);

  Policy policy_;
  std::shared_ptr<const StreamLayout> layout_;  // the newest layout this thread has seen
  std::uint64_t lit_ = 0;                         // the newest lit state, as queued
};

// The shorter of two waits in milliseconds, where -1 stands for waiting without end.
inline int sooner(int a, int b) { return a < 0 ? b : (b < 0 ? a : (a < b ? a : b)); }

// ---- Supplied by each backend ---------------------------------------------------------
// Binds 127.0.0.1:port, listens and starts the server's thread with a Server for policy.
StreamStart serve(const Policy& policy);
// Wakes the server's thread; never blocks. Called on the window's thread, also while the
// server is off (then it does nothing).
void wake();
// The lock around the layout and the page, held only to copy or swap a pointer.
void lockShared();
void unlockShared();

}  // namespace plat::stream

namespace plat {
// startStreamServer with other bounds than the usual ones (the tests' shorter deadline).
StreamStart startStreamServer(int port, const std::string& token, const stream::Limits& limits);
}  // namespace plat
