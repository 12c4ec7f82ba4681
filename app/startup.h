#pragma once
// Start and end of the program. This is the one place that knows both windows: it owns
// the display window for the whole run and the options dialog while that is loaded, runs
// the load and end sequences, and answers what the display asks of the program.

#include <memory>

#include "display/form1.h"
#include "app/stream_page.h"
#include "options/frmOptions.h"
#include "platform/system.h"

namespace lumatap {

class Program {
public:
  Program();
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  Form1 form;
  StreamPage stream{form};

  // The options dialog while it is loaded (null otherwise).
  frmOptions* options() const { return options_.get(); }

  // The display window's load sequence: settings, hook, skin, data files, grid, topmost.
  void Form_Load();
  // Every close request of the display window ends the program; none is refused.
  void Form_QueryUnload(bool& cancel);
  // The end sequence: hook off, settings and setting.dat written, every window closed.
  void mnuEnd_Click();
  // The hand-off of the display window to the options dialog and back, in one pair. The
  // display asks for the dialog (its menu item), the program takes the window from the
  // user and shows the dialog without waiting for it; when the dialog unloads, the program
  // gives the window back.
  void showOptions();
  void takeDisplayBack(const frmOptions& dialog, plat::ForeignWindow foreground);

private:
  std::unique_ptr<frmOptions> options_;
  std::unique_ptr<frmOptions> retiredOptions_;  // freed once its handlers have returned
  bool ending_ = false;
  bool saving_ = false;  // the end sequence is writing the files and reporting failures
};

// Refuses a second copy, shows the display window and runs until the last window closes.
int Main();

}  // namespace lumatap
