#pragma once
// Portable widgets. They hold the state of every window and control and apply the rules
// of input and events, so every backend behaves alike: a backend mirrors the state onto
// native controls (through the hooks in backend.h) and reports what the user did by
// calling the user*() entry points below, exactly as the headless tests do.
//
// Rules that live here and nowhere else:
// - A control takes input only while it, every container around it and its window are
//   enabled and visible.
// - Setting a list's selection by code raises its Click when the selection changes.
// - Changing a window's size raises its Resize synchronously, whoever changed it.
// - A picture's Click is a left press and a release inside it; a button has no
//   double-click, so a quick second click on it is another press.
// - Typing into a text box that takes no input is undone. An edit that would pass the
//   box's limit keeps as much of what it put in as fits, in whole characters, as a
//   native edit box with a limit cuts a paste.
// - Tab moves the focus through the controls that take input, by ascending tab index.
// - When the focused control stops taking input (it, or a container around it, is
//   disabled or hidden), the focus moves on to the next control of the focus order that
//   takes input, so the keyboard never goes dead.
// - A control lying wholly under a visible frame stacked above it (declared later, as a
//   panel that covers a list) takes no focus while it is covered.
// - A message box returns Yes, No or OK; a box without a title shows the application
//   title.

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/surface.h"

namespace plat {

class Window;

namespace backend {
// A widget's native counterpart: each backend defines it, and how it is freed.
struct Peer;
struct PeerDeleter {
  void operator()(Peer* p) const;
};
using PeerPtr = std::unique_ptr<Peer, PeerDeleter>;
}  // namespace backend

enum class MouseButtons : int { Left = 1, Right = 2, Middle = 4 };

enum class Change {
  Geometry, Caption, Enabled, Visible, Colors, Font, Look, Items, Selection, Focus, Picture,
  Style, Border, Created
};

class Widget {
public:
  enum class Kind { Window, Frame, Label, Button, TextBox, ListBox, ComboBox, Picture };

  Widget(Kind kind, Widget* parent, std::string name);
  Widget(const Widget&) = delete;
  Widget& operator=(const Widget&) = delete;
  virtual ~Widget();

  Kind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  Widget* parent() const { return parent_; }
  Window* window();
  const Window* window() const;
  const std::vector<Widget*>& children() const { return children_; }
  // Every widget inside this one, in declaration order: containers before what they
  // contain, earlier siblings before later ones.
  std::vector<Widget*> descendants() const;

  // Geometry in pixels. Controls: relative to their window's client area (not to the frame
  // that contains them). Windows: the outer rectangle on the screen.
  int left() const { return left_; }
  int top() const { return top_; }
  int width() const { return width_; }
  int height() const { return height_; }
  void move(int left, int top, int width, int height);
  void setLeft(int v) { move(v, top_, width_, height_); }
  void setTop(int v) { move(left_, v, width_, height_); }
  void setWidth(int v) { move(left_, top_, v, height_); }
  void setHeight(int v) { move(left_, top_, width_, v); }

  // Caption of a window, frame, label or button; the text of a text box.
  const std::string& caption() const { return caption_; }
  void setCaption(const std::string& text);

  bool enabled() const { return enabled_; }
  void setEnabled(bool on);
  bool visible() const { return visible_; }
  void setVisible(bool on);

  Color backColor() const { return backColor_; }
  void setBackColor(Color c);
  Color foreColor() const { return foreColor_; }
  void setForeColor(Color c);

  bool bold() const { return bold_; }
  void setBold(bool on);
  bool underline() const { return underline_; }
  void setUnderline(bool on);

  // Place in the focus order. Read whenever the focus moves, so nothing needs mirroring.
  bool tabStop() const { return tabStop_; }  // takes part in the focus order
  void setTabStop(bool on) { tabStop_ = on; }
  int tabIndex() const { return tabIndex_; }  // position in the focus order, ascending
  void setTabIndex(int index) { tabIndex_ = index; }

  // Enabled and visible, and so is every container up to and including the window.
  bool acceptsInput() const;
  // Wholly under a shown frame that is stacked above it and does not contain it.
  bool covered() const;
  // Can have the focus: takes input and is not covered.
  bool takesFocus() const { return acceptsInput() && !covered(); }

  void setFocus();
  bool hasFocus() const;

  // Events.
  std::function<void()> Click;
  std::function<void()> DblClick;
  std::function<void(int button, int shift, int x, int y)> MouseDown;
  std::function<void(int button, int shift, int x, int y)> MouseUp;
  std::function<void(int keyCode, int shift)> KeyDown;
  std::function<void(int keyCode, int shift)> KeyUp;

