// The stream server's portable half: requests read with llhttp, the decision on them, the
// responses, the event stream's messages and the queue from the window's thread.
#include "platform/stream_http.h"

#include <llhttp.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>
#include <utility>

namespace plat::stream {

namespace {

// ---- The queue from the window's thread ----------------------------------------------
// One producer (the window's thread), one consumer (the server's thread). Each entry is a
// lit state with its number, or the mark of a new layout; the layout itself waits under
// the shared lock. A lit state may carry the counters: they wait in the hub, newest only.
// A full queue drops the entry and says so: the server then sends the newest layout and
// lit state, so a client never ends on a stale state, though it may skip some that nobody
// had time to send.
constexpr std::uint32_t kQueueSize = 1024;
constexpr std::uint64_t kHidden = 1ull << 32;
constexpr std::uint64_t kLayoutMark = 1ull << 33;
constexpr std::uint64_t kWithCounts = 1ull << 34;
constexpr std::uint64_t kStateBits = 0x1FFFFFFFFull;  // slots and hidden
constexpr int kNumberShift = 35;
constexpr std::uint32_t kNumberMask = (1u << 29) - 1;

struct Hub {
  std::atomic<std::uint64_t> queue[kQueueSize];
  std::atomic<std::uint32_t> tail{0};  // the producer's
  std::atomic<std::uint32_t> head{0};  // the consumer's
  std::atomic<bool> dropped{false};
  std::atomic<std::uint64_t> lit{0};   // the newest lit state, queued or not
  std::atomic<bool> wakePending{false};
  std::uint32_t number = 0;            // the producer's count of lit states
  Server* running = nullptr;           // the producer's: the server it may send to itself
  // The counters as published last. Each number on its own, so a page may see some of a
  // newer publish beside an older one for a moment; the lit state that brings the newer
  // one follows.
  std::atomic<std::uint32_t> counts[StreamCounts::kMaxSlots];
  std::atomic<int> countSlots{0};
  std::atomic<std::uint32_t> kps{0};
  std::atomic<std::uint32_t> peak{0};
  std::atomic<std::uint32_t> countsVersion{0};
  // Event streams that show the counters, over every server (the servers' threads').
  std::atomic<int> countedStreams{0};
  // Under lockShared.
  std::shared_ptr<const StreamLayout> layout;
  std::shared_ptr<const std::string> page;
};
Hub g_hub;

struct SharedLock {
  SharedLock() { lockShared(); }
  ~SharedLock() { unlockShared(); }
  SharedLock(const SharedLock&) = delete;
  SharedLock& operator=(const SharedLock&) = delete;
};

// One wake-up for a burst: the server clears the flag before it takes the queue.
void wakeServer() {
  if (!g_hub.wakePending.exchange(true)) wake();
}

void enqueue(std::uint64_t entry) {
  const std::uint32_t t = g_hub.tail.load(std::memory_order_relaxed);
  if (t - g_hub.head.load() < kQueueSize) {
    g_hub.queue[t % kQueueSize].store(entry, std::memory_order_relaxed);
    g_hub.tail.store(t + 1);
  } else {
    g_hub.dropped.store(true);
  }
  wakeServer();
}

// The producer stores the counters, then looks whether a page shows them; a page that
// starts to show them is counted, then reads them (loadCounts). Every step in one order
// for both threads (sequentially consistent), so either the page reads these counters or
// the producer sees the page and sends them.
void storeCounts(const StreamCounts& c) {
  const int n = std::clamp(c.slots, 0, StreamCounts::kMaxSlots);
  for (int i = 0; i < n; ++i) g_hub.counts[i].store(c.perSlot[i], std::memory_order_relaxed);
  g_hub.countSlots.store(n, std::memory_order_relaxed);
  g_hub.kps.store(c.kps, std::memory_order_relaxed);
  g_hub.peak.store(c.peak, std::memory_order_relaxed);
  g_hub.countsVersion.fetch_add(1);
}

StreamCounts loadCounts() {
  g_hub.countsVersion.load();
  StreamCounts c;
  c.slots = g_hub.countSlots.load(std::memory_order_relaxed);
  for (int i = 0; i < c.slots; ++i) c.perSlot[i] = g_hub.counts[i].load(std::memory_order_relaxed);
  c.kps = g_hub.kps.load(std::memory_order_relaxed);
  c.peak = g_hub.peak.load(std::memory_order_relaxed);
  return c;
}

std::uint32_t numberOf(std::uint64_t entry) { return static_cast<std::uint32_t>(entry >> kNumberShift); }

// Numbers wrap; the newer one is less than half the circle ahead.
bool isNewer(std::uint32_t a, std::uint32_t b) {
  const std::uint32_t ahead = (a - b) & kNumberMask;
  return ahead != 0 && ahead < (kNumberMask + 1) / 2;
}

// ---- Messages and responses ------------------------------------------------------------

// Into a buffer of the caller's: the window's thread allocates nothing. With `counts`, the
// counters of the slots they hold and nothing else.
std::size_t formatLit(std::uint64_t entry, const StreamCounts* counts, char (&out)[kLitMessageMax]) {
  constexpr std::string_view kStart = "event: lit\ndata: {\"lit\":";
  constexpr std::string_view kCounts = ",\"counts\":[", kKps = "],\"kps\":", kPeak = ",\"peak\":";
  constexpr std::string_view kEnd = "}\n\n";
  constexpr std::size_t kNumber = 10;  // digits of the largest 32-bit number
  static_assert(kStart.size() + kNumber + 11 + kCounts.size() + StreamCounts::kMaxSlots * (kNumber + 1) - 1 +
                    kKps.size() + kNumber + kPeak.size() + kNumber + kEnd.size() <=
                kLitMessageMax);
  const auto put = [](char* at, std::string_view text) { return std::copy(text.begin(), text.end(), at); };
  char* const last = out + kLitMessageMax;
  char* at = put(out, kStart);
  at = std::to_chars(at, last, static_cast<std::uint32_t>(entry)).ptr;
  at = put(at, (entry & kHidden) ? ",\"hidden\":1" : ",\"hidden\":0");
  if (counts) {
    at = put(at, kCounts);
    for (int i = 0, n = std::clamp(counts->slots, 0, StreamCounts::kMaxSlots); i < n; ++i) {
      if (i) *at++ = ',';
      at = std::to_chars(at, last, counts->perSlot[i]).ptr;
    }
    at = put(at, kKps);
    at = std::to_chars(at, last, counts->kps).ptr;
    at = put(at, kPeak);
    at = std::to_chars(at, last, counts->peak).ptr;
  }
  at = put(at, kEnd);
  return static_cast<std::size_t>(at - out);
}

std::string litMessage(std::uint64_t entry, const StreamCounts* counts) {
  char m[kLitMessageMax];
  return std::string(m, formatLit(entry, counts, m));
}

// Each line of the json goes on a data line of its own (a bare CR or LF would end the field).
std::string layoutMessage(const StreamLayout* layout) {
  std::string m = "event: layout\ndata: {\"version\":";
  m += std::to_string(layout ? layout->version : 0);
  m += ",\"layout\":";
  const std::string_view json = layout && !layout->json.empty() ? std::string_view(layout->json) : "null";
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < json.size() && json[i + 1] == '\n') ++i;
      m += "\ndata: ";
    } else {
      m += c;
    }
  }
  m += "}\n\n";
  return m;
}

