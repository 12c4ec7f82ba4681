#pragma once
// The stream page: a small web server on 127.0.0.1 that shows the key grid to a browser
// source (OBS) and pushes each change to it as it happens (Server-Sent Events).
//
// The core owns what is shown: it sets the page and publishes the layout and the lit keys;
// the server only hands out what was published, to clients that present the token. Nothing
// a client sends changes anything in the program.
//
// Every call below belongs to one thread, the window's. None of them waits for the network
// or for the server's own thread: publishing stores the newest state and wakes that thread,
// which does the sending, except that a lit state goes out from the window's thread itself
// when every page has all before it and the socket takes it at once. The state is kept
// while the server is off, and a server started later hands out what was published last.
//
// Routes, each only for a GET whose query carries token=<the token>, whose Host is exactly
// 127.0.0.1:PORT or localhost:PORT and whose Origin, if any, is http://127.0.0.1:PORT or
// http://localhost:PORT (a web page elsewhere, or a name that merely resolves to this
// machine, gets nothing):
//   /         the page set by setStreamPage, text/html; charset=utf-8. The page is one file
//             with its script and style inline: its Content-Security-Policy allows inline
//             script and style ('unsafe-inline', since the core writes the page whole and
//             nothing a client sends ever enters it), connections to the page's own origin
//             and nothing else (no other script, style, frame, form or embedding).
//   /events   text/event-stream. First "retry: 500" (a page reconnects within half a second
//             once the program runs again), then the state as it stands:
//                 event: layout
//                 data: {"version":<version>,"layout":<json>}
//                 event: lit
//                 data: {"lit":<litSlots>,"hidden":0|1}
//             then one layout event per changed layout and one lit event per change of the
//             lit state, in the order they were published. A client too far behind is
//             closed (its page reconnects and starts from the state as it stands); a
//             layout published twice with one version, or the same lit state twice, goes
//             out once. <json> is the layout's json as given, null when none was
//             published; line breaks in it become separate data lines, as the format wants.
//             With counters=1 in the query the page also shows the counters: its first lit
//             event, and each one published with counts (even when the lit state is the
//             same), carry them as published last:
//                 data: {"lit":<litSlots>,"hidden":0|1,"counts":[<perSlot>...],"kps":<kps>,"peak":<peak>}
//             A page without it never gets counts, nor a lit event for counts alone.
//   /skin     application/octet-stream: the skinRgba of the newest layout; its version in
//             the X-Skin-Version header. The page asks for it when a layout event brings
//             a new version (the query may carry v=<version> to keep caches apart).
// Any other path: 404. A refusal carries nothing of the program: 403 for a missing or wrong
// token, Host or Origin; 400 for what is not HTTP; 405 for any method but GET; 413 for a
// request with a body; 431 for a request over the bounds (8 KiB up to the end of its
// headers, 32 headers). Each connection serves one request and is closed after the
// response, except an event stream, which stays open. A client that has not sent its whole
// request within 5 seconds is closed; past 16 connections at once a new one is closed at
// once.

#include <cstdint>
#include <string>

namespace plat {

struct StreamLayout {
  std::string json;          // the layout event's body, made by the core (opaque to the server)
  std::string skinRgba;      // the skin picture, 4 bytes a pixel R, G, B, A, row by row (opaque)
  std::uint32_t version = 0; // changes whenever json or skinRgba change
};

enum class StreamStart {
  Listening,  // the server runs
  PortTaken,  // another program listens on the port (or the system keeps it)
  Failed,     // anything else: a port outside 1..65535, a token that is not 32 lowercase
              // hexadecimal digits, no sockets
};

// Listens on 127.0.0.1:port, never on another address, and returns at once. The token is
// the one every request must carry. Starting a running server again restarts it (and a
// start that fails leaves it off).
StreamStart startStreamServer(int port, const std::string& token);
// Closes every connection and the listening socket; returns once the server's thread has
// ended. Does nothing when the server is off.
void stopStreamServer();

// A new layout for every page (profile, grid or skin changed). Rare; may allocate.
void publishStreamLayout(StreamLayout layout);
// What a page with counters=1 shows beside the keys: the presses of each slot's key (slot
// i at perSlot[i], the first `slots` of them), keys per second and its peak.
struct StreamCounts {
  static constexpr int kMaxSlots = 32;  // as many as litSlots has bits
  std::uint32_t perSlot[kMaxSlots];
  int slots = 0;
  std::uint32_t kps = 0;
  std::uint32_t peak = 0;
};

// The lit slots (bit i: slot i) and whether the keys are hidden, and with `counts` the
// counters as they stand now. Called on every key event: only tries a lock, never waits
// for one, and allocates nothing. The counts are kept for every page that connects later,
// and go out only while a page that shows them is connected.
void publishStreamLit(std::uint32_t litSlots, bool keysHidden, const StreamCounts* counts = nullptr);
// The page served at /. The core owns its content.
void setStreamPage(std::string html);

}  // namespace plat