  // What the user did, reported by a backend or a test. Ignored unless acceptsInput().
  void userClick();
  void userDblClick();
  virtual void userMouseDown(int button, int shift, int x, int y);
  virtual void userMouseUp(int button, int shift, int x, int y);
  // The second press of a left double-click. Most widgets raise DblClick; one that has no
  // double-click takes it as another press.
  void userDoubleClick(int shift, int x, int y);
  bool doubleClickIsPress() const { return kind_ == Kind::Button; }
  void userKeyDown(int keyCode, int shift);
  void userKeyUp(int keyCode, int shift);
  // A key the system keeps for the window's menu: Alt or F10, or a key pressed with Alt
  // held. A control that handles its keys (it has a KeyDown) takes it as any other key and
  // the system does nothing more with it, so no menu opens; Alt+F4 stays the system's way
  // of closing the window. The user*() calls return whether the control took the key.
  bool takesSystemKey(int keyCode, int shift) const;
  bool userSystemKeyDown(int keyCode, int shift);
  bool userSystemKeyUp(int keyCode, int shift);
  void userFocus();

  // The backend's native counterpart; null while there is none.
  backend::Peer* peer() const { return peer_.get(); }
  void setPeer(backend::PeerPtr p) { peer_ = std::move(p); }

protected:
  void changed(Change what);
  // Expires with the widget: an event handler may destroy the widget that raised it.
  std::weak_ptr<const void> lifetime() const { return life_; }

private:
  friend class Window;
  Kind kind_;
  Widget* parent_;
  std::string name_;
  std::vector<Widget*> children_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::string caption_;
  bool enabled_ = true;
  bool visible_ = true;
  Color backColor_ = kButtonFace;
  Color foreColor_ = 0x80000012;  // button text
  bool bold_ = false;
  bool underline_ = false;
  bool tabStop_ = false;
  int tabIndex_ = 0;
  backend::PeerPtr peer_;
  std::shared_ptr<const void> life_ = std::make_shared<char>();
};

class Frame : public Widget {
public:
  Frame(Widget* parent, std::string name) : Widget(Kind::Frame, parent, std::move(name)) {}
  // A frame without a caption or border is a plain panel.
  bool showBorder() const { return showBorder_; }
  void setShowBorder(bool on);

private:
  bool showBorder_ = true;
};

class Label : public Widget {
public:
  Label(Widget* parent, std::string name) : Widget(Kind::Label, parent, std::move(name)) {
    setBackColor(kButtonFace);
  }
};

class Button : public Widget {
public:
  Button(Widget* parent, std::string name) : Widget(Kind::Button, parent, std::move(name)) {
    setTabStop(true);
  }
  // A button drawn in its background colour (a colour mark) rather than the system look.
  bool colored() const { return colored_; }
  void setColored(bool on);
  // A picture shown instead of the caption; empty for none.
  const Surface& picture() const { return picture_; }
  void setPicture(Surface s);

private:
  bool colored_ = false;
  Surface picture_;
};

class TextBox : public Widget {
public:
  TextBox(Widget* parent, std::string name) : Widget(Kind::TextBox, parent, std::move(name)) {
    setTabStop(true);
    setBackColor(kWindowBackground);
  }
  const std::string& text() const { return caption(); }
  void setText(const std::string& t) {
    caret_ = t.size();
    setCaption(t);
  }
  // The user edited: the backend reports the text as the native box now holds it and the
  // caret in it (a byte offset; npos for the end). Raises no event of its own. A box that
  // takes no input keeps its text. One whose limit the edit would pass keeps the longest
  // start of what the edit put in that fits, cut between whole characters, with the caret
  // after it; what the edit removed stays removed. Whenever the text kept is not what the
  // native box holds, a Caption change tells the backend to put it, and the caret, back.
  void userSetText(const std::string& t, std::size_t caret = std::string::npos);
  // Where the caret stands in text(), a byte offset: where the user's last edit left it,
  // or the end of a text the program set.
  std::size_t caret() const { return std::min(caret_, text().size()); }
  // The most the user can type, counted in bytes of code page 932 as the program's files
  // hold the text; 0 for no limit. Text set by the program is not limited.
  int maxBytes() const { return maxBytes_; }
  void setMaxBytes(int n) { maxBytes_ = n; }

private:
  int maxBytes_ = 0;
  std::size_t caret_ = 0;
};

// A list box or a drop-down list that only lets the user pick an entry.
class ListWidget : public Widget {
public:
  ListWidget(Kind kind, Widget* parent, std::string name);

  int listCount() const { return static_cast<int>(items_.size()); }
  const std::string& item(int i) const { return items_.at(static_cast<std::size_t>(i)); }
  const std::vector<std::string>& items() const { return items_; }
  void addItem(const std::string& text);
  void removeItem(int index);
  void clear();  // also drops the selection, without a Click

  int listIndex() const { return listIndex_; }
  // Selecting by code raises Click when the selection changes (-1 selects nothing).
  void setListIndex(int index);
  // The selected entry's text, empty when nothing is selected.
  std::string text() const;