const char* reasonOf(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
  }
  return "Error";
}

// The head of every response: nothing cached, nothing sniffed, no address passed on, and
// the connection closed after it.
std::string head(int status, std::string_view type, const std::size_t* length) {
  std::string h = "HTTP/1.1 " + std::to_string(status) + " " + reasonOf(status) + "\r\n";
  if (!type.empty()) {
    h += "Content-Type: ";
    h += type;
    h += "\r\n";
  }
  if (length) h += "Content-Length: " + std::to_string(*length) + "\r\n";
  if (status == 405) h += "Allow: GET\r\n";
  h += "Cache-Control: no-store\r\n"
       "X-Content-Type-Options: nosniff\r\n"
       "Referrer-Policy: no-referrer\r\n"
       "Connection: close\r\n";
  return h;
}

// The page is one file with inline script and style, written whole by the core; it may
// reach its own origin (the event stream, the skin) and nothing else.
constexpr std::string_view kPagePolicy =
    "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; "
    "style-src 'unsafe-inline'; connect-src 'self'; img-src data: blob:; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'none'\r\n"
    // Isolated from every other origin; the page's clock then has its fine resolution.
    "Cross-Origin-Opener-Policy: same-origin\r\n"
    "Cross-Origin-Embedder-Policy: require-corp\r\n";

