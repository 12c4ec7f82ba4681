#pragma once
// Services of the operating system that the core needs. Each backend implements them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// ---- Files -------------------------------------------------------------------------
// Paths are UTF-8 and use '\' as the separator, as the program builds them from its
// folder; a backend translates them for its file system.

// 1: an existing file, 0: an existing folder, -1: the attributes cannot be read.
int fileAttributes(const std::string& path);

// Reads a whole file. False when it cannot be opened or read (a folder, no permission).
bool readFile(const std::string& path, std::string& bytes);

// Replaces a file as a whole: writes a temporary file beside it, flushes it to the disk
// and swaps it in, so a crash or a full disk leaves the old file or the new one, never
// half of one. False (and the old file untouched) when any step fails.
bool replaceFile(const std::string& path, const std::string& bytes);

// Names in a folder in the order the file system returns them, "." and ".." included.
// Empty when the folder cannot be listed.
std::vector<std::string> listFolder(const std::string& path);

// The folder that holds the program, without a trailing separator.
std::string programFolder();

// ---- Text --------------------------------------------------------------------------
// Data files are code page 932 whatever the system's locale; text inside is UTF-8.
std::string fromCp932(const std::string& bytes);
std::string toCp932(const std::string& utf8);

// ---- Screen ------------------------------------------------------------------------
struct ScreenMetrics {
  double twipsPerPixelX = 15.0;  // 1440 / logical dots per inch
  double twipsPerPixelY = 15.0;
  int captionHeight = 0;         // height of the display window's caption
  int frameWidth = 0;            // thickness of a sizing frame's vertical edge
  int frameHeight = 0;           // thickness of its horizontal edge
  int screenWidth = 0;
  int screenHeight = 0;
  int dpi = 96;                  // the system's dots per inch (96 at 100 %)
};
// The frame values are those of a window at `dpi` (0: the system's); the rest is the
// system's either way.
ScreenMetrics screenMetrics(int dpi = 0);

// ---- Time --------------------------------------------------------------------------
// A steady clock in microseconds since some fixed moment; only differences mean anything.
long long clockMicros();

// ---- Foreground -------------------------------------------------------------------
// A top-level window of any program, as the system names it; 0 names none.
using ForeignWindow = std::uintptr_t;
// The window in the foreground now, the one that has the keyboard.
ForeignWindow foregroundWindow();
// Gives the foreground back to that window, if it still exists.
void restoreForeground(ForeignWindow w);

// ---- Process -----------------------------------------------------------------------
// True when another copy of the program already runs. The first caller keeps the claim
// for the life of the process.
bool anotherInstanceRunning();

// Opens a web address with the user's browser. The result is not reported.
void shellOpen(const std::string& address);

// Fills `bytes` with random bytes from the system's generator, fit for a secret. False
// when the generator fails (the bytes are then not to be used).
bool randomBytes(unsigned char* bytes, std::size_t count);

// Puts text on the clipboard for the user to paste elsewhere. False when the clipboard
// could not be had (another program holds it).
bool setClipboardText(const std::string& text);

// Ends the process at once, without running the end sequence.
[[noreturn]] void terminateProcess(int code);

}  // namespace plat
