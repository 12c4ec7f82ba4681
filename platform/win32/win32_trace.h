#pragma once
// The note a failed system call leaves for a debugger, written by the program and by
// keyhook.dll alike. Header-only: the library is built on its own and links nothing of
// the program's.

#include <windows.h>

#include <string>
#include <string_view>

namespace plat::win32 {

// Notes that `what` (UTF-8) failed, with the system's text for GetLastError(), as one
// line of debug output. `from` names a library that notes it, in front; the program's own
// notes have none. Never called with anything about a key.
inline void traceFailure(std::string_view what, std::wstring_view from = {}) {
  const DWORD error = GetLastError();  // before anything below can change it
  std::wstring line(from);
  if (!from.empty()) line += L": ";
  if (!what.empty()) {
    const int size = static_cast<int>(what.size());
    const int n = MultiByteToWideChar(CP_UTF8, 0, what.data(), size, nullptr, 0);
    const std::size_t at = line.size();
    line.resize(at + static_cast<std::size_t>(n));
    MultiByteToWideChar(CP_UTF8, 0, what.data(), size, line.data() + at, n);
  }
  line += L" failed: error " + std::to_wstring(error);
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (n > 0) {
    std::wstring_view message(text, n);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
      message.remove_suffix(1);
    }
    line += L" (";
    line += message;
    line += L')';
  }
  if (text) LocalFree(text);
  line += L'\n';
  OutputDebugStringW(line.c_str());
}

}  // namespace plat::win32