// ---- Request checks --------------------------------------------------------------------

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Takes as long for a token that differs in its first digit as for one that differs in its
// last, so the time of a refusal tells nothing of the token.
bool sameToken(std::string_view given, std::string_view token) {
  if (given.size() != token.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < token.size(); ++i) {
    diff |= static_cast<unsigned char>(given[i] ^ token[i]);
  }
  return diff == 0;
}

// Exactly one token parameter, equal to the token. Nothing is decoded: the token is plain
// digits, and a spelling that needs decoding is not the token.
bool queryHasToken(std::string_view query, std::string_view token) {
  int found = 0;
  bool same = false;
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view piece = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (piece.substr(0, 6) == "token=") {
      ++found;
      same = sameToken(piece.substr(6), token);
    }
  }
  return found == 1 && same;
}

bool queryHas(std::string_view query, std::string_view wanted) {
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    if (query.substr(0, amp) == wanted) return true;
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
  }
  return false;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// <scheme>127.0.0.1:<port> or <scheme>localhost:<port>, exactly.
bool namesUs(std::string_view value, std::string_view scheme, int port) {
  if (value.substr(0, scheme.size()) != scheme) return false;
  value.remove_prefix(scheme.size());
  for (std::string_view name : {std::string_view("127.0.0.1:"), std::string_view("localhost:")}) {
    if (value.substr(0, name.size()) == name) return value.substr(name.size()) == std::to_string(port);
  }
  return false;
}

}  // namespace

