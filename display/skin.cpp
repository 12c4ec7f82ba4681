// Skin loading: finds the skin image of SkinName, decodes it once and keeps it in PicKeys,
// ready for the block copies that light the keys.
#include "display/form1.h"
#include "platform/system.h"

namespace lumatap {

namespace {

bool decodeFile(const std::string& path, plat::Surface& image, plat::Color background) {
  std::string bytes;
  return plat::readFile(path, bytes) &&
         plat::decodeImage(bytes, image, plat::pixelFromColor(background));
}

// Without even the default skin there is nothing to show, so a failure at start-up ends the
// program; later (a skin chosen in the options dialog) the picture on screen simply stays.
void reportUnreadable(const std::string& path, bool startingUp) {
  std::string text = CheckPath(path) == 1
                         ? "スキン画像を読み込めません。壊れているか、GIF・BMP以外の形式です。"
                         : "スキン画像が見つかりません。";
  text += "\r\n" + path + "\r\n";
  if (startingUp) {
    text += "Lumatapを終了します。";
    plat::messageBox(text, "", plat::MsgButtons::Ok, plat::MsgIcon::Critical);
    plat::terminateProcess(1);
  }
  text += "今のスキンのまま続けます。";
  plat::messageBox(text, "", plat::MsgButtons::Ok, plat::MsgIcon::Exclamation);
}

}  // namespace

bool isSkinFolderName(const std::string& name) {
  if (name.empty()) return false;
  // Only dots: ".", ".." and the like, which Windows reads as this folder or the one above.
  if (name.find_first_not_of('.') == std::string::npos) return false;
  // A separator or a drive or stream colon would reach past the folder "skin".
  return name.find_first_of("\\/:") == std::string::npos;
}

void scaleSkinToGrid(Form1& form) {
  const int from = form.skinScale, to = form.gridScale;
  if (from == to || form.PicKeys.empty()) {
    form.skinScale = to;
    return;
  }
  const plat::Surface& now = form.PicKeys;
  plat::Surface original(now.width() / from, now.height() / from, now.background());
  for (int y = 0; y < original.height(); ++y)
    for (int x = 0; x < original.width(); ++x) original.at(x, y) = now.at(x * from, y * from);
  form.PicKeys = plat::scaledUp(original, to);
  form.skinScale = to;
}

void LoadSkin(Form1& form) {
  // PicKeys is empty only until the first load, which is the window's load.
  const bool startingUp = form.PicKeys.empty();
  const std::string fallback = programPath(std::string("\\skin\\") + kDefaultSkin + "\\keys.gif");

  // Every skin lies in a folder of its own right inside "skin"; a name that would lead
  // anywhere else (lumatap.ini is the user's to edit) is a skin that does not exist.
  std::string path;
  if (isSkinFolderName(SkinName)) {
    const std::string folder = programPath("\\skin\\" + SkinName);
    path = folder + "\\keys.gif";
    if (CheckPath(path) != 1) path = folder + "\\keys.bmp";
  }
  plat::Surface image;
  bool decoded = !path.empty() && CheckPath(path) == 1 && decodeFile(path, image, form.gridBackground);
  // A skin that is missing or cannot be decoded gives way to the default one alike, so a
  // damaged picture never keeps the user from the options dialog, where another skin can
  // be chosen. The name stays: it is the user's choice, and the folder may be mended.
  if (!decoded && path != fallback) {
    plat::messageBox("スキンが壊れているか存在しません。\r\nデフォルトのスキンを読み込みます。", "",
                     plat::MsgButtons::Ok, plat::MsgIcon::None);
    path = fallback;
    decoded = decodeFile(path, image, form.gridBackground);
  }
  if (decoded) {
    if (form.gridScale > 1) image = plat::scaledUp(image, form.gridScale);
    form.PicKeys.swap(image);  // the previous image goes with `image`
    form.skinScale = form.gridScale;
    form.loadedSkin = SkinName;
    form.skinFile = path;
    return;
  }
  reportUnreadable(path, startingUp);
  // The default skin is damaged or missing too. The picture on screen stays, and so does
  // the name it was loaded under.
  SkinName = form.loadedSkin;
}

}  // namespace lumatap