  void userSelect(int index);

private:
  std::vector<std::string> items_;
  int listIndex_ = -1;
};

class ListBox : public ListWidget {
public:
  ListBox(Widget* parent, std::string name) : ListWidget(Kind::ListBox, parent, std::move(name)) {}
};

class ComboBox : public ListWidget {
public:
  ComboBox(Widget* parent, std::string name) : ListWidget(Kind::ComboBox, parent, std::move(name)) {}
};

// A picture surface shown on screen: draw into surface(), then present().
class Picture : public Widget {
public:
  Picture(Widget* parent, std::string name) : Widget(Kind::Picture, parent, std::move(name)) {}
  Surface& surface() { return surface_; }
  const Surface& surface() const { return surface_; }
  // Shows what the surface holds now. Counted, so tests can check one present per event.
  void present();
  long presentCount() const { return presentCount_; }

  // A left press it took, then the left release inside it, is a Click (after MouseUp).
  void userMouseDown(int button, int shift, int x, int y) override;
  void userMouseUp(int button, int shift, int x, int y) override;

private:
  Surface surface_;
  long presentCount_ = 0;
  bool leftPressed_ = false;
};

struct MenuItem {
  std::string caption;      // "-" makes a separator
  bool checked = false;
  bool enabled = true;
  int index = 0;            // passed to Click; lets one handler serve an array of items
  std::function<void(int index)> Click;
  // A submenu: the item opens these instead of being chosen itself.
  std::vector<MenuItem> items;
  bool separator() const { return caption == "-"; }
};

struct Menu {
  std::string name;
  std::vector<MenuItem> items;
};

// The edge or corner of a window's sizing frame that the user drags.
enum class SizingEdge { Left, Right, Top, TopLeft, TopRight, Bottom, BottomLeft, BottomRight };

// How a window is edged. The nominal value the window records; the backend also picks
// the window's decorations from it when it creates the window.
enum class BorderStyle { None, FixedDialog, FixedToolWindow, SizableToolWindow };

class Window : public Widget {
public:
  explicit Window(std::string name, std::string className);
  ~Window() override;

  const std::string& className() const { return className_; }

  // Outer size minus the frame and caption, from the frame and the screen metrics.
  int clientWidth() const;
  int clientHeight() const;

  BorderStyle borderStyle() const { return borderStyle_; }
  // Before the window is created this also picks its frame; afterwards the frame follows
  // the new border style when setFramed(true) next puts it on.
  void setBorderStyle(BorderStyle b);
  // Framed: a caption with a system menu, and a sizing edge if the border style has one
  // (SizableToolWindow). Unframed: nothing around the client area.
  bool framed() const { return framed_; }
  // Switches caption and sizing edge off or on and has the system recompute the frame;
  // position, size and z-order stay.
  void setFramed(bool on);
  // Framed with a sizing edge.
  bool sizable() const { return framed_ && sizingEdge_; }

  bool topmost() const { return topmost_; }
  // Into or out of the band of windows above all others, keeping position and size. Asked
  // again, the window comes to the top of its band again.
  void setTopmost(bool on);
  // Starts moving the window with the mouse, as if its caption had been grabbed where the
  // left button went down; the move ends when the button is released.
  void beginDragMove();

  // Never the active window: a click, a drag or its pop-up menu leave the foreground
  // window, and with it the keyboard, where they were. Chosen before load().
  bool noActivate() const { return noActivate_; }
  void setNoActivate(bool on) { noActivate_ = on; }

  bool loaded() const { return loaded_; }
  // Creates the native window (hidden). Idempotent.
  void load();
  void show();
  void hide();
  void center();  // on the screen

  // Dots per inch of the monitor the window is on (96 at 100 % display scale).
  int monitorDpi() const;

  // A colour of the client area that is see-through on the screen: what lies behind the
  // window shows there, and the mouse goes through it to that window. Off by default.
  bool colorKeyed() const { return colorKeyed_; }
  Color colorKey() const { return colorKey_; }
  void setColorKey(bool on, Color key);

  // A one-shot timer: Timer is raised once, `ms` milliseconds from now (at the earliest),
  // and the timer is gone. Starting it again replaces the pending one; a window has at most
  // one. No timer exists while none is pending, so an idle window wakes for nothing.
  void startTimer(int ms);
  void stopTimer();
  bool timerPending() const { return timerPending_; }
  std::function<void()> Timer;
  // Reported by a backend when the pending timer has run out.
  void userTimer();
  // True: the window and its controls are laid out in pixels at 96 dpi, and the backend
  // scales them, fonts included, to the monitor (positions on the screen stay in screen
  // pixels). False: every size is in screen pixels as given. Chosen before load().
  bool dpiScaled() const { return dpiScaled_; }
  void setDpiScaled(bool on) { dpiScaled_ = on; }

