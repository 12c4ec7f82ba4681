// What a key press costs between the hook's callback and the grid being presented, what a
// full redraw costs, and how long the window's load takes on the shipped files.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/startup.h"
#include "platform/headless/headless.h"
#include "platform/hook.h"
#include "platform/system.h"

namespace lumatap {
namespace {

namespace fs = std::filesystem;

// A program folder holding what the installer ships: keylist.dat and the skins.
const std::string& shippedFolder() {
  static const std::string folder = [] {
    fs::path dir = fs::temp_directory_path() / ("lumatap-bench-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path assets = fs::path(LUMATAP_SOURCE_DIR) / "assets";
    fs::copy(assets, dir, fs::copy_options::recursive);
    return dir.string();
  }();
  return folder;
}

void useShippedFolder() {
  plat::headless::reset();
  plat::headless::setProgramFolder(shippedFolder());
}

// The display window with the default skin and one profile, laid out and drawn, the hook
// installed: the state a key event meets while a game is played.
struct Display {
  std::unique_ptr<Form1> form;

  Display(const std::vector<int16>& keys, int16 cols, int16 rows, int dpi = 96) {
    useShippedFolder();
    resetSharedState();
    ReadScreenMetrics();
    form = std::make_unique<Form1>();
    // The headless clock stands still, so with a minimum every release would be a hold:
    // the benchmark times each event's drawing, as a release after the minimum draws it.
    form->minLitMs = 0;
    form->show();
    plat::SetHook(*form);
    applyMonitorScale(*form, dpi);
    SkinName = "default";
    LoadSkin(*form);
    // Codes and cells as keylist.dat has them; the benchmark does not depend on its reader.
    const std::pair<int, int> cells[] = {{16, 53}, {87, 23}, {32, 56}, {65, 1}, {83, 19}, {68, 4}};
    for (auto [code, cell] : cells) KeyDefs[code] = KeyDef{static_cast<int16>(cell), "", true};
    CurProfile = 0;
    ProfKeyCounts[0] = static_cast<int16>(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) ProfKeys[0][i] = keys[i];
    CurCols = cols;
    CurRows = rows;
    LayoutGrid(*form, CurCols, CurRows);
    DrawAllKeys(*form);
  }
};

const std::vector<int16> kWasd = {16, 87, 32, 65, 83, 68};
const std::vector<int16> kTwelveA(12, 65);

// One key event (down and up alternate, as a tap does), delivered through the hook.
// With the counters shown, each cell also draws its count; with them or the stream page on,
// the clock moves 1 ms an event, so presses keep leaving KPS and the window's timer runs as
// it does in play.
void keyEvent(benchmark::State& state, const std::vector<int16>& keys, int16 cols, int16 rows,
              int dpi = 96, bool counters = false, bool streamPage = false) {
  Display d(keys, cols, rows, dpi);
  d.form->showCounters = counters;
  d.form->streamPage = streamPage;
  DrawAllKeys(*d.form);
  bool down = false;
  for (auto _ : state) {
    if (counters || streamPage) plat::headless::advanceClock(1000);
    down = !down;
    if (down) {
      plat::headless::pressKey(65);
    } else {
      plat::headless::releaseKey(65);
    }
    benchmark::DoNotOptimize(d.form->PicView.surface().data());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_KeyEvent_SixKeyProfile(benchmark::State& state) { keyEvent(state, kWasd, 3, 2); }
void BM_KeyEvent_TwelveSlotsOneKey(benchmark::State& state) { keyEvent(state, kTwelveA, 4, 3); }
// At 200 % every cell is 96 × 96: four times the pixels per copy.
void BM_KeyEvent_SixKeyProfileAt200Percent(benchmark::State& state) { keyEvent(state, kWasd, 3, 2, 192); }
void BM_KeyEvent_SixKeyProfileWithCounters(benchmark::State& state) {
  keyEvent(state, kWasd, 3, 2, 96, true);
}
void BM_KeyEvent_SixKeyProfileWithCountersAt200Percent(benchmark::State& state) {
  keyEvent(state, kWasd, 3, 2, 192, true);
}
// With the stream page on and no server running: the window's share of telling the page,
// each event's state stored (and, for a press, the counts) with nobody to send to.
void BM_KeyEvent_SixKeyProfileToStreamPage(benchmark::State& state) {
  keyEvent(state, kWasd, 3, 2, 96, false, true);
}

void BM_FullRedraw(benchmark::State& state) {
  const bool twelve = state.range(0) == 12;
  Display d(twelve ? kTwelveA : kWasd, twelve ? 4 : 3, twelve ? 3 : 2);
  for (auto _ : state) {
    DrawAllKeys(*d.form);
    benchmark::DoNotOptimize(d.form->PicView.surface().data());
  }
}

// The window's whole load on the shipped files, first run (the question answered No, so
// the default skin), from a new window to a drawn, topmost grid.
void BM_StartupLoad(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    useShippedFolder();
    fs::remove(fs::path(shippedFolder()) / "setting.dat");
    resetSharedState();
    auto program = std::make_unique<Program>();
    program->form.load();
    state.ResumeTiming();
    program->Form_Load();
    benchmark::DoNotOptimize(program->form.PicView.surface().data());
    state.PauseTiming();
    program.reset();
    state.ResumeTiming();
  }
}

// Reading and decoding the 4080 × 96 skin alone, the largest part of the load.
void BM_LoadSkin(benchmark::State& state) {
  useShippedFolder();
  resetSharedState();
  auto form = std::make_unique<Form1>();
  SkinName = state.range(0) == 0 ? "default" : "WASD黒ルコ";
  for (auto _ : state) {
    LoadSkin(*form);
    benchmark::DoNotOptimize(form->PicKeys.data());
  }
}

BENCHMARK(BM_KeyEvent_SixKeyProfile);
BENCHMARK(BM_KeyEvent_TwelveSlotsOneKey);
BENCHMARK(BM_KeyEvent_SixKeyProfileAt200Percent);
BENCHMARK(BM_KeyEvent_SixKeyProfileWithCounters);
BENCHMARK(BM_KeyEvent_SixKeyProfileWithCountersAt200Percent);
BENCHMARK(BM_KeyEvent_SixKeyProfileToStreamPage);
BENCHMARK(BM_FullRedraw)->Arg(6)->Arg(12);
BENCHMARK(BM_StartupLoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadSkin)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace lumatap

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(lumatap::shippedFolder());
  return 0;
}
