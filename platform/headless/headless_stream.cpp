// The stream server on POSIX sockets, so the native tests talk to it over real
// connections: poll for the sockets, a pipe for the window's wake-up. What the bytes mean
// is decided in platform/stream_http.cpp.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/stream_http.h"

namespace plat::stream {

namespace {

std::mutex g_shared;
std::mutex g_direct;

struct Running {
  int listenFd = -1;
  int wakeRead = -1;
  int wakeWrite = -1;
  std::atomic<bool> stopping{false};
  std::unique_ptr<Server> server;
  std::thread thread;
};
std::unique_ptr<Running> g_running;  // the window's thread's

// Ends a connection at once, whatever is still unsent, and leaves nothing of it behind
// that could hold the port after a stop.
void drop(int fd) {
  const linger now{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
  close(fd);
}

void run(Running& r) {
  Connections clients;
  std::vector<pollfd> fds;
  for (;;) {
    fds.assign({{r.wakeRead, POLLIN, 0}, {r.listenFd, POLLIN, 0}});
    int timeout = -1;
    Clock::time_point now = Clock::now();
    for (const auto& c : clients) {
      short events = c->wantsInput() ? POLLIN : 0;
      if (!c->unsent().empty()) events |= POLLOUT;
      fds.push_back({static_cast<int>(c->socket()), events, 0});
      timeout = sooner(timeout, c->msLeft(now));
    }
    if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
    const Server::Turn turn(*r.server);
    if (fds[0].revents) {
      char drain[64];
      while (read(r.wakeRead, drain, sizeof drain) > 0) {
      }
    }
    // Looked at after the drain: the stop's byte may be among those just read, and the
    // flag is set before that byte is written.
    if (r.stopping.load()) break;
    const Published news = r.server->takePublished();
    const std::size_t known = clients.size();
    for (std::size_t i = 0; i < known; ++i) {
      clients[i]->push(news);
      if (fds[i + 2].revents) receive(*clients[i]);
    }
    if (fds[1].revents) {
      now = Clock::now();
      for (int fd; (fd = accept4(r.listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
        if (r.server->full(clients.size())) {
          close(fd);
          continue;
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const int buffer = r.server->policy().limits.socketBuffer;
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
        clients.push_back(std::make_unique<Connection>(*r.server, now, static_cast<SocketId>(fd)));
        receive(*clients.back());
      }
    }
    settle(clients, Clock::now(), [](SocketId fd) { close(static_cast<int>(fd)); });
  }
  r.server->endDirect();
  for (const auto& c : clients) drop(static_cast<int>(c->socket()));
}

void closeAll(Running& r) {
  for (int fd : {r.listenFd, r.wakeRead, r.wakeWrite}) {
    if (fd >= 0) close(fd);
  }
}

}  // namespace

void lockShared() { g_shared.lock(); }
void unlockShared() { g_shared.unlock(); }
bool tryLockDirect() { return g_direct.try_lock(); }
void lockDirect() { g_direct.lock(); }
void unlockDirect() { g_direct.unlock(); }

long receiveNow(SocketId socket, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = recv(static_cast<int>(socket), buffer, size, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? kNothingYet : kBroken;
  }
}

long sendNow(SocketId socket, const char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
  }
}

void wake() {
  if (!g_running) return;
  const char one = 1;
  // A full pipe already holds a wake-up.
  if (write(g_running->wakeWrite, &one, 1) < 0) return;
}

StreamStart serve(const Policy& policy) {
  auto r = std::make_unique<Running>();
  r->listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (r->listenFd < 0) return StreamStart::Failed;
  // Lets a restart bind while connections of the last run linger in TIME_WAIT; Linux never
  // lets a second socket listen on the port this way.
  const int one = 1;
  setsockopt(r->listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(policy.port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(r->listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
    const int error = errno;
    closeAll(*r);
    return error == EADDRINUSE ? StreamStart::PortTaken : StreamStart::Failed;
  }
  int wakePipe[2];
  if (listen(r->listenFd, SOMAXCONN) < 0 || pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) < 0) {
    closeAll(*r);
    return StreamStart::Failed;
  }
  r->wakeRead = wakePipe[0];
  r->wakeWrite = wakePipe[1];
  r->server = std::make_unique<Server>(policy);
  Server::setRunning(r->server.get());
  try {
    r->thread = std::thread(run, std::ref(*r));
  } catch (const std::system_error&) {
    Server::setRunning(nullptr);
    closeAll(*r);
    return StreamStart::Failed;
  }
  g_running = std::move(r);
  return StreamStart::Listening;
}

}  // namespace plat::stream

namespace plat {

void stopStreamServer() {
  using stream::g_running;
  if (!g_running) return;
  g_running->stopping.store(true);
  const char one = 1;
  if (write(g_running->wakeWrite, &one, 1) < 0) {
    // The pipe is full, so the thread wakes anyway.
  }
  g_running->thread.join();
  stream::Server::setRunning(nullptr);
  stream::closeAll(*g_running);
  g_running.reset();
}

}  // namespace plat
