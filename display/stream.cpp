// What the stream page is told of the grid: its layout and the skin's pixels with their
// transparency. Only skin cell numbers go out, never a key code or a key's name.
#include <string>

#include "display/form1.h"
#include "platform/stream.h"
#include "platform/system.h"

namespace lumatap {

namespace {

// The skin file's pixels as R, G, B, A bytes, the skin's transparent pixels with alpha 0,
// so the page lays the keys over the game without any colour key. The decoder lays
// transparent pixels over a matte: laid over black and over white, only they differ.
bool skinRgba(const std::string& file, std::string& rgba, int& width, int& height) {
  std::string bytes;
  plat::Surface onBlack, onWhite;
  if (!plat::readFile(file, bytes) || !plat::decodeImage(bytes, onBlack, 0x000000) ||
      !plat::decodeImage(bytes, onWhite, 0xFFFFFF)) {
    return false;
  }
  width = onBlack.width();
  height = onBlack.height();
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  rgba.resize(4 * n);
  const plat::Pixel* a = onBlack.data();
  const plat::Pixel* b = onWhite.data();
  for (std::size_t i = 0; i < n; ++i) {
    const bool clear = a[i] != b[i];
    rgba[4 * i] = static_cast<char>(a[i] >> 16);
    rgba[4 * i + 1] = static_cast<char>(a[i] >> 8);
    rgba[4 * i + 2] = static_cast<char>(a[i]);
    rgba[4 * i + 3] = static_cast<char>(clear ? 0 : 255);
    if (clear) rgba[4 * i] = rgba[4 * i + 1] = rgba[4 * i + 2] = 0;
  }
  return true;
}

}  // namespace

bool publishStreamLayout(Form1& form, bool force) {
  if (!form.streamPage) return false;
  auto& sent = form.streamLayout;
  const bool newSkin = force || sent.skinFile != form.skinFile;
  if (newSkin) {
    ++sent.skinVersion;
    sent.skinFile = form.skinFile;
    if (!skinRgba(form.skinFile, sent.skinRgba, sent.skinWidth, sent.skinHeight)) {
      sent.skinRgba.clear();
      sent.skinWidth = sent.skinHeight = 0;
    }
  }
  // Numbers only: nothing the user typed (titles, key names) reaches the page.
  std::string json = "{\"cols\":" + std::to_string(CurCols) + ",\"rows\":" + std::to_string(CurRows) +
                     ",\"cell\":" + std::to_string(CellSize) + ",\"skin\":" + std::to_string(sent.skinVersion) + ",\"skinW\":" +
                     std::to_string(sent.skinWidth) + ",\"skinH\":" + std::to_string(sent.skinHeight) +
                     ",\"slots\":[";
  const int n = CurCols > 0 ? shownKeyCount() : 0;
  for (int i = 0; i < n; ++i) {
    if (i) json += ',';
    json += std::to_string(cellOf(ProfKeys[CurProfile][i]));
  }
  json += "]";
  if (!newSkin && json + "}" == sent.json) return false;
  ++sent.version;
  sent.json = json + "}";
  plat::StreamLayout layout;
  layout.json = json + ",\"v\":" + std::to_string(sent.version) + "}";
  layout.skinRgba = sent.skinRgba;
  layout.version = sent.version;
  plat::publishStreamLayout(std::move(layout));
  return true;
}

}  // namespace lumatap
