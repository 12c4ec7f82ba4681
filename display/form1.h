#pragma once
// The display window: the key grid that lights keys while they are held.
//
// The display knows nothing of the data files or the options dialog. What it needs from
// the program around it (the end sequence, the options dialog) it asks for through the
// window's close request, its End menu item and `showOptions`, which start-up connects.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "display/counters.h"
#include "state/module1.h"
#include "platform/ui.h"

namespace lumatap {

// What an empty grid cell shows, and what a skin's transparent pixels are laid over, unless
// the settings choose another colour: a dark neutral grey that sits quietly beside both
// light and black key caps over a game.
constexpr plat::Color kGridBackground = plat::rgb(64, 64, 64);

// How long a tap stays drawn pressed at least, in milliseconds. Viewers see the window
// through a capture at 60 frames a second at most: a frame every 16.7 ms, taken from a
// desktop that is itself composed every 16.7 ms on a clock of its own. A picture must last
// through one composed frame to be sure to reach the screen, and one capture interval more
// to be sure a capture instant falls on it: two frames, 33.3 ms, rounded up to the next
// millisecond. (At 30 frames a second the same sum is 16.7 + 33.3 = 50 ms, which a user
// who streams at 30 sets in lumatap.ini.) The timer that ends the hold can only be late,
// never early, so every tap stands at least this long.
constexpr int kDefaultMinLitMs = 34;

class Form1 : public plat::Window {
public:
  Form1();

  plat::Picture PicView;  // the visible grid, covering the client area
  plat::Surface PicKeys;  // the skin image at skinScale, never shown
  int skinScale = 1;      // screen pixels per skin pixel in PicKeys

  // Screen pixels per skin pixel: every skin pixel is drawn as a gridScale × gridScale
  // square, so the keys stay sharp at any display scale (see gridScaleForDpi).
  int gridScale = 1;
  // The side of one grid cell on screen.
  int cellPixels() const { return CellSize * gridScale; }

  // Slots drawn pressed now, one bit per slot.
  unsigned litSlots = 0;
  // The grid shows a mouse button, and the hook library was asked to deliver the buttons.
  bool mouseWatched = false;

  // Display settings, read at start-up (see ReadDisplaySettings).
  int minLitMs = kDefaultMinLitMs;
  plat::Color gridBackground = kGridBackground;
  bool seeThrough = false;
  // Each cell shows how often its key was pressed.
  bool showCounters = false;
  // When each slot's key last went down, on plat::clockMicros().
  long long pressedAt[kSlotsPerProfile] = {};
  // Slots whose key is up again but that stay drawn pressed until minLitMs has passed
  // since the press. The window's one timer runs out at the earliest of their ends and,
  // while the counters are watched, of the moment the oldest press leaves KPS.
  unsigned holdingSlots = 0;
  // When the pending timer runs out, on plat::clockMicros(); -1 with none pending. A press
  // that leaves the moment unchanged does not start the timer again.
  long long timerDueAt = -1;

  // Presses per key since the start or the last reset, KPS and its peak.
  KeyCounters counters;
  // The count of each slot's key in the current profile; 0 for slots it does not show.
  std::array<std::uint32_t, kSlotsPerProfile> counts() const;
  // Presses of the profile's keys within the last second, as of now.
  int kps() const;
  int peak() const { return counters.peak(); }
  // The program in the foreground runs with higher rights: its keys cannot be seen, and
  // the grid says so. `keysHiddenSeen` stays set for the rest of the run.
  bool keysHidden = false;
  bool keysHiddenSeen = false;
  bool keysHiddenExplained = false;
  plat::Menu mnu;         // the pop-up menu
  plat::MenuItem& mnuTitleBer() { return mnu.items[0]; }
  plat::MenuItem& mnuOption() { return mnu.items[1]; }
  // The stream page's submenu: use it (checked while served), copy its address, make a
  // new address. Start-up connects the items.
  plat::MenuItem& mnuStream() { return mnu.items[2]; }
  plat::MenuItem& mnuResetCounters() { return mnu.items[3]; }
  plat::MenuItem& mnuEnd() { return mnu.items[5]; }

  // The built-in profile table, written to setting.dat when that file is absent.
  static const char* const TxtSetting;

  // Left and Top in twips as the settings placed the window, valid while it stays there.
  struct { long left = 0, top = 0; int atLeft = 0, atTop = 0; bool set = false; } placedTwips;

  // The skin whose picture PicKeys holds (a fallback to the default skin keeps the name),
  // and the file that picture was decoded from.
  std::string loadedSkin;
  std::string skinFile;

  // The stream page is being served: every change of the grid goes out to it as well.
  bool streamPage = false;
  // What the page was last told of the layout; the skin's pixels go again only when the
  // skin file changes.
  struct {
    std::string json;
    std::string skinFile;
    std::string skinRgba;
    int skinWidth = 0, skinHeight = 0;
    std::uint32_t version = 0, skinVersion = 0;
  } streamLayout;

