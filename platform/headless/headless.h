#pragma once
// The headless backend: a real backend without a screen. Windows keep their geometry,
// frame, topmost and enabled flags; surfaces hold pixels; message boxes and pop-up
// menus take their answers from scripts that the tests set up and record what they
// showed; the keyboard hook can be fed key events. Tests drive the program through the
// same entry points the Windows message loop uses.

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/system.h"
#include "platform/ui.h"

namespace plat::headless {

// Puts the backend back to its starting state: no scripts, no records, default metrics.
void reset();

// The program folder, a real folder on this machine.
void setProgramFolder(const std::string& localPath);
// Turns a program path ("C:\x\y" style with '\') into a local one.
std::string localPath(const std::string& path);

struct ShownBox {
  std::string text;
  std::string title;
  MsgButtons buttons;
  MsgIcon icon;
};
// Answers given to the next message boxes, in order. With none queued a box answers No
// (or OK), as a user who closes it would.
void queueAnswer(MsgAnswer a);
// Called for each box instead of the queue when set; lets a test act while the box is up.
void setBoxHandler(std::function<MsgAnswer(const ShownBox&)> handler);
const std::vector<ShownBox>& shownBoxes();

struct ShownMenu {
  std::string name;
  std::vector<MenuItem> items;
};
// The item chosen from the next pop-up menu, by its position among the menu's items with
// the items of each submenu counted right after the submenu's own; -1 dismisses it.
void queueMenuChoice(int position);
const std::vector<ShownMenu>& shownMenus();
// What the program last put on the clipboard.
const std::string& clipboardText();

ScreenMetrics& metrics();
// The DPI of the monitor every window is on; 0 (the default) means metrics().dpi.
void setMonitorDpi(int dpi);
void setAnotherInstance(bool running);

// The keyboard hook: keys reach the hooked window only while the hook is installed.
bool hookInstalled();
Window* hookedWindow();
int hookInstallCount();
// As if keyhook.dll were missing from the program folder: SetHook then installs nothing.
void setHookLibraryMissing(bool missing);
// A key or mouse button going down or up; a mouse button reaches the window only while
// it watches the mouse buttons, as keyhook.dll delivers them.
void pressKey(int vk);
void releaseKey(int vk);
bool mouseButtonsWatched();
// How often the program switched the mouse buttons on or off.
int mouseWatchChanges();
// The key's real state changes without any event reaching the program: a key-up lost
// on the secure desktop, a key pressed while the hook was off.
void setKeyHeld(int vk, bool held);

// The clock clockMicros() reads. It stands still until a test moves it on; moving it on
// raises every window timer that runs out on the way, in the order they run out.
long long now();
void advanceClock(long long micros);
// The moment the window's pending timer runs out; -1 when it has none.
long long timerDue(const Window& w);

// The window of another program in the foreground; 0 (the default) for none. Windows
// named by closeForeignWindow no longer exist and never come back to the foreground.
void setForeground(ForeignWindow w);
void closeForeignWindow(ForeignWindow w);
int foregroundRestoreCount();

int dragCount();
int doEventsCount();
int frameChangedCount();
int topmostRequestCount();

// Every state change the widgets handed to the backend, in order, since reset().
struct Mirrored {
  const Widget* widget;
  Change what;
};
const std::vector<Mirrored>& mirrored();

// What plat::trace noted, in order, since reset() or clearTrace().
const std::vector<std::string>& traceLines();
void clearTrace();
const std::vector<std::string>& openedAddresses();
bool messageLoopQuit();

// terminateProcess throws this, so tests can see the program end without ending themselves.
struct Terminated : std::runtime_error {
  int code;
  explicit Terminated(int c) : std::runtime_error("terminated"), code(c) {}
};

}  // namespace plat::headless
