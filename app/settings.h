#pragma once
// The settings file lumatap.ini: where the display window stood, its frame, the skin and
// the profile, read once at load and written once at the end.

namespace lumatap {

class Form1;

// Places the window, switches its frame off when the file says so, and sets SkinName and
// ProfileName (defaults for what the file lacks).
void ReadSettings(Form1& form);
// The section [display]: minimum lit time, background colour, see-through background.
// Start-up reads it and applies it to the window before it is loaded; nothing writes it.
// A value that is missing, not a number or out of range leaves that setting's default.
void ReadDisplaySettings(Form1& form);
// Writes the five settings in one replacement of the file; tells the user when it cannot.
void WriteSettings(const Form1& form);

}  // namespace lumatap
