#pragma once
// The options dialog: chooses the profile and the skin the display window shows, and
// creates, edits and deletes profiles in the shared profile table.
//
// The dialog is loaded on each opening and unloaded on each close; everything declared
// here lives only that long. Edit mode is not a variable of its own: an edit is in
// progress exactly while Frame1 is enabled.

#include <array>
#include <string>

#include "state/module1.h"
#include "state/profile_table.h"
#include "platform/ui.h"

namespace lumatap {

class Form1;

// The two pages the link labels open, and the first label's caption. Kept together so
// the addresses exist once in the program.
inline constexpr const char* kHomeLinkCaption = "Lumatap ホーム";
inline constexpr const char* kHomeLinkAddress = "https://lumatap.github.io/";
inline constexpr const char* kGuideLinkAddress = "https://lumatap.github.io/guide/";

// The editor's key buttons: a profile made here has 1 to 9 keys.
inline constexpr int kSlotCount = 9;

// cols.dat as the program creates it: the layout choices for 1 to 9 keys.
inline constexpr const char* kDefaultLayoutLines[kSlotCount] = {
    "1:1", "2:1/1:2", "3:1/1:3", "4:1/2:2/1:4", "5:1/1:5",
    "6:1/3:2/2:3/1:6", "7:1/1:7", "8:1/4:2/2:4/1:8", "9:1/3:3/1:9"};

// Slot colours (0x00BBGGRR).
inline constexpr plat::Color kSlotSelected = 0x0080FFFF;  // light yellow: waiting for a key
inline constexpr plat::Color kSlotAssigned = 0x00FFE000;  // azure: a key was just set
inline constexpr plat::Color kSlotMissing = 0x005050FF;   // light red: empty when saving
inline constexpr plat::Color kEditorEditing = 0x006DD1FF; // light orange editor frame


class frmOptions : public plat::Window {
public:
  // The dialog edits what `owner` shows; the program takes the window from the user while
  // the dialog is open and gives it back when it unloads.
  explicit frmOptions(Form1& owner);
  ~frmOptions() override;

  // ---- Controls, in the order they lie on top of each other ------------------------
  plat::Frame Frame2;
  plat::ListBox ListProfile;
  plat::Button CmdAddNew;
  plat::Button CmdEdit;
  plat::Button CmdDelete;

  plat::Frame fraSample1;
  plat::ListBox lstFolder;
  plat::Frame FrmAbout;  // above fraSample1, so it covers the skin list while shown
  plat::Label Label4;

  plat::Frame Frame1;
  plat::Label Label1;
  plat::TextBox TxtTitle;
  plat::Label Label2;
  plat::ComboBox CmbKeyCnt;
  plat::Label Label3;
  plat::ComboBox CmbCol;
  plat::Button CmdSave;
  plat::Picture ImgSaveCansel;
  plat::Picture PicB;
  plat::Button Cmd[kSlotCount];

  plat::Button cmdOK;
  plat::Button cmdCancel;
  plat::Picture Image1;
  plat::Label LblURL[2];

  plat::Menu mnu2;  // the key buttons' context menu

  // ---- The dialog's own state --------------------------------------------------------
  bool IsNewProfile = false;
  int16 MenuSlot = 0;
  std::string LayoutChoices[kSlotCount];  // the choices for 1 to 9 keys

  // ---- Lifecycle ---------------------------------------------------------------------
  void Form_Load();
  void cmdOK_Click();
  void cmdCancel_Click();
  void Form_QueryUnload(bool& cancel);
  // The program is ending and has already saved: close at once, without the question
  // about an open edit (nothing done here could reach the files any more) and without
  // handing the keyboard hook back to a display window that is closing too.
  void closeForEnd();

  // ---- Profile list ------------------------------------------------------------------
  void FillProfileList();
  void ShowProfile(int16 n);
  void ListProfile_Click();

  // ---- Key count and layout ----------------------------------------------------------
  void loadLayoutChoices();
  void fillKeyCounts();
  void CmbKeyCnt_Click();
  void CmbKeyCnt_Change();
  void CmbCol_Click();
  void CmbCol_Change();
  // Columns and rows of the selected layout choice, or of the default choice for the key
  // count when the selected one cannot be arranged.
  void chosenLayout(int16& cols, int16& rows) const;

  // ---- Skin list and links -----------------------------------------------------------
  void fillSkinList();
  void LblURL_Click(int index);

  // ---- Edit mode ---------------------------------------------------------------------
  void BeginEdit();
  void EndEdit();
  void CmdAddNew_Click();
  void CmdEdit_Click();
  void ImgSaveCansel_Click();
  void CmdDelete_Click();

  // ---- Key assignment ----------------------------------------------------------------
  void Cmd_MouseUp(int index, int button, int shift, int x, int y);
  void Cmd_KeyDown(int index, int keyCode, int shift);
  void mnuKeys_Click(int index);
  void mnuDel_Click();
  // A mouse button of the slot's menu; the index is its key code.
  void mnuButtons_Click(int index);
  void AssignSlotKey(int16 slot, int16 code);

  // ---- Saving ------------------------------------------------------------------------
  void CmdSave_Click();
  void StoreEditedProfile(int16 i);
  // The profile as the editor shows it.
  ProfileEdit editedProfile() const;

  bool editing() const { return Frame1.enabled(); }
  // A profile was stored or deleted and OK did not choose what the display shows: the
  // display's profile may have moved, changed or gone.
  bool changedProfilesUnapplied() const { return tableChanged_ && !applied_; }

private:
  void buildControls();
  void buildMenu();
  void drawPictures();
  // Moves the instructions panel; its label travels with it.
  void placeAboutPanel(int left, int top);
  // Places a key button in PicB's own pixel coordinates.
  void placeSlot(int i, int x, int y, int size);
  // The profile list and its buttons, locked while an edit is open.
  std::array<plat::Widget*, 4> listSide();
  // "タイトル:", "キー数:" and "配置:".
  std::array<plat::Label*, 3> editorLabels();

  Form1& owner_;
  bool ending_ = false;
  bool applied_ = false;       // OK chose the profile the display now shows
  bool tableChanged_ = false;  // a profile was stored or deleted while the dialog was open
};

// Procedural pictures of the dialog.
plat::Surface makeKeyPadBackground();  // PicB, 330 × 330 light blue
plat::Surface makeSaveIcon();          // CmdSave
plat::Surface makeCloseMark();         // ImgSaveCansel, the "×" picture
plat::Surface makeLinkIcon();          // Image1

}  // namespace lumatap
