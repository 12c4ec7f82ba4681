// Notes when the X server's windows change: one line per damage report, with the time it
// arrived (CLOCK_MONOTONIC_RAW, microseconds, the clock Wine's QueryPerformanceCounter
// counts), the window and the rectangle. tools/measure.py runs it beside the program to
// see when a drawing reached the screen: under Wine that is later than the drawing call.
// Ends when its standard output is closed or the process is killed.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <stdio.h>
#include <time.h>

static double nowUs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC_RAW, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

// Windows that go away (or take no damage object, as input-only ones) are not errors here.
static int ignore(Display* d, XErrorEvent* e) {
  (void)d;
  (void)e;
  return 0;
}

int main(void) {
  Display* d = XOpenDisplay(NULL);
  int event = 0, error = 0;
  if (!d || !XDamageQueryExtension(d, &event, &error)) {
    fprintf(stderr, "xdamage_times: no display, or no DAMAGE extension\n");
    return 1;
  }
  XSetErrorHandler(ignore);
  Window root = DefaultRootWindow(d), r, p, *kids = NULL;
  unsigned n = 0;
  XSelectInput(d, root, SubstructureNotifyMask);
  XQueryTree(d, root, &r, &p, &kids, &n);
  for (unsigned i = 0; i < n; ++i) XDamageCreate(d, kids[i], XDamageReportRawRectangles);
  XFree(kids);
  XSync(d, False);
  printf("ready\n");
  fflush(stdout);
  for (;;) {
    XEvent e;
    XNextEvent(d, &e);
    const double t = nowUs();
    if (e.type == event + XDamageNotify) {
      const XDamageNotifyEvent* de = (const XDamageNotifyEvent*)&e;
      if (printf("%.1f %lu %d %d %d %d\n", t, de->drawable, de->area.x, de->area.y, de->area.width,
                 de->area.height) < 0 || fflush(stdout) != 0) {
        return 0;
      }
    } else if (e.type == CreateNotify) {
      XDamageCreate(d, e.xcreatewindow.window, XDamageReportRawRectangles);
    }
  }
}
