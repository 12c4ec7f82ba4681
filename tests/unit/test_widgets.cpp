// The rules of the portable widgets, which every backend follows: what a press, a release,
// a double-click, typing and Tab mean, how a window's frame switches, and that every piece
// of state a backend shows reaches it as a change.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/trace.h"
#include "platform/ui.h"

namespace plat {
namespace {

constexpr int kLeft = 1, kRight = 2;

class WidgetTest : public ::testing::Test {
protected:
  void SetUp() override {
    headless::reset();
    window.move(100, 100, 300, 200);
    window.show();
  }

  // How many changes of that kind the backend was handed for w.
  static int changesOf(const Widget& w, Change what) {
    int n = 0;
    for (const headless::Mirrored& m : headless::mirrored()) n += m.widget == &w && m.what == what;
    return n;
  }

  Window window{"w", "LumatapTest"};
};

// ---- Pictures --------------------------------------------------------------------

TEST_F(WidgetTest, APictureIsClickedByALeftPressAndAReleaseInsideIt) {
  struct Step {
    char what;  // d: press, u: release, 2: double-click, e/E: disable/enable the picture
    int button, x, y;
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;
    const char* events;  // D MouseDown, U MouseUp, C Click, 2 DblClick
  } cases[] = {
      {"press and release inside", {{'d', kLeft, 5, 5}, {'u', kLeft, 6, 7}}, "DUC"},
      {"release on the far corner pixel", {{'d', kLeft, 0, 0}, {'u', kLeft, 39, 29}}, "DUC"},
      {"release just right of it", {{'d', kLeft, 5, 5}, {'u', kLeft, 40, 5}}, "DU"},
      {"release just below it", {{'d', kLeft, 5, 5}, {'u', kLeft, 5, 30}}, "DU"},
      {"release left of it", {{'d', kLeft, 5, 5}, {'u', kLeft, -1, 5}}, "DU"},
      {"release without a press", {{'u', kLeft, 5, 5}}, "U"},
      {"a second release", {{'d', kLeft, 5, 5}, {'u', kLeft, 5, 5}, {'u', kLeft, 5, 5}}, "DUCU"},
      {"right button", {{'d', kRight, 5, 5}, {'u', kRight, 5, 5}}, "DU"},
      {"right press, left release", {{'d', kRight, 5, 5}, {'u', kLeft, 5, 5}}, "DU"},
      {"left press, right release between",
       {{'d', kLeft, 5, 5}, {'u', kRight, 5, 5}, {'u', kLeft, 5, 5}}, "DUUC"},
      {"double-click: the second release is no click",
       {{'d', kLeft, 5, 5}, {'u', kLeft, 5, 5}, {'2', kLeft, 5, 5}, {'u', kLeft, 5, 5}}, "DUC2U"},
      {"a press while disabled", {{'e', 0, 0, 0}, {'d', kLeft, 5, 5}, {'E', 0, 0, 0}, {'u', kLeft, 5, 5}},
       "U"},
      {"disabled before the release", {{'d', kLeft, 5, 5}, {'e', 0, 0, 0}, {'u', kLeft, 5, 5}}, "D"},
  };
  for (const Case& c : cases) {
    Picture pic(&window, "pic");
    pic.move(10, 10, 40, 30);
    std::string events;
    pic.MouseDown = [&](int, int, int, int) { events += 'D'; };
    pic.MouseUp = [&](int, int, int, int) { events += 'U'; };
    pic.Click = [&] { events += 'C'; };
    pic.DblClick = [&] { events += '2'; };
    for (const Step& s : c.steps) {
      switch (s.what) {
        case 'd': pic.userMouseDown(s.button, 0, s.x, s.y); break;
        case 'u': pic.userMouseUp(s.button, 0, s.x, s.y); break;
        case '2': pic.userDoubleClick(0, s.x, s.y); break;
        case 'e': pic.setEnabled(false); break;
        case 'E': pic.setEnabled(true); break;
      }
    }
    EXPECT_EQ(events, c.events) << c.what;
  }
}

TEST_F(WidgetTest, APictureGoneInItsMouseUpRaisesNoClick) {
  auto pic = std::make_unique<Picture>(&window, "pic");
  pic->move(0, 0, 40, 30);
  int clicks = 0;
  pic->MouseUp = [&](int, int, int, int) { pic.reset(); };
  pic->Click = [&] { ++clicks; };
  Picture* raw = pic.get();
  raw->userMouseDown(kLeft, 0, 5, 5);
  raw->userMouseUp(kLeft, 0, 5, 5);
  EXPECT_EQ(pic, nullptr);
  EXPECT_EQ(clicks, 0);
}

// ---- Double-clicks ---------------------------------------------------------------

TEST_F(WidgetTest, AQuickSecondClickOnAButtonIsAnotherPressElsewhereADoubleClick) {
  Frame frame(&window, "frame");
  Button button(&frame, "button");
  Label label(&frame, "label");
  TextBox box(&frame, "box");
  Picture pic(&frame, "pic");
  struct Case {
    Widget* w;
    bool frameEnabled;
    const char* events;
  } cases[] = {
      {&button, true, "D1"}, {&label, true, "2"}, {&box, true, "2"}, {&pic, true, "2"},
      {&button, false, ""},  {&label, false, ""}, {&pic, false, ""},
  };
  for (const Case& c : cases) {
    frame.setEnabled(c.frameEnabled);
    std::string events;
    c.w->MouseDown = [&](int b, int, int x, int y) {
      events += 'D' + std::to_string(b);
      EXPECT_EQ(x, 7);
      EXPECT_EQ(y, 8);
    };
    c.w->DblClick = [&] { events += '2'; };
    c.w->userDoubleClick(0, 7, 8);
    EXPECT_EQ(events, c.events) << c.w->name() << (c.frameEnabled ? "" : " in a disabled frame");
  }
}

// ---- Typing ------------------------------------------------------------------------

TEST_F(WidgetTest, TypingIntoABoxThatTakesNoInputIsUndone) {
  struct Case {
    const char* what;
    bool boxEnabled, frameEnabled, boxVisible;
    const char* typed;
    const char* textAfter;
    int captionChanges;  // each one has the backend show the box's text again
  } cases[] = {
      {"an enabled box takes it", true, true, true, "abc", "abc", 1},
      {"a disabled box keeps its text", false, true, true, "abc", "old", 1},
      {"a box in a disabled frame", true, false, true, "abc", "old", 1},
      {"a hidden box", true, true, false, "abc", "old", 1},
      {"what it already shows", false, true, true, "old", "old", 0},
  };
  for (const Case& c : cases) {
    headless::reset();
    Frame frame(&window, "frame");
    TextBox box(&frame, "box");
    box.setText("old");
    box.setEnabled(c.boxEnabled);
    frame.setEnabled(c.frameEnabled);
    box.setVisible(c.boxVisible);
    const int before = changesOf(box, Change::Caption);
    box.userSetText(c.typed);
    EXPECT_EQ(box.text(), c.textAfter) << c.what;
    EXPECT_EQ(changesOf(box, Change::Caption) - before, c.captionChanges) << c.what;
  }
}

// ---- Focus order -------------------------------------------------------------------

TEST_F(WidgetTest, TypingPastABoxsLimitInCodePage932BytesIsUndone) {
  TextBox box(&window, "box");
  box.setMaxBytes(6);
  const struct { const char* typed; const char* textAfter; } cases[] = {
      {"abcdef", "abcdef"},   // six bytes fit
      {"abcdefg", "abcdef"},  // seven do not
      {"あいう", "あいう"},     // a kana takes two bytes: six
      {"あいうa", "あいう"},
      {"ｱｲｳｴｵｶ", "ｱｲｳｴｵｶ"},  // half-width kana take one each
      {"", ""},
  };
  for (const auto& c : cases) {
    box.userSetText(c.typed);
    EXPECT_EQ(box.text(), c.textAfter) << c.typed;
  }
  box.setText("the program sets what it likes");
  EXPECT_EQ(box.text(), "the program sets what it likes");
  box.userSetText("the program sets what it likes, and more");
  EXPECT_EQ(box.text(), "the program sets what it likes") << "typing on it is still refused";
}

TEST_F(WidgetTest, AnEditPastABoxsLimitKeepsWhatFitsOfWhatItPutInAndTheCaretAfterIt) {
  TextBox box(&window, "box");
  box.setMaxBytes(6);
  const struct {
    const char* what;
    const char* before;
    const char* edited;  // as the native box holds it after the edit
    std::size_t caret;   // its caret then, a byte offset into edited
    const char* kept;
    std::size_t caretKept;
  } cases[] = {
      {"ASCII pasted into an empty box", "", "abcdefgh", 8, "abcdef", 6},
      {"double-byte characters", "", "あいうえ", 12, "あいう", 9},
      {"a character straddling the limit", "a", "aあいう", 10, "aあい", 7},
      {"pasted into the middle", "abcd", "abXYZcd", 5, "abXYcd", 4},
      {"pasted over a selection", "abcdef", "ab漢字ef", 8, "ab漢ef", 5},
      {"typed into a full box", "abcdef", "abcXdef", 4, "abcdef", 3},
      {"deleting from a longer text the program set", "abcdefgh", "abcdefg", 7, "abcdefg", 7},
  };
  for (const auto& c : cases) {
    box.setText(c.before);
    const int before = changesOf(box, Change::Caption);
    box.userSetText(c.edited, c.caret);
    EXPECT_EQ(box.text(), c.kept) << c.what;
    EXPECT_EQ(box.caret(), c.caretKept) << c.what;
    EXPECT_GT(changesOf(box, Change::Caption), before) << c.what << ": the backend shows what is kept";
  }
}

TEST_F(WidgetTest, TabFollowsTabIndexAndSkipsWhatTakesNoInput) {
  Frame editor(&window, "editor");
  Button inEditor(&editor, "inEditor");
  Button ok(&window, "ok");
  Button cancel(&window, "cancel");
  Button hidden(&window, "hidden");
  Button disabled(&window, "disabled");
  TextBox title(&window, "title");
  Label label(&window, "label");  // never a tab stop
  inEditor.setTabIndex(0);
  ok.setTabIndex(1);
  cancel.setTabIndex(2);
  hidden.setTabIndex(3);
  disabled.setTabIndex(4);
  title.setTabIndex(5);  // declared before ok in no particular order: the index decides
  label.setTabIndex(-1);
  hidden.setVisible(false);
  disabled.setEnabled(false);
  editor.setEnabled(false);

  struct Case {
    const Widget* from;
    bool backward;
    const Widget* next;
  } cases[] = {
      {nullptr, false, &ok},   {&ok, false, &cancel}, {&cancel, false, &title},
      {&title, false, &ok},  // wraps around
      {&ok, true, &title},     {nullptr, true, &title}, {&label, false, &ok},
      {&hidden, false, &ok},  // from outside the order, as after its control was hidden
  };
  for (const Case& c : cases) {
    EXPECT_EQ(window.nextInFocusOrder(c.from, c.backward), c.next)
        << (c.from ? c.from->name() : "nowhere") << (c.backward ? " back" : " on");
  }

  editor.setEnabled(true);
  EXPECT_EQ(window.nextInFocusOrder(nullptr, false), &inEditor);
  EXPECT_EQ(window.nextInFocusOrder(&inEditor, false), &ok);
}

TEST_F(WidgetTest, TabAndShiftTabMoveTheFocusRoundTheOrder) {
  Button a(&window, "a");
  Button b(&window, "b");
  TextBox c(&window, "c");
  Label label(&window, "label");  // never a tab stop
  a.setTabIndex(2);
  b.setTabIndex(0);
  c.setTabIndex(1);
  window.focusFirst();
  ASSERT_EQ(window.focused(), &b);

  struct Step {
    bool backward;
    const Widget* focused;
  } steps[] = {{false, &c}, {false, &a}, {false, &b}, {true, &a}, {true, &c}, {true, &b}};
  for (const Step& s : steps) {
    EXPECT_EQ(window.userTab(s.backward), s.focused);
    EXPECT_EQ(window.focused(), s.focused);
    EXPECT_TRUE(s.focused->hasFocus());
  }

  // Equal indices keep the order of declaration, for Tab and for the first focus alike.
  a.setTabIndex(0);
  c.setTabIndex(0);
  window.focusFirst();
  EXPECT_EQ(window.focused(), &a);
  EXPECT_EQ(window.userTab(false), &b);
  EXPECT_EQ(window.userTab(false), &c);

  // A window that takes no input takes no Tab; with only a label left to focus, Tab
  // leaves the focus alone.
  window.setEnabled(false);
  EXPECT_EQ(window.userTab(false), nullptr);
  EXPECT_EQ(window.focused(), &c);
  window.setEnabled(true);
  for (Widget* w : {static_cast<Widget*>(&a), static_cast<Widget*>(&b), static_cast<Widget*>(&c)}) {
    w->setEnabled(false);
  }
  EXPECT_EQ(window.userTab(false), nullptr);
  EXPECT_EQ(window.userTab(true), nullptr);
}

TEST_F(WidgetTest, TheFocusMovesOnWhenTheFocusedControlStopsTakingInput) {
  Frame list(&window, "list");
  Button edit(&list, "edit");
  Button remove(&list, "remove");
  Button ok(&window, "ok");
  Button cancel(&window, "cancel");
  edit.setTabIndex(2);
  remove.setTabIndex(3);
  ok.setTabIndex(0);
  cancel.setTabIndex(1);

  // Disabled or hidden, the control itself or a frame around it: the next control of the
  // order after it takes the focus, wrapping round, and the backend is told.
  struct Case {
    const char* what;
    std::function<void()> lose;
    const Widget* next;
  } cases[] = {
      {"button disabled", [&] { edit.setEnabled(false); }, &remove},
      {"button hidden", [&] { edit.setVisible(false); }, &remove},
      {"frame disabled", [&] { list.setEnabled(false); }, &ok},
      {"frame hidden", [&] { list.setVisible(false); }, &ok},
      {"next one gone too", [&] { remove.setEnabled(false); edit.setEnabled(false); }, &ok},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (Widget* w : std::initializer_list<Widget*>{&list, &edit, &remove, &ok, &cancel}) {
      w->setEnabled(true);
      w->setVisible(true);
    }
    edit.setFocus();
    ASSERT_EQ(window.focused(), &edit);
    const int focusChanges = changesOf(*c.next, Change::Focus);
    c.lose();
    EXPECT_EQ(window.focused(), c.next);
    EXPECT_EQ(changesOf(*c.next, Change::Focus), focusChanges + 1);
  }

  // A control that keeps taking input keeps the focus whatever else changes.
  cancel.setFocus();
  list.setEnabled(false);
  ok.setVisible(false);
  EXPECT_EQ(window.focused(), &cancel);

  // With nothing left to take it, the window itself keeps the keyboard.
  const int windowFocus = changesOf(window, Change::Focus);
  cancel.setEnabled(false);
  EXPECT_EQ(window.focused(), nullptr);
  EXPECT_EQ(changesOf(window, Change::Focus), windowFocus + 1);
}

TEST_F(WidgetTest, AControlUnderAPanelTakesNoFocusWhileThePanelCoversIt) {
  Frame skins(&window, "skins");
  ListBox list(&skins, "list");
  Frame panel(&window, "panel");  // declared later: it lies above the list
  Label text(&panel, "text");
  Button ok(&window, "ok");
  skins.move(10, 10, 100, 80);
  list.move(20, 20, 80, 50);
  panel.move(10, 10, 100, 80);
  text.move(15, 15, 90, 70);
  ok.move(10, 100, 50, 20);
  list.setTabIndex(0);
  ok.setTabIndex(1);

  struct Case {
    const char* what;
    std::function<void()> set;
    bool covered;
  } cases[] = {
      {"panel hidden", [&] { panel.setVisible(false); }, false},
      {"panel shown over it", [&] { panel.setVisible(true); }, true},
      {"panel shown, moved aside", [&] { panel.move(200, 10, 100, 80); }, false},
      {"panel smaller than the list", [&] { panel.move(30, 30, 40, 20); }, false},
      {"panel disabled but shown", [&] { panel.move(10, 10, 100, 80); panel.setEnabled(false); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.set();
    EXPECT_EQ(list.covered(), c.covered);
    EXPECT_FALSE(text.covered()) << "what the panel holds lies on it";
    ok.setFocus();
    const Widget* expected = c.covered ? static_cast<Widget*>(&ok) : &list;
    EXPECT_EQ(window.userTab(false), expected);
    list.setFocus();
    EXPECT_EQ(window.focused(), expected);
  }

  // Covered while it has the focus: the focus moves on.
  panel.setVisible(false);
  list.setFocus();
  ASSERT_EQ(window.focused(), &list);
  panel.setVisible(true);
  EXPECT_EQ(window.focused(), &ok);
}

TEST_F(WidgetTest, AControlThatHandlesKeysTakesTheSystemsMenuKeysAsAnyOther) {
  constexpr int kAltKey = 18, kF10 = 121, kF4 = 115, kAlt = 4;
  Button slot(&window, "slot");
  Button plain(&window, "plain");  // no KeyDown: the system keeps its keys
  std::vector<std::string> seen;
  slot.KeyDown = [&](int k, int s) { seen.push_back("down " + std::to_string(k) + "/" + std::to_string(s)); };
  slot.KeyUp = [&](int k, int) { seen.push_back("up " + std::to_string(k)); };

  EXPECT_TRUE(slot.userSystemKeyDown(kAltKey, kAlt));
  EXPECT_TRUE(slot.userSystemKeyUp(kAltKey, 0));
  EXPECT_TRUE(slot.userSystemKeyDown(kF10, 0));
  EXPECT_TRUE(slot.userSystemKeyDown('A', kAlt));
  EXPECT_TRUE(slot.takesSystemKey(0, kAlt)) << "and the character of Alt+A with it";
  EXPECT_FALSE(slot.userSystemKeyDown(kF4, kAlt)) << "Alt+F4 still closes the window";
  EXPECT_TRUE(slot.userSystemKeyDown(kF4, 0));
  EXPECT_EQ(seen, (std::vector<std::string>{"down 18/4", "up 18", "down 121/0", "down 65/4", "down 115/0"}));

  EXPECT_FALSE(plain.userSystemKeyDown(kAltKey, kAlt));
  EXPECT_FALSE(plain.takesSystemKey(kF10, 0));
  slot.setEnabled(false);
  EXPECT_FALSE(slot.userSystemKeyDown(kF10, 0)) << "a control that takes no input takes no key";
  EXPECT_EQ(seen.size(), 5u);
}

// ---- Window frame and placement ----------------------------------------------------

TEST_F(WidgetTest, TheFrameComesBackWithTheEdgeOfTheBorderStyleItHasThen) {
  using B = BorderStyle;
  struct Case {
    const char* what;
    B atCreation;
    B whileUnframed;
    bool sizableAtCreation, sizableAfter;
  } cases[] = {
      {"sizable tool window", B::SizableToolWindow, B::SizableToolWindow, true, true},
      {"fixed dialog", B::FixedDialog, B::FixedDialog, false, false},
      {"fixed tool window", B::FixedToolWindow, B::FixedToolWindow, false, false},
      {"made sizable while unframed", B::FixedDialog, B::SizableToolWindow, false, true},
      {"made fixed while unframed", B::SizableToolWindow, B::None, true, false},
  };
  const ScreenMetrics m = headless::metrics();
  for (const Case& c : cases) {
    headless::reset();
    Window w("w", "LumatapTest");
    w.setBorderStyle(c.atCreation);
    w.move(0, 0, 200, 100);
    w.load();
    EXPECT_TRUE(w.framed()) << c.what;
    EXPECT_EQ(w.sizable(), c.sizableAtCreation) << c.what;
    const int edge = c.sizableAtCreation ? 2 * m.frameWidth : 0;
    EXPECT_EQ(w.clientWidth(), 200 - edge) << c.what;

    w.setFramed(false);
    EXPECT_FALSE(w.sizable()) << c.what;
    EXPECT_EQ(w.clientWidth(), 200) << c.what;
    EXPECT_EQ(w.clientHeight(), 100) << c.what;
    w.setBorderStyle(c.whileUnframed);
    w.setFramed(true);
    EXPECT_EQ(w.sizable(), c.sizableAfter) << c.what;
    EXPECT_EQ(w.borderStyle(), c.whileUnframed) << c.what;
    EXPECT_EQ(headless::frameChangedCount(), 2) << c.what;
    // Position and size stay; only the client area changes.
    EXPECT_EQ(w.width(), 200) << c.what;
    EXPECT_EQ(w.left(), 0) << c.what;
  }
}

TEST_F(WidgetTest, TheFrameStaysAsItIsUntilItIsSwitched) {
  // A window already on screen keeps its frame when its border style changes.
  window.setBorderStyle(BorderStyle::FixedDialog);
  EXPECT_TRUE(window.sizable());
  // Asking for the frame it has changes nothing.
  window.setFramed(true);
  EXPECT_TRUE(window.sizable());
  EXPECT_EQ(headless::frameChangedCount(), 0);
}

TEST_F(WidgetTest, AskingForTopmostAgainRaisesTheWindowAgain) {
  const bool steps[] = {true, true, false, false, true};
  int n = 0;
  for (bool on : steps) {
    window.setTopmost(on);
    EXPECT_EQ(window.topmost(), on);
    EXPECT_EQ(headless::topmostRequestCount(), ++n) << "every request reaches the system";
  }
}

// ---- State reaches the backend ----------------------------------------------------

TEST_F(WidgetTest, EveryLookChangedAfterCreationReachesTheBackend) {
  Label label(&window, "label");
  Button button(&window, "button");
  Frame frame(&window, "frame");
  const Surface mark(4, 4);
  struct Case {
    const char* what;
    const Widget* w;
    std::function<void()> change;
    Change expected;
    int changesWhenRepeated;  // a picture is not compared, only handed over again
  } cases[] = {
      {"bold", &label, [&] { label.setBold(true); }, Change::Font, 1},
      {"underline", &label, [&] { label.setUnderline(true); }, Change::Font, 1},
      {"colour mark", &button, [&] { button.setColored(true); }, Change::Look, 1},
      {"picture", &button, [&] { button.setPicture(mark); }, Change::Picture, 2},
      {"plain panel", &frame, [&] { frame.setShowBorder(false); }, Change::Look, 1},
      {"border style", &window, [&] { window.setBorderStyle(BorderStyle::None); }, Change::Border, 1},
      {"frame", &window, [&] { window.setFramed(false); }, Change::Style, 1},
  };
  for (const Case& c : cases) {
    const int before = changesOf(*c.w, c.expected);
    c.change();
    EXPECT_EQ(changesOf(*c.w, c.expected) - before, 1) << c.what;
    c.change();
    EXPECT_EQ(changesOf(*c.w, c.expected) - before, c.changesWhenRepeated) << c.what << " again";
  }
  EXPECT_TRUE(label.bold() && label.underline());
  EXPECT_TRUE(button.colored());
  EXPECT_EQ(button.picture().width(), 4);
  EXPECT_FALSE(frame.showBorder());
}

// ---- Message boxes and traces -----------------------------------------------------

TEST_F(WidgetTest, ABoxWithoutATitleShowsTheApplicationTitle) {
  const std::string before = applicationTitle();
  setApplicationTitle("Program");
  struct Case {
    const char* title;
    const char* shown;
  } cases[] = {{"", "Program"}, {"エラー", "エラー"}};
  for (const Case& c : cases) {
    messageBox("text", c.title, MsgButtons::Ok, MsgIcon::None);
    ASSERT_FALSE(headless::shownBoxes().empty());
    EXPECT_EQ(headless::shownBoxes().back().title, c.shown) << c.title;
  }
  setApplicationTitle(before);
}

TEST(HeadlessTrace, NotesAreKeptInOrderUntilCleared) {
  headless::reset();
  trace("first");
  trace("second");
  EXPECT_EQ(headless::traceLines(), (std::vector<std::string>{"first", "second"}));
  headless::clearTrace();
  EXPECT_TRUE(headless::traceLines().empty());
  trace("again");
  headless::reset();
  EXPECT_TRUE(headless::traceLines().empty());
}

}  // namespace
}  // namespace plat