  // A close request from anyone: QueryUnload may cancel it; otherwise the window unloads.
  // Safe to call again from inside QueryUnload or Unload.
  void requestClose();
  // The focused control; null when none has the focus.
  Widget* focused() const { return focused_; }
  // The control Tab (or Shift+Tab when `backward`) moves the focus to from `from`: the
  // next control that takes part in the focus order (tabStop) and can have it, by
  // ascending tabIndex (declaration order among equals), wrapping around. From outside
  // the order, the first (or last). Null when no control can take the focus.
  Widget* nextInFocusOrder(const Widget* from, bool backward) const;
  // Gives the focus to the first control of the focus order, as a window does when it
  // opens.
  void focusFirst();
  // The focused control can no longer have the focus: it goes to the control after it
  // in the focus order, or to none (the window itself) when no control can take it.
  void focusOnFromLost();
  // The button that Esc clicks.
  Button* cancelButton = nullptr;

  std::function<void(bool& cancel)> QueryUnload;
  std::function<void()> Unload;
  std::function<void()> Resize;
  // The user is dragging the sizing frame `edge`: the outer rectangle it would give, in
  // screen pixels, which the handler may change before anything is shown at that size.
  std::function<void(SizingEdge edge, int& left, int& top, int& right, int& bottom)> Sizing;
  // The window reached a monitor with another display scale; the system suggests a new
  // top-left corner. Not raised for a dpiScaled window, which the backend rescales.
  std::function<void(int dpi, int left, int top)> DpiChanged;
  // A key-up may have gone to someone else: the session was locked, the secure desktop
  // (Ctrl+Alt+Del, a UAC prompt) was shown, the computer slept. Raised for the window the
  // keyboard hook delivers to.
  std::function<void()> KeysMayBeStale;
  // Another window came to the foreground. `keysHidden`: it belongs to a program running
  // with higher rights, whose keys this program is not allowed to see.
  std::function<void(bool keysHidden)> ForegroundChanged;

  // Reported by a backend.
  void userDpiChanged(int dpi, int left, int top);
  void userKeysMayBeStale() {
    if (KeysMayBeStale) KeysMayBeStale();
  }
  void userForegroundChanged(bool keysHidden) {
    if (ForegroundChanged) ForegroundChanged(keysHidden);
  }
  void userMoved(int left, int top);             // the user dragged the window
  void userResized(int width, int height);       // the user dragged the sizing frame
  void userSizing(SizingEdge edge, int& left, int& top, int& right, int& bottom) {
    if (Sizing) Sizing(edge, left, top, right, bottom);
  }
  void userCloseBox() { requestClose(); }
  void userEscape();                             // Esc pressed inside the window
  // Tab or Shift+Tab pressed inside the window: the focus moves on in the focus order.
  // Returns the control that has the focus now, null when none can take it.
  Widget* userTab(bool backward);
  // Key events delivered to the window itself (by the keyboard hook or with the focus).
  void deliverKeyDown(int keyCode, int shift);
  void deliverKeyUp(int keyCode, int shift);

private:
  friend class Widget;
  void applyBounds(int left, int top, int width, int height);  // raises Resize on a size change
  // The controls of the focus order (tabStop, can have the focus), by ascending tabIndex
  // (declaration order among equals); `keep` is in it at its place whatever it can do.
  std::vector<Widget*> focusOrder(const Widget* keep = nullptr) const;

  std::string className_;
  BorderStyle borderStyle_ = BorderStyle::SizableToolWindow;
  bool framed_ = true;
  // The edge a framed window has, from the border style when the frame was last chosen.
  bool sizingEdge_ = true;
  bool topmost_ = false;
  bool dpiScaled_ = false;
  bool noActivate_ = false;
  bool loaded_ = false;
  bool closing_ = false;
  bool colorKeyed_ = false;
  Color colorKey_ = 0;
  bool timerPending_ = false;
  Widget* focused_ = nullptr;
};

// ---- Dialogs and the message loop --------------------------------------------------
enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Critical, Question, Exclamation };
enum class MsgAnswer { Ok, Yes, No };

// The program's name, as message boxes without a title of their own show it. Set by the
// program before its first box; empty until then.
void setApplicationTitle(const std::string& title);
const std::string& applicationTitle();

// Modal. An empty title shows the application title.
MsgAnswer messageBox(const std::string& text, const std::string& title, MsgButtons buttons,
                     MsgIcon icon);

// Shows the menu at the mouse position and raises the chosen item's Click.
void popupMenu(Window& owner, Menu& menu);

// Runs pending events, as the program does in the middle of the frame switch.
void doEvents();
// Runs until the last window has unloaded.
void runMessageLoop();
// Windows that are loaded, in order of loading.
std::vector<Window*> loadedWindows();

}  // namespace plat
