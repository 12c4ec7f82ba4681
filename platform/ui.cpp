#include "platform/ui.h"

#include <algorithm>

#include "platform/backend.h"
#include "platform/system.h"

namespace plat {

namespace {
std::vector<Window*>& loadedList() {
  static std::vector<Window*> list;
  return list;
}

std::string& titleOfApplication() {
  static std::string title;
  return title;
}

void collectDescendants(const Widget& w, std::vector<Widget*>& out) {
  for (Widget* c : w.children()) {
    out.push_back(c);
    collectDescendants(*c, out);
  }
}
}  // namespace

std::vector<Window*> loadedWindows() { return loadedList(); }

// ---- Widget ------------------------------------------------------------------------

Widget::Widget(Kind kind, Widget* parent, std::string name)
    : kind_(kind), parent_(parent), name_(std::move(name)) {
  if (parent_) parent_->children_.push_back(this);
}

Widget::~Widget() {
  backend::destroy(*this);
  if (parent_) {
    auto& c = parent_->children_;
    c.erase(std::remove(c.begin(), c.end(), this), c.end());
  }
  for (Widget* child : children_) child->parent_ = nullptr;
  // A window's own Window part is gone by now; only a control can be a window's focus.
  if (kind_ != Kind::Window) {
    if (Window* w = window(); w && w->focused_ == this) w->focused_ = nullptr;
  }
}

Window* Widget::window() {
  Widget* w = this;
  while (w->parent_) w = w->parent_;
  return w->kind_ == Kind::Window ? static_cast<Window*>(w) : nullptr;
}

const Window* Widget::window() const { return const_cast<Widget*>(this)->window(); }

std::vector<Widget*> Widget::descendants() const {
  std::vector<Widget*> out;
  collectDescendants(*this, out);
  return out;
}

void Widget::changed(Change what) { backend::sync(*this, what); }

void Widget::move(int left, int top, int width, int height) {
  if (kind_ == Kind::Window) {
    static_cast<Window*>(this)->applyBounds(left, top, width, height);
    return;
  }
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  changed(Change::Geometry);
  if (Window* w = window()) w->focusOnFromLost();  // it may have moved under a panel
}

void Widget::setCaption(const std::string& text) {
  if (text == caption_) return;
  caption_ = text;
  changed(Change::Caption);
}

void Widget::setEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  changed(Change::Enabled);
  if (kind_ != Kind::Window) {
    if (Window* w = window()) w->focusOnFromLost();
  }
}

void Widget::setVisible(bool on) {
  if (on == visible_) return;
  visible_ = on;
  changed(Change::Visible);
  if (kind_ != Kind::Window) {
    if (Window* w = window()) w->focusOnFromLost();
  }
}

void Widget::setBackColor(Color c) {
  if (c == backColor_) return;
  backColor_ = c;
  changed(Change::Colors);
}

void Widget::setForeColor(Color c) {
  if (c == foreColor_) return;
  foreColor_ = c;
  changed(Change::Colors);
}

void Widget::setBold(bool on) {
  if (on == bold_) return;
  bold_ = on;
  changed(Change::Font);
}

void Widget::setUnderline(bool on) {
  if (on == underline_) return;
  underline_ = on;
  changed(Change::Font);
}

bool Widget::acceptsInput() const {
  for (const Widget* w = this; w; w = w->parent_) {
    if (!w->enabled_ || !w->visible_) return false;
  }
  return true;
}

bool Widget::covered() const {
  const Window* w = window();
  if (!w || w == this) return false;
  const auto shown = [](const Widget* x) {
    for (; x; x = x->parent_) {
      if (!x->visible_ && x->kind_ != Kind::Window) return false;
    }
    return true;
  };
  const auto within = [](const Widget* x, const Widget* outer) {
    for (; x; x = x->parent_) {
      if (x == outer) return true;
    }
    return false;
  };
  // Later in declaration order lies higher; a frame around this one or inside it is no cover.
  std::vector<Widget*> all = w->descendants();
  auto it = std::find(all.begin(), all.end(), this);
  if (it == all.end()) return false;
  for (++it; it != all.end(); ++it) {
    const Widget* f = *it;
    if (f->kind_ != Kind::Frame || within(this, f) || within(f, this) || !shown(f)) continue;
    if (f->left_ <= left_ && f->top_ <= top_ && f->left_ + f->width_ >= left_ + width_ &&
        f->top_ + f->height_ >= top_ + height_) {
      return true;
    }
  }
  return false;
}

void Widget::setFocus() {
  Window* w = window();
  if (!w || w == this || !takesFocus()) return;
  if (w->focused_ == this) return;
  w->focused_ = this;
  changed(Change::Focus);
}

