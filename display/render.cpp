// Drawing keys: every key released after a layout, single keys as the hook reports them.
// The grid itself is the only record of what is held; each event copies pictures from the
// decoded skin straight onto it and presents it once, with nothing allocated on the way.
#include <algorithm>

#include "display/counters.h"
#include "display/form1.h"
#include "platform/hook.h"
#include "platform/stream.h"
#include "platform/system.h"

namespace lumatap {

namespace {

// Rows of the skin picture, in cells.
constexpr int kReleasedRow = 0;
constexpr int kPressedRow = 1;

// Copies one picture of `code` into slot `slot`'s cell, row by row from the top-left.
void drawSlot(Form1& form, int slot, int16 code, int pictureRow) {
  if (pictureRow == kPressedRow) {
    form.litSlots |= 1u << slot;
  } else {
    form.litSlots &= ~(1u << slot);
  }
  const int column = slot % CurCols;
  const int row = slot / CurCols;
  const int cell = form.cellPixels();
  plat::bitBlt(form.PicView.surface(), cell * column, cell * row, cell, cell, form.PicKeys,
               cell * cellOf(code), cell * pictureRow);
  if (form.showCounters)
    drawCount(form.PicView.surface(), cell * column, cell * row, form.gridScale, form.counters.count(code),
              plat::pixelFromColor(form.gridBackground));
}

// While the program in front hides its keys: the grid dimmed to half, inside an amber
// edge of two skin pixels, so a viewer sees at once that the keys are not being shown.
constexpr plat::Pixel kHiddenEdge = 0xFFA000;

void showKeysHidden(Form1& form) {
  plat::Surface& grid = form.PicView.surface();
  plat::Pixel* p = grid.data();
  for (int i = 0, n = grid.width() * grid.height(); i < n; ++i) p[i] = (p[i] >> 1) & 0x7F7F7F;
  const int edge = 2 * form.gridScale;
  grid.fillRect(0, 0, grid.width(), edge, kHiddenEdge);
  grid.fillRect(0, grid.height() - edge, grid.width(), edge, kHiddenEdge);
  grid.fillRect(0, 0, edge, grid.height(), kHiddenEdge);
  grid.fillRect(grid.width() - edge, 0, edge, grid.height(), kHiddenEdge);
}

// Every slot of the current profile that holds `keyCode`.
unsigned slotsOf(int keyCode) {
  const int n = CurCols > 0 ? shownKeyCount() : 0;  // no columns: nowhere to draw
  unsigned mine = 0;
  for (int i = 0; i < n; ++i)
    if (ProfKeys[CurProfile][i] == keyCode) mine |= 1u << i;
  return mine;
}

// The lit slots to the stream page and, with `withCounts`, the counters of the profile's
// slots: only those, so no key outside the profile goes out.
void publishToPage(const Form1& form, bool withCounts) {
  if (!withCounts) {
    plat::publishStreamLit(form.litSlots, form.keysHidden);
    return;
  }
  static_assert(kSlotsPerProfile <= plat::StreamCounts::kMaxSlots);
  plat::StreamCounts counts;
  counts.slots = CurCols > 0 ? shownKeyCount() : 0;
  const auto perSlot = form.counts();
  std::copy_n(perSlot.begin(), counts.slots, counts.perSlot);
  counts.kps = static_cast<std::uint32_t>(form.counters.kps());
  counts.peak = static_cast<std::uint32_t>(form.counters.peak());
  plat::publishStreamLit(form.litSlots, form.keysHidden, &counts);
}

long long minLitMicros(const Form1& form) { return 1000LL * std::max(0, form.minLitMs); }

// No hold pending and KPS at 0 (or nobody watching it): no timer. Otherwise the timer runs
// out when the earliest hold ends or the oldest press leaves KPS, whichever comes first (a
// millisecond late rather than early, so it never fires to find nothing due).
void scheduleTimer(Form1& form, long long now) {
  long long due = -1;
  for (int i = 0; i < kSlotsPerProfile; ++i) {
    if (!(form.holdingSlots & (1u << i))) continue;
    const long long end = form.pressedAt[i] + minLitMicros(form);
    if (due < 0 || end < due) due = end;
  }
  if (countersWatched(form)) {
    const long long leaving = form.counters.nextLeaving();
    if (leaving >= 0 && (due < 0 || leaving < due)) due = leaving;
  }
  // Most presses leave the oldest one where it was: no call into the system for them.
  if (due == form.timerDueAt && (due < 0 || form.timerPending())) return;
  form.timerDueAt = due;
  if (due < 0) {
    form.stopTimer();
    return;
  }
  form.startTimer(static_cast<int>((std::max(0LL, due - now) + 999) / 1000));
}

void cancelHolds(Form1& form) {
  form.holdingSlots = 0;
  scheduleTimer(form, plat::clockMicros());
}

void pressKey(Form1& form, int keyCode) {
  const unsigned mine = slotsOf(keyCode);
  const long long now = plat::clockMicros();
  // A key-down while the key is drawn down (not merely held for its minimum) is the
  // keyboard repeating it, not a press. Counted before drawing, so the cell shows it.
  const bool counted = mine && !(mine & form.litSlots & ~form.holdingSlots);
  if (counted) form.counters.press(keyCode, now);
  for (int i = 0; i < kSlotsPerProfile; ++i) {
    if (!(mine & (1u << i))) continue;
    drawSlot(form, i, ProfKeys[CurProfile][i], kPressedRow);
    form.pressedAt[i] = now;
  }
  // Pressed again while held: it simply stays lit, now as a key that is down.
  const bool wasHolding = form.holdingSlots != 0;
  form.holdingSlots &= ~mine;
  // A key going down while another slot is lit: that one's key-up may have been lost
  // (nobody holds a key for a whole game), so it shows what the keyboard says. A slot
  // held for its minimum time was released on purpose and keeps its time.
  const unsigned others = form.litSlots & ~mine & ~form.holdingSlots;
  if (others) {
    for (int i = 0; i < kSlotsPerProfile; ++i) {
      const int16 code = ProfKeys[CurProfile][i];
      if ((others & (1u << i)) && !plat::keyIsDown(code)) drawSlot(form, i, code, kReleasedRow);
    }
  }
  if (wasHolding || (counted && countersWatched(form))) scheduleTimer(form, now);
  // The new count goes to the page with the lit state it brought: one message.
  presentGrid(form, counted);
}

void releaseKey(Form1& form, int keyCode) {
  const unsigned mine = slotsOf(keyCode);
  const long long now = plat::clockMicros();
  bool drawn = false;
  const unsigned holdingBefore = form.holdingSlots;
  for (int i = 0; i < kSlotsPerProfile; ++i) {
    if (!(mine & (1u << i))) continue;
    if ((form.litSlots & (1u << i)) && now - form.pressedAt[i] < minLitMicros(form)) {
      form.holdingSlots |= 1u << i;
    } else {
      drawSlot(form, i, ProfKeys[CurProfile][i], kReleasedRow);
      form.holdingSlots &= ~(1u << i);
      drawn = true;
    }
  }
  if (form.holdingSlots != holdingBefore) scheduleTimer(form, now);
  // A release that only starts a hold changes nothing on screen. A key that is in no slot
  // presents as before, so every event that reaches the grid is still one present.
  if (drawn || !mine) presentGrid(form);
}

}  // namespace

int cellOf(int16 code) { return code >= 0 && code < kKeyDefCount ? KeyDefs[code].Cell : 0; }

void presentGrid(Form1& form, bool countersMoved) {
  form.PicView.present();
  if (form.streamPage) publishToPage(form, countersMoved);
}

int shownKeyCount() {
  if (CurProfile < 0 || CurProfile >= kMaxProfiles) return 0;
  return std::clamp<int>(ProfKeyCounts[CurProfile], 0, kSlotsPerProfile);
}

namespace {

// Once the mouse is watched, every movement of it wakes the hook library's thread, so it is
// watched only while the grid shows a mouse button.
void watchMouseFor(Form1& form) {
  const int n = CurCols > 0 ? shownKeyCount() : 0;
  bool wanted = false;
  for (int i = 0; i < n && !wanted; ++i)
    for (int16 button : kMouseButtonCodes) wanted = wanted || ProfKeys[CurProfile][i] == button;
  if (wanted == form.mouseWatched) return;
  form.mouseWatched = wanted;
  plat::WatchMouseButtons(wanted);
}

}  // namespace

void DrawAllKeys(Form1& form, KeysDrawn keys) {
  if (LayoutBusy) return;
  watchMouseFor(form);
  cancelHolds(form);
  plat::Surface& grid = form.PicView.surface();
  grid.setBackground(plat::pixelFromColor(form.gridBackground));
  grid.clear();
  form.litSlots = 0;
  const int n = CurCols > 0 ? shownKeyCount() : 0;
  for (int i = 0; i < n; ++i) {
    const int16 code = ProfKeys[CurProfile][i];
    const bool held = keys == KeysDrawn::AsHeldNow && plat::keyIsDown(code);
    drawSlot(form, i, code, held ? kPressedRow : kReleasedRow);
  }
  if (form.keysHidden) showKeysHidden(form);
  // Another profile or grid: the page's counters follow their slots.
  presentGrid(form, publishStreamLayout(form));
}

void Form1::Form_ForegroundChanged(bool hidden) {
  // Another always-on-top window may have taken the place above: back on top of the
  // band, without taking the focus.
  if (topmost()) setTopmost(true);
  keysHidden = hidden;
  if (hidden) keysHiddenSeen = true;
  DrawAllKeys(*this, KeysDrawn::AsHeldNow);
}

void Form1::Form_KeyDown(int keyCode, int) { pressKey(*this, keyCode); }

void Form1::Form_KeyUp(int keyCode, int) { releaseKey(*this, keyCode); }

void Form1::Form_Timer() {
  timerDueAt = -1;  // it ran out
  const long long now = plat::clockMicros();
  bool drawn = false;
  for (int i = 0; i < kSlotsPerProfile; ++i) {
    if (!(holdingSlots & (1u << i)) || now - pressedAt[i] < minLitMicros(*this)) continue;
    drawSlot(*this, i, ProfKeys[CurProfile][i], kReleasedRow);
    holdingSlots &= ~(1u << i);
    drawn = true;
  }
  const bool kpsFell = counters.forget(now);
  scheduleTimer(*this, now);
  if (drawn) {
    presentGrid(*this, kpsFell);
  } else if (kpsFell) {
    countersChanged(*this);
  }
}

std::array<std::uint32_t, kSlotsPerProfile> Form1::counts() const {
  std::array<std::uint32_t, kSlotsPerProfile> perSlot{};
  for (int i = 0, n = shownKeyCount(); i < n; ++i) perSlot[i] = counters.count(ProfKeys[CurProfile][i]);
  return perSlot;
}

int Form1::kps() const { return counters.kpsAt(plat::clockMicros()); }

void Form1::mnuResetCounters_Click() {
  counters.reset();
  // Shorter figures must not leave old digits behind: every cell afresh, as it stands.
  if (showCounters) {
    DrawAllKeys(*this, KeysDrawn::AsHeldNow);
  } else {
    scheduleTimer(*this, plat::clockMicros());
  }
  countersChanged(*this);
}

bool countersWatched(const Form1& form) {
  // The window's counts need no timer, but KPS is kept current for whoever may show it.
  // That is anyone who opens the stream page with counters=1, at any moment: the window is
  // not told when a page connects, and the page must still read KPS as it stands and see
  // it fall. So the timer runs while the page is served, with counters or not; it is at
  // most one run a press, a second later, and none while no key moves.
  return form.showCounters || form.streamPage;
}

void countersChanged(Form1& form) {
  // The window has drawn the new counts with its cells by now (drawSlot).
  if (form.streamPage) publishToPage(form, true);
}

void streamPageOpened(Form1& form) {
  form.streamPage = true;
  publishStreamLayout(form, true);
  // Nobody may have kept KPS current while the page was off.
  const long long now = plat::clockMicros();
  form.counters.forget(now);
  scheduleTimer(form, now);
  countersChanged(form);
}

}  // namespace lumatap
