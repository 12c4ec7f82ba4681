#pragma once
// Handles given back when the scope that took them ends, so that no return on the way
// leaks one. Header-only and needing nothing but the system's headers: keyhook.dll uses
// them too. Each converts to the raw handle, so calls read as they would without it.

#include <windows.h>

#include <utility>

namespace plat::win32 {

// The device context of a window, or of the whole screen for nullptr.
class WindowDc {
 public:
  explicit WindowDc(HWND h) : hwnd_(h), dc_(GetDC(h)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(hwnd_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;

  operator HDC() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// An object selected into a device context; the one it took the place of goes back.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (old_) SelectObject(dc_, old_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A brush, pen, font or bitmap of one's own. It must not be selected into a device
// context when it goes.
template <typename T>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(T object) : object_(object) {}
  ~GdiObject() { reset(); }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  // Deletes the object held, then holds `object`.
  void reset(T object = nullptr) {
    if (object_) DeleteObject(object_);
    object_ = object;
  }
  operator T() const { return object_; }

 private:
  T object_ = nullptr;
};

// A kernel object's handle: a file, an event, a process, a token. Holds whatever the call
// returned, so the test after it is the one the call documents (nullptr, or
// INVALID_HANDLE_VALUE for CreateFileW); neither is closed.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  // Closes it before the scope ends; false when that failed, which for a file written to
  // means that its data may not all be there.
  bool close() {
    const HANDLE h = std::exchange(h_, nullptr);
    return h == nullptr || h == INVALID_HANDLE_VALUE || CloseHandle(h) != 0;
  }
  // For a call that hands back a new handle through a pointer.
  HANDLE* put() {
    close();
    return &h_;
  }
  operator HANDLE() const { return h_; }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace plat::win32
