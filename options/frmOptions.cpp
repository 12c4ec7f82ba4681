// The options dialog: its controls, opening, OK, Cancel and the close sequence.
#include "options/frmOptions.h"

#include "display/form1.h"
#include "platform/ini.h"

namespace lumatap {

namespace {
constexpr int kClientWidth = 728;
constexpr int kClientHeight = 495;
// Label4 inside FrmAbout, clear of the panel's edge on every side so its border shows
// whole. Eight lines in the Japanese UI fonts of current systems (Yu Gothic UI, Noto Sans
// CJK) need about 136 pixels and the longest line about 270, so the label starts higher
// and further left than a caption would need and still holds its last line.
constexpr int kAboutOffsetX = 12;
constexpr int kAboutOffsetY = 6;
constexpr int kAboutTextWidth = 289;
constexpr int kAboutTextHeight = 137;

const char* const kInstructions =
    "【追加手順】\r\n"
    "１．タイトルを入力し、登録キー数と配置を選択\r\n"
    "２．表示されたボタンを、左クリックして選択\r\n"
    "３．表示させたいキーを押すことで設定できます\r\n"
    "（上記で設定できないEnter・Escキー等は、\r\n"
    "\u3000右クリックメニューから設定できます）\r\n"
    "４．保存しないで終わるなら、×画像クリック\r\n"
    "５．設定が終わったら、右上の保存画像クリック";

struct Place {
  plat::Widget* w;
  int left, top, width, height;
  const char* caption;
};
}  // namespace

frmOptions::frmOptions(Form1& owner)
    : plat::Window("frmOptions", "LumatapOptions"),
      Frame2(this, "Frame2"),
      ListProfile(&Frame2, "ListProfile"),
      CmdAddNew(&Frame2, "CmdAddNew"),
      CmdEdit(&Frame2, "CmdEdit"),
      CmdDelete(&Frame2, "CmdDelete"),
      fraSample1(this, "fraSample1"),
      lstFolder(&fraSample1, "lstFolder"),
      FrmAbout(this, "FrmAbout"),
      Label4(&FrmAbout, "Label4"),
      Frame1(this, "Frame1"),
      Label1(&Frame1, "Label1"),
      TxtTitle(&Frame1, "TxtTitle"),
      Label2(&Frame1, "Label2"),
      CmbKeyCnt(&Frame1, "CmbKeyCnt"),
      Label3(&Frame1, "Label3"),
      CmbCol(&Frame1, "CmbCol"),
      CmdSave(&Frame1, "CmdSave"),
      ImgSaveCansel(&Frame1, "ImgSaveCansel"),
      PicB(&Frame1, "PicB"),
      Cmd{{&PicB, "Cmd(0)"}, {&PicB, "Cmd(1)"}, {&PicB, "Cmd(2)"},
          {&PicB, "Cmd(3)"}, {&PicB, "Cmd(4)"}, {&PicB, "Cmd(5)"},
          {&PicB, "Cmd(6)"}, {&PicB, "Cmd(7)"}, {&PicB, "Cmd(8)"}},
      cmdOK(this, "cmdOK"),
      cmdCancel(this, "cmdCancel"),
      Image1(this, "Image1"),
      LblURL{{this, "LblURL(0)"}, {this, "LblURL(1)"}},
      owner_(owner) {
  setCaption("オプション");
  // Laid out in pixels at 100 % display scale; on screen every control, font and picture
  // grows with the monitor's scale, so nothing is clipped or crowded at 150 % or 200 %.
  setDpiScaled(true);
  // A fixed dialog frame: caption and close box, no sizing edge, no minimise or maximise.
  setFramed(true);
  setBorderStyle(plat::BorderStyle::FixedDialog);
  // The frame around the client area depends on the style and the system's metrics, so
  // measure it once and grow the window by it.
  move(0, 0, kClientWidth, kClientHeight);
  move(0, 0, 2 * kClientWidth - clientWidth(), 2 * kClientHeight - clientHeight());
  buildControls();
  buildMenu();
  drawPictures();

  cancelButton = &cmdCancel;
  QueryUnload = [this](bool& cancel) { Form_QueryUnload(cancel); };
}

frmOptions::~frmOptions() = default;

void frmOptions::buildControls() {
  const Place places[] = {
      {&Frame2, 16, 12, 309, 271, "キー配置プロファイル"},
      {&ListProfile, 32, 36, 273, 196, ""},
      {&CmdAddNew, 96, 240, 65, 29, "新規"},
      {&CmdEdit, 168, 240, 65, 29, "編集"},
      {&CmdDelete, 240, 240, 65, 29, "削除"},
      {&fraSample1, 16, 296, 309, 149, "スキンの選択"},
      {&lstFolder, 32, 320, 273, 84, ""},
      {&FrmAbout, 184, 296, 309, 149, ""},
      {&Label4, 184 + kAboutOffsetX, 296 + kAboutOffsetY, kAboutTextWidth, kAboutTextHeight,
       kInstructions},
      {&Frame1, 344, 12, 369, 433, "プロファイルの編集"},
      // Wide enough for "タイトル:" in a font with full-width kana, up to the text box.
      {&Label1, 364, 40, 52, 13, "タイトル:"},
      {&TxtTitle, 416, 36, 209, 25, ""},
      {&Label2, 364, 68, 40, 13, "キー数:"},
      {&CmbKeyCnt, 416, 64, 77, 24, ""},
      {&Label3, 508, 68, 29, 13, "配置:"},
      {&CmbCol, 552, 64, 73, 24, ""},
      {&CmdSave, 636, 36, 57, 53, ""},
      {&ImgSaveCansel, 694, 20, 16, 16, ""},
      {&PicB, 364, 96, 329, 329, ""},
      {&cmdOK, 516, 452, 93, 33, "OK"},
      {&cmdCancel, 620, 452, 93, 33, "ｷｬﾝｾﾙ"},
      {&Image1, 16, 460, 18, 18, ""},
      {&LblURL[0], 44, 460, 136, 17, kHomeLinkCaption},
      {&LblURL[1], 188, 460, 72, 17, "総合案内"},
  };
  for (const Place& p : places) {
    p.w->move(p.left, p.top, p.width, p.height);
    p.w->setCaption(p.caption);
  }

  // The editor opens idle: it shows the current profile but takes no input.
  for (plat::Widget* w : std::initializer_list<plat::Widget*>{
           &Frame1, &Label1, &TxtTitle, &Label2, &CmbKeyCnt, &Label3, &CmbCol, &CmdSave,
           &ImgSaveCansel}) {
    w->setEnabled(false);
  }
  ImgSaveCansel.setVisible(false);
  FrmAbout.setVisible(false);
  // The title is also the profile's name in lumatap.ini, whose values hold 254 bytes.
  TxtTitle.setMaxBytes(static_cast<int>(plat::kIniValueLimit));
  Label4.setForeColor(plat::rgb(64, 64, 64));
  for (plat::Label& l : LblURL) {
    l.setForeColor(plat::rgb(0, 0, 255));
    l.setBold(true);
    l.setUnderline(true);
  }
  for (plat::Button& b : Cmd) {
    b.setColored(true);  // the slot colours are the feedback while keys are assigned
    b.setVisible(false);
  }

  // Focus order: the key buttons first, so a new edit can start typing keys at once.
  plat::Widget* order[] = {&Cmd[8], &Cmd[7], &Cmd[6], &Cmd[5], &Cmd[4], &Cmd[3], &Cmd[2],
                           &Cmd[1], &Cmd[0], &cmdOK, &cmdCancel, &CmbKeyCnt, &TxtTitle,
                           &CmbCol, &ListProfile, &CmdEdit, &CmdDelete, &CmdAddNew, &CmdSave,
                           &lstFolder};
  for (int i = 0; i < static_cast<int>(std::size(order)); ++i) {
    order[i]->setTabStop(true);
    order[i]->setTabIndex(i);
  }

  ListProfile.Click = [this] { ListProfile_Click(); };
  CmbKeyCnt.Click = [this] { CmbKeyCnt_Click(); };
  CmbCol.Click = [this] { CmbCol_Click(); };
  CmdAddNew.Click = [this] { CmdAddNew_Click(); };
  CmdEdit.Click = [this] { CmdEdit_Click(); };
  CmdDelete.Click = [this] { CmdDelete_Click(); };
  CmdSave.Click = [this] { CmdSave_Click(); };
  ImgSaveCansel.Click = [this] { ImgSaveCansel_Click(); };
  cmdOK.Click = [this] { cmdOK_Click(); };
  cmdCancel.Click = [this] { cmdCancel_Click(); };
  for (int i = 0; i < 2; ++i) LblURL[i].Click = [this, i] { LblURL_Click(i); };
  for (int i = 0; i < kSlotCount; ++i) {
    Cmd[i].MouseUp = [this, i](int b, int s, int x, int y) { Cmd_MouseUp(i, b, s, x, y); };
    Cmd[i].KeyDown = [this, i](int k, int s) { Cmd_KeyDown(i, k, s); };
  }
}

void frmOptions::drawPictures() {
  PicB.surface() = makeKeyPadBackground();
  CmdSave.setPicture(makeSaveIcon());
  ImgSaveCansel.surface() = makeCloseMark();
  Image1.surface() = makeLinkIcon();
}

void frmOptions::placeAboutPanel(int left, int top) {
  FrmAbout.move(left, top, FrmAbout.width(), FrmAbout.height());
  Label4.move(left + kAboutOffsetX, top + kAboutOffsetY, Label4.width(), Label4.height());
}

void frmOptions::placeSlot(int i, int x, int y, int size) {
  Cmd[i].move(PicB.left() + x, PicB.top() + y, size, size);
}

// ---- Lifecycle -----------------------------------------------------------------------

void frmOptions::Form_Load() {
  IsNewProfile = false;
  MenuSlot = 0;
  center();
  loadLayoutChoices();
  fillKeyCounts();
  CmbKeyCnt.setListIndex(5);  // six keys, until a profile is shown
  FillProfileList();
  ShowProfile(CurProfile);
  fillSkinList();
  for (plat::Picture* p : {&PicB, &ImgSaveCansel, &Image1}) p->present();
}

void frmOptions::cmdOK_Click() {
  const int sel = ListProfile.listIndex();
  if (editing()) {
    const char* question = IsNewProfile ? "新規作成中のプロファイルを保存しますか？"
                                        : "編集中のプロファイルを保存しますか？";
    if (plat::messageBox(question, "処理を中断しました", plat::MsgButtons::YesNo,
                         plat::MsgIcon::Question) == plat::MsgAnswer::Yes) {
      CmdSave_Click();
    }
    return;  // an answered question applies nothing; the user presses OK again
  }
  if (sel < 0) {
    plat::messageBox("プロファイルが、選択されていません！", "エラー", plat::MsgButtons::Ok,
                     plat::MsgIcon::Exclamation);
    return;
  }
  if (lstFolder.listIndex() < 0) {
    plat::messageBox("スキンが、選択されていません！", "エラー", plat::MsgButtons::Ok,
                     plat::MsgIcon::Exclamation);
    return;
  }
  selectProfile(static_cast<int16>(sel));
  if (lstFolder.text() != SkinName) {
    SkinName = lstFolder.text();
    LoadSkin(owner_);
  }
  applyCurrentProfile(owner_);
  applied_ = true;
  requestClose();
}

void frmOptions::cmdCancel_Click() { requestClose(); }

void frmOptions::Form_QueryUnload(bool& cancel) {
  if (ending_) return;
  if (editing() &&
      plat::messageBox("編集中のプロファイルがあります。\r\n"
                       "編集内容を破棄して、オプション画面を閉じますか？",
                       "", plat::MsgButtons::YesNo,
                       plat::MsgIcon::Question) != plat::MsgAnswer::Yes) {
    cancel = true;
  }
}

void frmOptions::closeForEnd() {
  ending_ = true;
  requestClose();
}

}  // namespace lumatap
