// The rules of the portable widgets, which every backend follows: every piece of state a
// backend shows reaches it as a change.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/ui.h"

namespace plat {
namespace {

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

}  // namespace
}  // namespace plat