bool Widget::hasFocus() const {
  const Widget* top = this;
  while (top->parent_) top = top->parent_;
  return top->kind_ == Kind::Window && static_cast<const Window*>(top)->focused_ == this;
}

void Widget::userClick() {
  if (acceptsInput() && Click) Click();
}
void Widget::userDblClick() {
  if (acceptsInput() && DblClick) DblClick();
}
void Widget::userMouseDown(int button, int shift, int x, int y) {
  if (acceptsInput() && MouseDown) MouseDown(button, shift, x, y);
}
void Widget::userMouseUp(int button, int shift, int x, int y) {
  if (acceptsInput() && MouseUp) MouseUp(button, shift, x, y);
}
void Widget::userDoubleClick(int shift, int x, int y) {
  if (doubleClickIsPress()) {
    userMouseDown(static_cast<int>(MouseButtons::Left), shift, x, y);
  } else {
    userDblClick();
  }
}
void Widget::userKeyDown(int keyCode, int shift) {
  if (acceptsInput() && KeyDown) KeyDown(keyCode, shift);
}
void Widget::userKeyUp(int keyCode, int shift) {
  if (acceptsInput() && KeyUp) KeyUp(keyCode, shift);
}
bool Widget::takesSystemKey(int keyCode, int shift) const {
  constexpr int kF4 = 115, kAlt = 4;
  if (keyCode == kF4 && (shift & kAlt)) return false;
  return kind_ != Kind::Window && KeyDown && acceptsInput();
}
bool Widget::userSystemKeyDown(int keyCode, int shift) {
  if (!takesSystemKey(keyCode, shift)) return false;
  KeyDown(keyCode, shift);
  return true;
}
bool Widget::userSystemKeyUp(int keyCode, int shift) {
  if (!takesSystemKey(keyCode, shift)) return false;
  if (KeyUp) KeyUp(keyCode, shift);
  return true;
}
void Widget::userFocus() {
  Window* w = window();
  if (w && takesFocus()) w->focused_ = this;
}

void Frame::setShowBorder(bool on) {
  if (on == showBorder_) return;
  showBorder_ = on;
  changed(Change::Look);
}

void Button::setColored(bool on) {
  if (on == colored_) return;
  colored_ = on;
  changed(Change::Look);
}

void Button::setPicture(Surface s) {
  picture_.swap(s);
  changed(Change::Picture);
}

namespace {
bool continuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

int cp932Bytes(const std::string& utf8) { return static_cast<int>(toCp932(utf8).size()); }
}  // namespace

void TextBox::userSetText(const std::string& t, std::size_t caret) {
  if (!acceptsInput()) {
    if (t != text()) changed(Change::Caption);  // put the native control back in step
    return;
  }
  caret = std::min(caret, t.size());
  while (caret > 0 && caret < t.size() && continuationByte(t[caret])) --caret;
  std::string kept = t;
  if (maxBytes_ > 0 && cp932Bytes(t) > maxBytes_) {
    // An edit replaces a stretch of the old text; the caret ends after what it put in, so
    // the text from there on is the old text's end, and what the two share before it
    // is the old text's start. Both are bounded to whole characters.
    const std::string& old = text();
    std::size_t tail = 0;
    while (tail < old.size() && tail < t.size() - caret &&
           old[old.size() - 1 - tail] == t[t.size() - 1 - tail]) {
      ++tail;
    }
    std::size_t head = 0;
    while (head < old.size() - tail && head < caret && old[head] == t[head]) ++head;
    while (head > 0 && continuationByte(t[head])) --head;
    while (tail > 0 && continuationByte(t[t.size() - tail])) --tail;

    const std::string before = t.substr(0, head);
    const std::string after = t.substr(t.size() - tail);
    const std::string put = t.substr(head, t.size() - tail - head);
    int room = maxBytes_ - cp932Bytes(before + after);
    std::size_t fits = 0;
    while (fits < put.size()) {
      std::size_t next = fits + 1;
      while (next < put.size() && continuationByte(put[next])) ++next;
      room -= cp932Bytes(put.substr(fits, next - fits));
      if (room < 0) break;
      fits = next;
    }
    kept = before + put.substr(0, fits) + after;
    caret = head + fits;
  }
  caret_ = caret;
  if (kept != text()) {
    setCaption(kept);
  } else if (kept != t) {
    changed(Change::Caption);  // put the native control back in step
  }
}

// ---- Lists -------------------------------------------------------------------------

ListWidget::ListWidget(Kind kind, Widget* parent, std::string name)
    : Widget(kind, parent, std::move(name)) {
  setTabStop(true);
  setBackColor(kWindowBackground);
}

void ListWidget::addItem(const std::string& text) {
  items_.push_back(text);
  changed(Change::Items);
}

