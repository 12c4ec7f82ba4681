#include <bitset>
#include <algorithm>

#include "platform/backend.h"
#include "platform/headless/headless.h"
#include "platform/hook.h"
#include "platform/trace.h"

namespace plat::headless {
namespace {
struct State {
  std::deque<MsgAnswer> answers;
  std::function<MsgAnswer(const ShownBox&)> boxHandler;
  std::vector<ShownBox> boxes;
  std::deque<int> menuChoices;
  std::string clipboard;
  std::vector<ShownMenu> menus;
  ScreenMetrics metrics;
  bool anotherInstance = false;
  Window* hooked = nullptr;
  int hookInstalls = 0;
  bool hookLibraryMissing = false;
  bool mouseWatched = false;
  int mouseWatchChanges = 0;
  int monitorDpi = 0;  // 0: the system's
  std::bitset<256> held;
  ForeignWindow foreground = 0;
  std::vector<ForeignWindow> closedWindows;
  int foregroundRestores = 0;
  int drags = 0;
  int doEvents = 0;
  int frameChanges = 0;
  int topmostRequests = 0;
  std::vector<Mirrored> mirrored;
  std::vector<std::string> trace;
  std::vector<std::string> addresses;
  bool quit = false;
  std::string folder = ".";
  long long clock = 1'000'000;
  struct PendingTimer {
    Window* window;
    long long due;
  };
  std::vector<PendingTimer> timers;
};

ScreenMetrics defaultMetrics() {
  ScreenMetrics m;
  m.twipsPerPixelX = 15.0;
  m.twipsPerPixelY = 15.0;
  m.captionHeight = 17;
  m.frameWidth = 4;
  m.frameHeight = 4;
  m.screenWidth = 1280;
  m.screenHeight = 800;
  return m;
}

State& st() {
  static State s = [] {
    State fresh;
    fresh.metrics = defaultMetrics();
    return fresh;
  }();
  return s;
}
}  // namespace

void reset() {
  std::string folder = st().folder;
  const long long clock = st().clock;
  st() = State();
  st().metrics = defaultMetrics();
  st().folder = folder;
  st().clock = clock;  // a steady clock never goes back
}

void setProgramFolder(const std::string& p) { st().folder = p; }

std::string localPath(const std::string& path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

void queueAnswer(MsgAnswer a) { st().answers.push_back(a); }
void setBoxHandler(std::function<MsgAnswer(const ShownBox&)> h) { st().boxHandler = std::move(h); }
const std::vector<ShownBox>& shownBoxes() { return st().boxes; }
void queueMenuChoice(int position) { st().menuChoices.push_back(position); }
const std::vector<ShownMenu>& shownMenus() { return st().menus; }
const std::string& clipboardText() { return st().clipboard; }
ScreenMetrics& metrics() { return st().metrics; }
void setAnotherInstance(bool running) { st().anotherInstance = running; }
bool hookInstalled() { return st().hooked != nullptr; }
Window* hookedWindow() { return st().hooked; }
int hookInstallCount() { return st().hookInstalls; }
void setHookLibraryMissing(bool missing) { st().hookLibraryMissing = missing; }
void setMonitorDpi(int dpi) { st().monitorDpi = dpi; }
void setForeground(ForeignWindow w) { st().foreground = w; }
void closeForeignWindow(ForeignWindow w) {
  st().closedWindows.push_back(w);
  if (st().foreground == w) st().foreground = 0;
}
int foregroundRestoreCount() { return st().foregroundRestores; }
namespace {
bool delivered(int vk) {
  const bool mouse = vk == 1 || vk == 2 || vk == 4 || vk == 5 || vk == 6;
  return st().hooked && (!mouse || st().mouseWatched);
}
}  // namespace
void pressKey(int vk) {
  st().held.set(static_cast<std::size_t>(vk & 0xFF));
  if (delivered(vk)) st().hooked->deliverKeyDown(vk, 0);
}
void releaseKey(int vk) {
  st().held.reset(static_cast<std::size_t>(vk & 0xFF));
  if (delivered(vk)) st().hooked->deliverKeyUp(vk, 0);
}
bool mouseButtonsWatched() { return st().mouseWatched; }
int mouseWatchChanges() { return st().mouseWatchChanges; }
void setKeyHeld(int vk, bool held) { st().held.set(static_cast<std::size_t>(vk & 0xFF), held); }
long long now() { return st().clock; }

void advanceClock(long long micros) {
  const long long target = st().clock + micros;
  for (;;) {
    auto& t = st().timers;
    auto first = std::min_element(t.begin(), t.end(), [](const auto& a, const auto& b) { return a.due < b.due; });
    if (first == t.end() || first->due > target) break;
    Window* w = first->window;
    st().clock = std::max(st().clock, first->due);
    t.erase(first);
    w->userTimer();
  }
  st().clock = target;
}

long long timerDue(const Window& w) {
  for (const auto& t : st().timers)
    if (t.window == &w) return t.due;
  return -1;
}

int dragCount() { return st().drags; }
int doEventsCount() { return st().doEvents; }
int frameChangedCount() { return st().frameChanges; }
int topmostRequestCount() { return st().topmostRequests; }
const std::vector<Mirrored>& mirrored() { return st().mirrored; }
const std::vector<std::string>& traceLines() { return st().trace; }
void clearTrace() { st().trace.clear(); }
const std::vector<std::string>& openedAddresses() { return st().addresses; }
bool messageLoopQuit() { return st().quit; }

}  // namespace plat::headless

namespace plat {

using namespace plat::headless;

std::string hookLibraryPath() { return st().folder + "\\keyhook.dll"; }
bool hookLibraryLoaded() { return !st().hookLibraryMissing; }
bool keyIsDown(int vk) { return vk >= 0 && vk < 256 && st().held.test(static_cast<std::size_t>(vk)); }

void SetHook(Window& w) {
  if (st().hookLibraryMissing) return;
  st().hooked = &w;
  ++st().hookInstalls;
}
void ResetHook() { st().hooked = nullptr; }
void WatchMouseButtons(bool on) {
  if (st().hookLibraryMissing) return;
  st().mouseWatched = on;
  ++st().mouseWatchChanges;
}

void trace(std::string_view what) { st().trace.emplace_back(what); }

ScreenMetrics screenMetrics(int dpi) {
  ScreenMetrics m = st().metrics;
  if (dpi > 0 && dpi != m.dpi) {
    m.captionHeight = m.captionHeight * dpi / m.dpi;
    m.frameWidth = m.frameWidth * dpi / m.dpi;
    m.frameHeight = m.frameHeight * dpi / m.dpi;
  }
  return m;
}
bool anotherInstanceRunning() { return st().anotherInstance; }
long long clockMicros() { return st().clock; }
void shellOpen(const std::string& address) { st().addresses.push_back(address); }
bool setClipboardText(const std::string& text) {
  st().clipboard = text;
  return true;
}
[[noreturn]] void terminateProcess(int code) { throw Terminated(code); }
std::string programFolder() { return st().folder; }

namespace backend {

int monitorDpi(const Window&) { return st().monitorDpi ? st().monitorDpi : st().metrics.dpi; }

// Nothing native to keep: the widgets' own state is all there is.
struct Peer {};
void PeerDeleter::operator()(Peer* p) const { delete p; }

void sync(Widget& w, Change what) { st().mirrored.push_back({&w, what}); }
void stopTimer(Window& w) {
  auto& t = st().timers;
  t.erase(std::remove_if(t.begin(), t.end(), [&](const auto& p) { return p.window == &w; }), t.end());
}
void startTimer(Window& w, int ms) {
  stopTimer(w);
  st().timers.push_back({&w, st().clock + 1000LL * ms});
}
void colorKeyChanged(Window& w) { st().mirrored.push_back({&w, Change::Look}); }

void destroy(Widget& w) {
  if (st().hooked == &w) st().hooked = nullptr;
  if (w.kind() == Widget::Kind::Window) stopTimer(static_cast<Window&>(w));
}
void present(Picture&) {}

void frameAllowance(const Window& w, int& extraWidth, int& extraHeight) {
  extraWidth = extraHeight = 0;
  if (w.sizable()) {
    extraWidth += 2 * st().metrics.frameWidth;
    extraHeight += 2 * st().metrics.frameHeight;
  }
  if (w.framed()) extraHeight += st().metrics.captionHeight;
}

void setTopmost(Window&, bool) { ++st().topmostRequests; }
void frameChanged(Window&) { ++st().frameChanges; }
void beginDragMove(Window&) { ++st().drags; }

MsgAnswer messageBox(Window*, const std::string& text, const std::string& title,
                     MsgButtons buttons, MsgIcon icon) {
  ShownBox box{text, title, buttons, icon};
  st().boxes.push_back(box);
  if (st().boxHandler) return st().boxHandler(box);
  if (!st().answers.empty()) {
    MsgAnswer a = st().answers.front();
    st().answers.pop_front();
    return a;
  }
  return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::No;
}

int popupMenu(Window&, const Menu& menu) {
  st().menus.push_back(ShownMenu{menu.name, menu.items});
  if (st().menuChoices.empty()) return -1;
  int c = st().menuChoices.front();
  st().menuChoices.pop_front();
  return c;
}

void doEvents() { ++st().doEvents; }
void runMessageLoop() {}
void quitMessageLoop() { st().quit = true; }

}  // namespace backend

ForeignWindow foregroundWindow() { return headless::st().foreground; }

void restoreForeground(ForeignWindow w) {
  const auto& closed = headless::st().closedWindows;
  if (w == 0 || std::find(closed.begin(), closed.end(), w) != closed.end()) return;
  headless::st().foreground = w;
  ++headless::st().foregroundRestores;
}

}  // namespace plat
