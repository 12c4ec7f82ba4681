#pragma once
// What a backend implements for the portable widgets. Each call mirrors state that has
// just changed, or asks the windowing system for something only it can do. Backends hold
// no behaviour of their own: they report input back through the user*() entry points.

#include <string>

#include "platform/ui.h"

namespace plat::backend {

// A widget's state changed; mirror it. Called for every widget, windows included.
void sync(Widget& w, Change what);
// The widget is going away; free its native counterpart.
void destroy(Widget& w);
// Put the picture's surface on screen now.
void present(Picture& p);
// Frame and caption the window adds around its client area, as it is framed now.
void frameAllowance(const Window& w, int& extraWidth, int& extraHeight);
// Window placement.
void setTopmost(Window& w, bool on);
// The window's frame was switched (Change::Style came first); recompute it.
void frameChanged(Window& w);
void beginDragMove(Window& w);
// Dots per inch of the monitor that holds the window (the system's before it exists).
int monitorDpi(const Window& w);
// The window's see-through colour was switched on, off or changed.
void colorKeyChanged(Window& w);
// Starts the window's one-shot timer, replacing a pending one; stops it.
void startTimer(Window& w, int ms);
void stopTimer(Window& w);

MsgAnswer messageBox(Window* owner, const std::string& text, const std::string& title,
                     MsgButtons buttons, MsgIcon icon);
// Shows the menu; returns the position of the chosen item or -1.
int popupMenu(Window& owner, const Menu& menu);

void doEvents();
void runMessageLoop();
void quitMessageLoop();

}  // namespace plat::backend