void ListWidget::removeItem(int index) {
  if (index < 0 || index >= listCount()) return;
  items_.erase(items_.begin() + index);
  if (listIndex_ == index) {
    listIndex_ = -1;
  } else if (listIndex_ > index) {
    --listIndex_;
  }
  changed(Change::Items);
  changed(Change::Selection);
}

void ListWidget::clear() {
  items_.clear();
  listIndex_ = -1;
  changed(Change::Items);
  changed(Change::Selection);
}

void ListWidget::setListIndex(int index) {
  if (index < -1 || index >= listCount()) return;
  if (index == listIndex_) return;
  listIndex_ = index;
  changed(Change::Selection);
  if (Click) Click();
}

std::string ListWidget::text() const {
  return listIndex_ >= 0 ? items_[static_cast<std::size_t>(listIndex_)] : std::string();
}

void ListWidget::userSelect(int index) {
  if (!acceptsInput()) {
    changed(Change::Selection);  // put the native control back in step
    return;
  }
  setListIndex(index);
}

// ---- Picture -----------------------------------------------------------------------

void Picture::present() {
  ++presentCount_;
  backend::present(*this);
}

void Picture::userMouseDown(int button, int shift, int x, int y) {
  if (button == static_cast<int>(MouseButtons::Left)) leftPressed_ = acceptsInput();
  Widget::userMouseDown(button, shift, x, y);
}

void Picture::userMouseUp(int button, int shift, int x, int y) {
  const bool left = button == static_cast<int>(MouseButtons::Left);
  const bool click = left && leftPressed_ && x >= 0 && y >= 0 && x < width() && y < height();
  if (left) leftPressed_ = false;
  std::weak_ptr<const void> alive = lifetime();
  Widget::userMouseUp(button, shift, x, y);
  if (click && !alive.expired()) userClick();
}

// ---- Window ------------------------------------------------------------------------

Window::Window(std::string name, std::string className)
    : Widget(Kind::Window, nullptr, std::move(name)), className_(std::move(className)) {
  visible_ = false;
}