  // Loads and shows the options dialog without waiting for it; set by start-up.
  std::function<void()> showOptions;

  // The grid the last drag of the sizing frame snapped the window to, and the window size
  // that snap gave: the size notification that follows at that size keeps this grid.
  struct { int width = 0, height = 0; int16 cols = 0, rows = 0; bool set = false; } sizingGrid;

  // Grid and keys.
  void Form_Resize();
  // The user drags the sizing frame: the rectangle is snapped to the grid the reflow
  // gives for it, the edge opposite the dragged one staying where it is.
  void Form_Sizing(plat::SizingEdge edge, int& left, int& top, int& right, int& bottom);
  void Form_KeyDown(int keyCode, int shift);
  void Form_KeyUp(int keyCode, int shift);
  // The minimum lit time of a held slot has passed.
  void Form_Timer();

  // Frame, placement, mouse and menu.
  // The one place the frame changes: switches the caption and sizing frame of `frm` off
  // (or, with frameless false, on again) and sets Frameless to match.
  void sTitleReleace(plat::Window& frm, bool frameless = true);
  void mnuTitleBer_Click();
  void mnuOption_Click();
  // Counts and peak back to 0.
  void mnuResetCounters_Click();
  void Form_MouseDown(int button, int shift, int x, int y);
  void Form_MouseUp(int button, int shift, int x, int y);
  void PicView_DblClick();
  // The window reached a monitor with another display scale (dpi, 96 at 100 %); the
  // system suggests a new top-left corner.
  void Form_DpiChanged(int dpi, int left, int top);
  // Another window came to the foreground; see plat::Window::ForegroundChanged.
  void Form_ForegroundChanged(bool keysHidden);
};

// The grid's scale for a monitor: the whole number nearest to dpi / 96, a half rounding
// down, and at least 1. So 100 % to 150 % draw the skin as it is, 175 % to 250 % at
// twice its size, 275 % to 350 % three times.
int gridScaleForDpi(int dpi);

// Takes the grid scale and the frame allowances for a monitor of that dpi. The skin
// picture is not rescaled here (LoadSkin and Form_DpiChanged do that).
void applyMonitorScale(Form1& form, int dpi);

// The display window's outer size for the grid CurCols × CurRows, with or without frame.
void gridWindowSize(const Form1& form, bool frameless, int& width, int& height);
// The grid (columns, rows) the reflow gives for the display window at this outer size.
struct GridShape {
  int16 cols = 0, rows = 0;
};
GridShape reflowGrid(const Form1& form, int windowWidth, int windowHeight);
// Gives the rectangle being sized this width and height by moving the dragged edges only.
void resizeFromEdge(plat::SizingEdge edge, int& left, int& top, int& right, int& bottom, int width,
                    int height);
// The skin cell that shows a key; a code outside the table has no definition either and
// shows cell 0.
int cellOf(int16 code);
// How many slots of the current profile the grid shows: its key count, kept within the 12
// slots a profile has (only a damaged setting.dat holds more, or fewer than none).
int shownKeyCount();

// True when the skin name names a folder right inside "skin": not empty, no path
// separator or colon, not "." or "..".
bool isSkinFolderName(const std::string& name);

// Module procedures of the display window.
void LoadSkin(Form1& form);
// PicKeys at the window's gridScale. Scaling up loses nothing, so the picture at one
// scale gives it at any other and the decoded image need not be kept beside it.
void scaleSkinToGrid(Form1& form);
void LayoutGrid(Form1& form, int16 cols, int16 rows);
// Draws every slot of the current profile afresh: released, as after a layout, or as its
// key is really held now (AsHeldNow), for when a key-up may have been lost (the session was
// locked, the secure desktop shown, the hook given back after the options dialog); that
// costs a dozen key-state queries at most. Nothing while the layout is busy.
enum class KeysDrawn { Released, AsHeldNow };
void DrawAllKeys(Form1& form, KeysDrawn keys = KeysDrawn::Released);
int SetTopmost(plat::Window& frm, int16 mode);
// Hands the grid to the screen, and to the stream page while it is served, with the
// counters when they moved.
void presentGrid(Form1& form, bool countersMoved = false);
// Tells the stream page the grid's layout (columns, rows, each slot's skin cell) and, when
// the skin file changed, the skin's pixels; nothing when the page is not served or
// nothing changed. `force` sends it even then, as to a page just turned on. True when it
// told the page.
bool publishStreamLayout(Form1& form, bool force = false);
// The page is served from now on: it gets the layout, the lit state and the counters as
// they stand, and every change after.
void streamPageOpened(Form1& form);
// The counts, KPS or peak moved: a reset, and KPS falling as a press leaves the second,
// go to the stream page (a counted press goes with its lit state, presentGrid).
void countersChanged(Form1& form);
// Someone looks at KPS, so the timer keeps it current as presses leave the second.
bool countersWatched(const Form1& form);
// Lays out and draws the grid of the current profile, as start-up and the options dialog
// do once they have chosen it.
void applyCurrentProfile(Form1& form);

}  // namespace lumatap
