#pragma once
// The display window: the key grid that lights keys while they are held.

#include <memory>
#include <string>

#include "app/module1.h"
#include "platform/ui.h"

namespace lumatap {

class frmOptions;

class Form1 : public plat::Window {
public:
  Form1();
  ~Form1() override;

  plat::Picture PicView;  // the visible grid, covering the client area
  plat::Surface PicKeys;  // the skin image, never shown
  plat::Menu mnu;         // the pop-up menu
  plat::MenuItem& mnuTitleBer() { return mnu.items[0]; }
  plat::MenuItem& mnuOption() { return mnu.items[1]; }
  plat::MenuItem& mnuEnd() { return mnu.items[3]; }

  // The built-in profile table, written to setting.dat when that file is absent.
  static const char* const TxtSetting;

  // Left and Top in twips as the settings placed the window, valid while it stays there.
  struct { long left = 0, top = 0; int atLeft = 0, atTop = 0; bool set = false; } placedTwips;

  // The options dialog while it is loaded.
  frmOptions* options() const { return options_.get(); }

  // Start and end.
  void Form_Load();
  void Form_QueryUnload(bool& cancel);
  void mnuEnd_Click();

  // Grid and keys.
  void Form_Resize();
  void Form_KeyDown(int keyCode, int shift);
  void Form_KeyUp(int keyCode, int shift);

  // Frame, placement, mouse and menu.
  void sTitleReleace(plat::Window& frm);
  void mnuTitleBer_Click();
  void mnuOption_Click();
  void Form_MouseDown(int button, int shift, int x, int y);
  void Form_MouseUp(int button, int shift, int x, int y);
  void PicView_DblClick();

  // Loads and shows the options dialog without waiting for it.
  void showOptions();
  // Called by the options dialog when it has unloaded, to let it go.
  void releaseOptions();

private:
  std::unique_ptr<frmOptions> options_;
  std::unique_ptr<frmOptions> retiredOptions_;  // freed once its handlers have returned
  bool ending_ = false;
};

// The one display window of the program (null before Main creates it).
Form1* TheForm1();

// What an empty grid cell shows, and what a skin's transparent pixels are laid over: a dark
// neutral grey that sits quietly beside both light and black key caps over a game.
constexpr plat::Color kGridBackground = plat::rgb(64, 64, 64);

// The display window's outer size for the grid CurCols × CurRows, with or without frame.
void gridWindowSize(bool frameless, int& width, int& height);
// How many slots of the current profile the grid shows: its key count, kept within the 12
// slots a profile has (only a damaged setting.dat holds more, or fewer than none).
int shownKeyCount();

// Module procedures of the display window.
void LoadSkin();
void LayoutGrid(int16 cols, int16 rows);
void DrawAllKeys();
int SetTopmost(plat::Window& frm, int16 mode);

// Data files.
void LoadKeyDefs();
void LoadProfiles();
void SaveProfiles();
void ReadSettings();
void WriteSettings();
void reportUnsavedFile(const std::string& path);  // a data file the end could not save

// The program: refuses a second copy, shows the display window and runs until it closes.
int Main();

}  // namespace lumatap