bool validToken(std::string_view token) {
  return token.size() == 32 && std::all_of(token.begin(), token.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// ---- RequestReader ---------------------------------------------------------------------

struct RequestReader::Parser {
  enum class Field { Other, Host, Origin };

  explicit Parser(int maxHeaders) : maxHeaders(maxHeaders) {
    static const llhttp_settings_t settings = [] {
      llhttp_settings_t s;
      llhttp_settings_init(&s);
      s.on_url = onUrl;
      s.on_header_field = onHeaderField;
      s.on_header_field_complete = onHeaderFieldComplete;
      s.on_header_value = onHeaderValue;
      s.on_header_value_complete = onHeaderValueComplete;
      s.on_headers_complete = onHeadersComplete;
      return s;
    }();
    llhttp_init(&http, HTTP_REQUEST, &settings);
    http.data = this;
  }

  static Parser& of(llhttp_t* h) { return *static_cast<Parser*>(h->data); }

  static int onUrl(llhttp_t* h, const char* at, std::size_t n) {
    of(h).url.append(at, n);
    return 0;
  }
  static int onHeaderField(llhttp_t* h, const char* at, std::size_t n) {
    of(h).field.append(at, n);
    return 0;
  }
  static int onHeaderFieldComplete(llhttp_t* h) {
    Parser& p = of(h);
    if (++p.headers > p.maxHeaders) {
      p.tooManyHeaders = true;
      return -1;
    }
    p.current = Field::Other;
    if (sameIgnoringCase(p.field, "host")) {
      if (++p.hosts == 1) p.current = Field::Host;
    } else if (sameIgnoringCase(p.field, "origin")) {
      if (++p.origins == 1) p.current = Field::Origin;
    }
    p.field.clear();
    return 0;
  }
  static int onHeaderValue(llhttp_t* h, const char* at, std::size_t n) {
    Parser& p = of(h);
    if (p.current == Field::Host) p.host.append(at, n);
    if (p.current == Field::Origin) p.origin.append(at, n);
    return 0;
  }
  static int onHeaderValueComplete(llhttp_t* h) {
    of(h).current = Field::Other;
    return 0;
  }
  // Decided here, so a body or a second request is never parsed.
  static int onHeadersComplete(llhttp_t* h) {
    of(h).complete = true;
    return HPE_PAUSED;
  }

  llhttp_t http;
  const int maxHeaders;
  std::string url, field, host, origin;
  Field current = Field::Other;
  int headers = 0, hosts = 0, origins = 0;
  bool tooManyHeaders = false;
  bool complete = false;
};

RequestReader::RequestReader(const Policy& policy)
    : policy_(policy), parser_(std::make_unique<Parser>(policy.limits.headerCount)) {}

RequestReader::~RequestReader() = default;

Decision RequestReader::feed(const char* data, std::size_t size) {
  if (decision_.status != 0) return decision_;
  const std::size_t limit = policy_.limits.headerBytes;
  const std::size_t take = std::min(size, limit - consumed_);
  consumed_ += take;
  const llhttp_errno_t err = llhttp_execute(&parser_->http, data, take);
  if (parser_->complete) {
    decide();
  } else if (parser_->tooManyHeaders || (err == HPE_OK && consumed_ == limit)) {
    decision_.status = 431;
  } else if (err != HPE_OK) {
    decision_.status = 400;
  }
  return decision_;
}

void RequestReader::decide() {
  const Parser& p = *parser_;
  if (p.hosts > 1 || p.url.empty() || p.url.front() != '/') {
    decision_.status = 400;
    return;
  }
  // Only the names a browser on this machine uses for the address we listen on; a page of
  // another site that got its name to point here (DNS rebinding) sends its own name.
  const bool hostOk = p.hosts == 1 && namesUs(trimmed(p.host), "", policy_.port);
  const bool originOk = p.origins == 0 || (p.origins == 1 && namesUs(trimmed(p.origin), "http://", policy_.port));
  const std::size_t q = p.url.find('?');
  const std::string_view path = std::string_view(p.url).substr(0, q);
  const std::string_view query = q == std::string::npos ? std::string_view() : std::string_view(p.url).substr(q + 1);
  const bool tokenOk = queryHasToken(query, policy_.token);
  const bool hasBody = (p.http.flags & (F_CHUNKED | F_TRANSFER_ENCODING)) ||
                       ((p.http.flags & F_CONTENT_LENGTH) && p.http.content_length > 0);

  if (!hostOk || !originOk || !tokenOk) {
    decision_.status = 403;
  } else if (p.http.method != HTTP_GET) {
    decision_.status = 405;
  } else if (hasBody) {
    decision_.status = 413;
  } else if (path == "/") {
    decision_ = {200, Route::Page};
  } else if (path == "/events") {
    decision_ = {200, Route::Events, queryHas(query, "counters=1")};
  } else if (path == "/skin") {
    decision_ = {200, Route::Skin};
  } else {
    decision_.status = 404;
  }
}

// ---- Connection ------------------------------------------------------------------------

Connection::Connection(Server& server, Clock::time_point now, SocketId socket)
    : server_(server), request_(server.policy()), deadline_(now + server.policy().limits.requestTime),
      socket_(socket) {}

// Within a turn (or after the direct path ended): its socket is closed only after this.
Connection::~Connection() {
  if (counters_) g_hub.countedStreams.fetch_sub(1);
  auto& streams = server_.streams_;
  streams.erase(std::remove(streams.begin(), streams.end(), this), streams.end());
}

void Connection::receive(const char* data, std::size_t size) {
  if (state_ != State::Reading) return;
  if (request_.feed(data, size).status != 0) server_.respond(*this);
}

void Connection::inputEnded() {
  inputEnded_ = true;
  if (state_ == State::Reading || state_ == State::Streaming) state_ = State::Done;
}

void Connection::broken() { state_ = State::Done; }

void Connection::expire(Clock::time_point now) {
  if (state_ == State::Reading && now >= deadline_) state_ = State::Done;
}

void Connection::push(const Published& published) {
  const std::string& messages = counters_ ? published.counted : published.plain;
  if (state_ != State::Streaming || messages.empty()) return;
  // What is still here was refused by the socket since the last messages came: a page that
  // keeps up has none, whatever a burst brings. Too far behind, its page reconnects and
  // starts again from the state as it stands.
  if (unsent().size() > server_.policy().limits.backlogBytes) {
    state_ = State::Done;
    out_.clear();
    sent_ = 0;
    return;
  }
  out_ += messages;
}

void Connection::sent(std::size_t size) {
  sent_ += std::min(size, out_.size() - sent_);
  if (sent_ == out_.size()) {
    out_.clear();
    sent_ = 0;
  } else if (sent_ >= 64 * 1024) {
    out_.erase(0, sent_);
    sent_ = 0;
  }
}

void Connection::flush() {
  while (!unsent().empty()) {
    const std::string_view out = unsent();
    const long n = sendNow(socket_, out.data(), out.size());
    if (n <= 0) {
      if (n < 0) broken();
      return;
    }
    sent(static_cast<std::size_t>(n));
  }
}

int Connection::msLeft(Clock::time_point now) const {
  if (state_ != State::Reading) return -1;
  if (now >= deadline_) return 0;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - now).count();
  return static_cast<int>(std::min<decltype(left)>(left, 1 << 30));
}

void receive(Connection& c) {
  char buffer[16 * 1024];
  for (std::size_t total = 0; total < 4 * sizeof buffer && c.wantsInput();) {
    const long n = receiveNow(c.socket(), buffer, sizeof buffer);
    if (n > 0) {
      c.receive(buffer, static_cast<std::size_t>(n));
      total += static_cast<std::size_t>(n);
    } else if (n == 0) {
      c.inputEnded();
    } else {
      if (n == kBroken) c.broken();
      return;
    }
  }
}

void settle(Connections& clients, Clock::time_point now, void (*close)(SocketId)) {
  for (std::size_t i = 0; i < clients.size();) {
    Connection& c = *clients[i];
    c.expire(now);
    c.flush();
    if (c.finished()) {
      const SocketId socket = c.socket();
      clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
      close(socket);
    } else {
      ++i;
    }
  }
}

// ---- Server ----------------------------------------------------------------------------

Server::Server(Policy policy) : policy_(std::move(policy)) {
  // Whatever was queued while no server ran is in the state taken here.
  g_hub.head.store(g_hub.tail.load());
  g_hub.dropped.store(false);
  g_hub.wakePending.store(false);
  lit_ = g_hub.lit.load();
  direct_ = true;  // no stream yet, nothing queued
  SharedLock lock;
  layout_ = g_hub.layout;
}

void Server::setRunning(Server* server) { g_hub.running = server; }

void Server::endDirect() {
  lockDirect();
  ended_ = true;
  direct_ = false;
  unlockDirect();
}

Server::Turn::Turn(Server& server) : server_(server) {
  lockDirect();
  for (Connection* c : server_.streams_) {
    if (c->handedBroken_) c->broken();
    c->out_.append(c->handed_, c->handedSize_);
    c->handedBroken_ = false;
    c->handedSize_ = 0;
  }
}

Server::Turn::~Turn() {
  bool all = !server_.ended_;
  for (Connection* c : server_.streams_) {
    c->direct_ = c->state_ == Connection::State::Streaming && c->unsent().empty();
    all = all && c->direct_;
  }
  server_.direct_ = all;
  unlockDirect();
}

// On the window's thread, under the direct lock: only while the server's thread sleeps with
// every stream caught up and nothing queued (a queued layout or lit goes first), and
// without waiting for any socket. What a socket does not take goes back to the server's
// thread, and so does every later message until that stream has caught up.
bool Server::sendDirect(std::uint64_t entry, const StreamCounts* counts) {
  if (!direct_ || g_hub.head.load() != g_hub.tail.load(std::memory_order_relaxed) || g_hub.dropped.load()) {
    return false;
  }
  const bool changed = (entry & kStateBits) != (lit_ & kStateBits);
  lit_ = entry;
  if (!changed && !counts) return true;
  char plain[kLitMessageMax], counted[kLitMessageMax];
  const std::size_t plainSize = changed ? formatLit(entry, nullptr, plain) : 0;
  const std::size_t countedSize = counts ? formatLit(entry, counts, counted) : 0;
  bool handedBack = false;
  for (Connection* c : streams_) {
    const bool withCounts = c->counters_ && counts;
    const char* m = withCounts ? counted : plain;
    const std::size_t size = withCounts ? countedSize : plainSize;
    if (!size) continue;
    std::size_t done = 0;
    long n = 0;
    while (done < size && (n = sendNow(c->socket_, m + done, size - done)) > 0) done += static_cast<std::size_t>(n);
    if (done == size) continue;
    c->direct_ = false;
    direct_ = false;
    c->handedBroken_ = n < 0;
    if (n >= 0) {
      std::memcpy(c->handed_, m + done, size - done);
      c->handedSize_ = size - done;
    }
    handedBack = true;
  }
  if (handedBack) wakeServer();
  return true;
}

Published Server::takePublished() {
  Published out;
  g_hub.wakePending.store(false);
  std::uint32_t h = g_hub.head.load(std::memory_order_relaxed);
  const std::uint32_t t = g_hub.tail.load();
  for (; h != t; ++h) {
    const std::uint64_t entry = g_hub.queue[h % kQueueSize].load(std::memory_order_relaxed);
    if (entry & kLayoutMark) {
      takeLayout(out);
    } else {
      takeLit(entry, out);
    }
  }
  g_hub.head.store(h);
  if (g_hub.dropped.exchange(false)) {
    takeLayout(out);
    // Counts that a dropped entry carried go out with the newest state.
    const std::uint64_t newest = g_hub.lit.load();
    if (isNewer(numberOf(newest), numberOf(lit_))) {
      takeLit(newest | kWithCounts, out);
    } else {
      const StreamCounts counts = loadCounts();
      out.counted += litMessage(lit_, &counts);
    }
  }
  return out;
}

void Server::takeLayout(Published& out) {
  std::shared_ptr<const StreamLayout> newest;
  {
    SharedLock lock;
    newest = g_hub.layout;
  }
  if (!newest || newest == layout_) return;
  const bool changed = !layout_ || newest->version != layout_->version;
  layout_ = std::move(newest);
  if (changed) {
    out.plain += layoutMessage(layout_.get());
    out.counted += layoutMessage(layout_.get());
  }
}

// An entry older than the state already sent came through the queue after the newest
// state was taken directly; the same state twice is no change.
// Pages with the counters get every entry that carries them, the lit state the same or not.
void Server::takeLit(std::uint64_t entry, Published& out) {
  if (!isNewer(numberOf(entry), numberOf(lit_))) return;
  const bool changed = (entry & kStateBits) != (lit_ & kStateBits);
  lit_ = entry;
  if (changed) out.plain += litMessage(entry, nullptr);
  if (entry & kWithCounts) {
    const StreamCounts counts = loadCounts();
    out.counted += litMessage(entry, &counts);
  } else if (changed) {
    out.counted += litMessage(entry, nullptr);
  }
}

void Server::respond(Connection& c) {
  const Decision d = c.request_.decision();
  std::string& out = c.out_;
  c.state_ = Connection::State::Responding;
  if (d.status != 200) {
    const std::size_t none = 0;
    out = head(d.status, "", &none) + "\r\n";
    return;
  }
  switch (d.route) {
    case Route::Page: {
      std::shared_ptr<const std::string> page;
      {
        SharedLock lock;
        page = g_hub.page;
      }
      const std::size_t size = page ? page->size() : 0;
      out = head(200, "text/html; charset=utf-8", &size);
      out += kPagePolicy;
      out += "\r\n";
      if (page) out += *page;
      break;
    }
    case Route::Skin: {
      const std::size_t size = layout_ ? layout_->skinRgba.size() : 0;
      out = head(200, "application/octet-stream", &size);
      out += "X-Skin-Version: " + std::to_string(layout_ ? layout_->version : 0) + "\r\n\r\n";
      if (layout_) out += layout_->skinRgba;
      break;
    }
    case Route::Events:
      out = head(200, "text/event-stream", nullptr);
      out += "\r\nretry: 500\n\n";
      out += layoutMessage(layout_.get());
      c.counters_ = d.counters;
      if (c.counters_) {
        g_hub.countedStreams.fetch_add(1);  // before the counters are read (storeCounts)
        const StreamCounts counts = loadCounts();
        out += litMessage(lit_, &counts);
      } else {
        out += litMessage(lit_, nullptr);
      }
      c.state_ = Connection::State::Streaming;
      // From here on it gets every lit state after lit_: queued ones from this thread,
      // direct ones once a turn has found it caught up.
      streams_.push_back(&c);
      break;
    case Route::None:
      break;
  }
}

}  // namespace plat::stream

