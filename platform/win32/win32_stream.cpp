// The stream server on Winsock: one thread that waits on three events (the window's
// wake-up, new connections, anything on a client socket) and moves bytes. What the bytes
// mean is decided in platform/stream_http.cpp.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/win32/win32.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#include "platform/stream_http.h"

namespace plat::stream {

namespace {

SRWLOCK g_shared = SRWLOCK_INIT;
SRWLOCK g_direct = SRWLOCK_INIT;

struct Running {
  SOCKET listener = INVALID_SOCKET;
  WSAEVENT wakeEvent = WSA_INVALID_EVENT;    // the window's wake-up, and the stop
  WSAEVENT listenEvent = WSA_INVALID_EVENT;  // FD_ACCEPT of the listener
  WSAEVENT clientEvent = WSA_INVALID_EVENT;  // FD_READ, FD_WRITE, FD_CLOSE of every client
  std::atomic<bool> stopping{false};
  std::unique_ptr<Server> server;
  HANDLE thread = nullptr;
};
std::unique_ptr<Running> g_running;  // the window's thread's

// Ends a connection at once, whatever is still unsent: an exclusively bound port is free
// again only once no connection of it is left.
void drop(SOCKET s) {
  const linger now{1, 0};
  setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&now), sizeof now);
  closesocket(s);
}

bool isSet(WSAEVENT e) { return WSAWaitForMultipleEvents(1, &e, FALSE, 0, FALSE) == WSA_WAIT_EVENT_0; }

DWORD WINAPI run(void* param) {
  Running& r = *static_cast<Running*>(param);
  Connections clients;
  const WSAEVENT events[] = {r.wakeEvent, r.listenEvent, r.clientEvent};
  for (;;) {
    int timeout = -1;
    Clock::time_point now = Clock::now();
    for (const auto& c : clients) timeout = sooner(timeout, c->msLeft(now));
    const DWORD woke = WSAWaitForMultipleEvents(3, events, FALSE,
                                                timeout < 0 ? WSA_INFINITE : static_cast<DWORD>(timeout), FALSE);
    if (woke == WSA_WAIT_FAILED) {
      win32::traceFailure("WSAWaitForMultipleEvents (the stream server stops)");
      break;
    }
    if (r.stopping.load()) break;
    const Server::Turn turn(*r.server);

    // A key's news goes out before anything else is looked at: under Wine each of the
    // calls below is a round trip to its server, and the page waits for the send.
    const Published news = r.server->takePublished();
    if (!news.empty()) {
      for (const auto& c : clients) {
        c->push(news);
        c->flush();
      }
    }
    const bool clientsSpoke = isSet(r.clientEvent);
    if (clientsSpoke) WSAResetEvent(r.clientEvent);
    for (const auto& c : clients) {
      if (clientsSpoke) receive(*c);
    }
    WSANETWORKEVENTS listened{};
    if (WSAEnumNetworkEvents(r.listener, r.listenEvent, &listened) == 0 && (listened.lNetworkEvents & FD_ACCEPT)) {
      now = Clock::now();
      for (SOCKET s; (s = accept(r.listener, nullptr, nullptr)) != INVALID_SOCKET;) {
        if (r.server->full(clients.size())) {
          closesocket(s);
          continue;
        }
        // The accepted socket came with the listener's event; it gets the clients' one.
        WSAEventSelect(s, r.clientEvent, FD_READ | FD_WRITE | FD_CLOSE);
        const BOOL on = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
        const int buffer = r.server->policy().limits.socketBuffer;
        setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&buffer), sizeof buffer);
        clients.push_back(std::make_unique<Connection>(*r.server, now, s));
        receive(*clients.back());
      }
    }
    settle(clients, Clock::now(), [](SocketId s) { closesocket(static_cast<SOCKET>(s)); });
  }
  r.server->endDirect();
  for (const auto& c : clients) drop(static_cast<SOCKET>(c->socket()));
  return 0;
}

void closeAll(Running& r) {
  if (r.listener != INVALID_SOCKET) closesocket(r.listener);
  for (WSAEVENT e : {r.wakeEvent, r.listenEvent, r.clientEvent}) {
    if (e != WSA_INVALID_EVENT) WSACloseEvent(e);
  }
  WSACleanup();
}

}  // namespace

void lockShared() { AcquireSRWLockExclusive(&g_shared); }
void unlockShared() { ReleaseSRWLockExclusive(&g_shared); }
bool tryLockDirect() { return TryAcquireSRWLockExclusive(&g_direct) != 0; }
void lockDirect() { AcquireSRWLockExclusive(&g_direct); }
void unlockDirect() { ReleaseSRWLockExclusive(&g_direct); }

// A send that would block re-arms FD_WRITE, which wakes the server's thread once there is
// room.
long sendNow(SocketId socket, const char* data, std::size_t size) {
  const int n = send(static_cast<SOCKET>(socket), data, static_cast<int>(std::min<std::size_t>(size, 1 << 30)), 0);
  if (n > 0) return n;
  return n < 0 && WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

long receiveNow(SocketId socket, char* buffer, std::size_t size) {
  // Each recv also re-arms the socket's FD_READ.
  const int n = recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 30)), 0);
  if (n >= 0) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kNothingYet : kBroken;
}

void wake() {
  if (g_running) WSASetEvent(g_running->wakeEvent);
}

StreamStart serve(const Policy& policy) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return StreamStart::Failed;
  auto r = std::make_unique<Running>();
  r->listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (r->listener == INVALID_SOCKET) {
    win32::traceFailure("socket");
    closeAll(*r);
    return StreamStart::Failed;
  }
  // No other program may bind the port beside us, even with SO_REUSEADDR.
  const BOOL on = TRUE;
  setsockopt(r->listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(policy.port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(r->listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
    // WSAEACCES: another program holds the port exclusively, or the system keeps it.
    const int error = WSAGetLastError();
    closeAll(*r);
    return error == WSAEADDRINUSE || error == WSAEACCES ? StreamStart::PortTaken : StreamStart::Failed;
  }
  // Resets itself when the wait returns for it: one call less on the way of every key.
  r->wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  r->listenEvent = WSACreateEvent();
  r->clientEvent = WSACreateEvent();
  if (r->wakeEvent == WSA_INVALID_EVENT || r->listenEvent == WSA_INVALID_EVENT ||
      r->clientEvent == WSA_INVALID_EVENT || listen(r->listener, SOMAXCONN) == SOCKET_ERROR ||
      WSAEventSelect(r->listener, r->listenEvent, FD_ACCEPT) == SOCKET_ERROR) {
    win32::traceFailure("the stream server's listener");
    closeAll(*r);
    return StreamStart::Failed;
  }
  r->server = std::make_unique<Server>(policy);
  Server::setRunning(r->server.get());
  // std::thread is not there with this compiler's thread model.
  r->thread = CreateThread(nullptr, 0, run, r.get(), 0, nullptr);
  if (!r->thread) {
    Server::setRunning(nullptr);
    win32::traceFailure("CreateThread");
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
  WSASetEvent(g_running->wakeEvent);
  WaitForSingleObject(g_running->thread, INFINITE);
  stream::Server::setRunning(nullptr);
  CloseHandle(g_running->thread);
  stream::closeAll(*g_running);
  g_running.reset();
}

}  // namespace plat