Window::~Window() {
  auto& list = loadedList();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

int Window::clientWidth() const {
  int ew = 0, eh = 0;
  backend::frameAllowance(*this, ew, eh);
  return std::max(0, width() - ew);
}

int Window::clientHeight() const {
  int ew = 0, eh = 0;
  backend::frameAllowance(*this, ew, eh);
  return std::max(0, height() - eh);
}

void Window::setBorderStyle(BorderStyle b) {
  if (b == borderStyle_) return;
  borderStyle_ = b;
  if (!loaded_) sizingEdge_ = b == BorderStyle::SizableToolWindow;
  changed(Change::Border);
}

void Window::setFramed(bool on) {
  if (on == framed_) return;
  framed_ = on;
  if (on) sizingEdge_ = borderStyle_ == BorderStyle::SizableToolWindow;
  changed(Change::Style);
  backend::frameChanged(*this);
}

void Window::setTopmost(bool on) {
  topmost_ = on;
  backend::setTopmost(*this, on);
}

void Window::beginDragMove() { backend::beginDragMove(*this); }

void Window::setColorKey(bool on, Color key) {
  if (on == colorKeyed_ && (!on || key == colorKey_)) return;
  colorKeyed_ = on;
  colorKey_ = key;
  backend::colorKeyChanged(*this);
}

void Window::startTimer(int ms) {
  timerPending_ = true;
  backend::startTimer(*this, ms < 1 ? 1 : ms);
}

void Window::stopTimer() {
  if (!timerPending_) return;
  timerPending_ = false;
  backend::stopTimer(*this);
}

void Window::userTimer() {
  // One-shot: the backend's timer is gone before the handler may start the next one.
  if (!timerPending_) return;
  timerPending_ = false;
  backend::stopTimer(*this);
  if (Timer) Timer();
}

void Window::load() {
  if (loaded_) return;
  loaded_ = true;
  closing_ = false;
  loadedList().push_back(this);
  changed(Change::Created);
}

void Window::show() {
  load();
  setVisible(true);
}

void Window::hide() { setVisible(false); }

void Window::center() {
  ScreenMetrics m = screenMetrics();
  // Positions are screen pixels; the size of a scaled window is not.
  const int dpi = dpiScaled_ ? monitorDpi() : 96;
  const int onScreenWidth = width() * dpi / 96;
  const int onScreenHeight = height() * dpi / 96;
  applyBounds((m.screenWidth - onScreenWidth) / 2, (m.screenHeight - onScreenHeight) / 2, width(),
              height());
}

int Window::monitorDpi() const { return backend::monitorDpi(*this); }

void Window::userDpiChanged(int dpi, int left, int top) {
  if (DpiChanged) DpiChanged(dpi, left, top);
}

std::vector<Widget*> Window::focusOrder(const Widget* keep) const {
  std::vector<Widget*> order;
  for (Widget* c : descendants()) {
    if (c == keep || (c->tabStop() && c->takesFocus())) order.push_back(c);
  }
  std::stable_sort(order.begin(), order.end(),
                   [](const Widget* a, const Widget* b) { return a->tabIndex() < b->tabIndex(); });
  return order;
}

Widget* Window::nextInFocusOrder(const Widget* from, bool backward) const {
  const std::vector<Widget*> order = focusOrder();
  if (order.empty()) return nullptr;
  auto at = std::find(order.begin(), order.end(), from);
  if (at == order.end()) return backward ? order.back() : order.front();
  std::size_t i = static_cast<std::size_t>(at - order.begin());
  std::size_t n = order.size();
  return order[backward ? (i + n - 1) % n : (i + 1) % n];
}

void Window::focusOnFromLost() {
  Widget* from = focused_;
  if (!from || from->takesFocus()) return;
  // The lost control keeps its place in the order, so the search starts right after it.
  const std::vector<Widget*> order = focusOrder(from);
  const std::size_t at = static_cast<std::size_t>(std::find(order.begin(), order.end(), from) - order.begin());
  focused_ = nullptr;
  if (order.size() > 1) {
    order[(at + 1) % order.size()]->setFocus();
  } else {
    changed(Change::Focus);  // the window itself keeps the keyboard
  }
}

void Window::focusFirst() {
  if (Widget* first = nextInFocusOrder(nullptr, false)) first->setFocus();
}

void Window::requestClose() {
  if (!loaded_ || closing_) return;
  bool cancel = false;
  if (QueryUnload) QueryUnload(cancel);
  // QueryUnload may itself have closed this window (the end sequence does).
  if (cancel || !loaded_ || closing_) return;
  closing_ = true;
  if (Unload) Unload();
  loaded_ = false;
  visible_ = false;
  focused_ = nullptr;
  auto& list = loadedList();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  backend::destroy(*this);
  for (Widget* c : children()) backend::destroy(*c);
  if (list.empty()) backend::quitMessageLoop();
}

void Window::userMoved(int left, int top) {
  left_ = left;
  top_ = top;
}

void Window::userResized(int width, int height) {
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  if (Resize) Resize();
}

void Window::userEscape() {
  if (cancelButton) cancelButton->userClick();
}

Widget* Window::userTab(bool backward) {
  if (!acceptsInput()) return nullptr;
  Widget* next = nextInFocusOrder(focused_, backward);
  if (next) next->setFocus();
  return next;
}

void Window::deliverKeyDown(int keyCode, int shift) {
  if (KeyDown) KeyDown(keyCode, shift);
}

void Window::deliverKeyUp(int keyCode, int shift) {
  if (KeyUp) KeyUp(keyCode, shift);
}

void Window::applyBounds(int left, int top, int width, int height) {
  bool resized = width != width_ || height != height_;
  bool moved = left != left_ || top != top_;
  if (!resized && !moved) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  changed(Change::Geometry);
  if (resized && Resize) Resize();
}

// ---- Dialogs and loop --------------------------------------------------------------

void setApplicationTitle(const std::string& title) { titleOfApplication() = title; }
const std::string& applicationTitle() { return titleOfApplication(); }

MsgAnswer messageBox(const std::string& text, const std::string& title, MsgButtons buttons,
                     MsgIcon icon) {
  Window* owner = nullptr;
  for (Window* w : loadedList()) {
    if (w->visible() && w->enabled()) owner = w;
  }
  MsgAnswer a = backend::messageBox(owner, text, title.empty() ? applicationTitle() : title, buttons, icon);
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  return a == MsgAnswer::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

namespace {
// The item at a position counted as the backends count them: each item in order, and the
// items of a submenu right after the submenu's own.
MenuItem* menuItemAt(std::vector<MenuItem>& items, int& position) {
  for (MenuItem& item : items) {
    if (position-- == 0) return &item;
    if (MenuItem* inner = menuItemAt(item.items, position)) return inner;
  }
  return nullptr;
}
}  // namespace

void popupMenu(Window& owner, Menu& menu) {
  int chosen = backend::popupMenu(owner, menu);
  if (chosen < 0) return;
  MenuItem* item = menuItemAt(menu.items, chosen);
  if (!item || item->separator() || !item->enabled || !item->items.empty()) return;
  if (item->Click) item->Click(item->index);
}

void doEvents() { backend::doEvents(); }
void runMessageLoop() { backend::runMessageLoop(); }

}  // namespace plat