namespace plat {

StreamStart startStreamServer(int port, const std::string& token) {
  return startStreamServer(port, token, stream::Limits{});
}

StreamStart startStreamServer(int port, const std::string& token, const stream::Limits& limits) {
  stopStreamServer();
  if (port < 1 || port > 65535 || !stream::validToken(token) || limits.connections < 1) {
    return StreamStart::Failed;
  }
  return stream::serve(stream::Policy{token, port, limits});
}

void publishStreamLayout(StreamLayout layout) {
  auto fresh = std::make_shared<const StreamLayout>(std::move(layout));
  {
    stream::SharedLock lock;
    stream::g_hub.layout.swap(fresh);
  }
  stream::enqueue(stream::kLayoutMark);
}

void publishStreamLit(std::uint32_t litSlots, bool keysHidden, const StreamCounts* counts) {
  stream::Hub& hub = stream::g_hub;
  const std::uint64_t state = litSlots | (keysHidden ? stream::kHidden : 0);
  if (counts) {
    stream::storeCounts(*counts);
    // Nobody shows them: kept for the first page that will, and nothing to say for them.
    if (hub.countedStreams.load() == 0) {
      if ((hub.lit.load() & stream::kStateBits) == state) return;
      counts = nullptr;
    }
  }
  hub.number = (hub.number + 1) & stream::kNumberMask;
  const std::uint64_t entry = state | (counts ? stream::kWithCounts : 0) |
                              (static_cast<std::uint64_t>(hub.number) << stream::kNumberShift);
  hub.lit.store(entry);
  if (hub.running && stream::tryLockDirect()) {
    const bool sent = hub.running->sendDirect(entry, counts);
    stream::unlockDirect();
    if (sent) return;
  }
  stream::enqueue(entry);
}

void setStreamPage(std::string html) {
  auto fresh = std::make_shared<const std::string>(std::move(html));
  stream::SharedLock lock;
  stream::g_hub.page.swap(fresh);
}

}  // namespace plat
