// The system services of the Windows backend, on Windows itself (under Wine here): files
// replaced as a whole or not at all, folder listings, the program folder, code page 932
// whatever the system's code page is, the single-instance claim, and the stream page's
// server on Winsock.
//
// A plain program rather than a test framework, so that it builds with the cross compiler
// alone: each check prints what failed, and the exit code counts the failures.
//   lumatap_win32_tests.exe                  all checks
//   lumatap_win32_tests.exe --foreign-locale all checks, on a system whose code page is not 932
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/stream.h"
#include "platform/system.h"

namespace {

int g_failures = 0;

void check(bool ok, const char* what, int line) {
  if (ok) return;
  ++g_failures;
  std::printf("FAILED line %d: %s\n", line, what);
}
#define CHECK(expr) check((expr), #expr, __LINE__)

std::string hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X ", c);
    out += buf;
  }
  return out;
}

// A fresh folder for the file checks, as a program path (UTF-8, '\').
std::string scratchFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring dir = std::wstring(temp) + L"lumatap-win32-tests-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(dir.c_str(), nullptr);
  int n = WideCharToMultiByte(CP_UTF8, 0, dir.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, dir.c_str(), -1, utf8.data(), n, nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(n - 1));
  return utf8;
}

std::wstring wide(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
  out.resize(static_cast<std::size_t>(n - 1));
  return out;
}

std::string contents(const std::string& path) {
  std::string bytes;
  if (!plat::readFile(path, bytes)) return "<unreadable>";
  return bytes;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& n : names) {
    if (n == name) return true;
  }
  return false;
}

void filesAreReadAndAttributed(const std::string& dir) {
  const std::string file = dir + "\\keylist.dat";
  const std::string bytes("1\t\xb7\xac\r\n\0tail", 11);  // CP932 bytes, CR LF and a NUL kept as they are
  CHECK(plat::replaceFile(file, bytes));
  CHECK(contents(file) == bytes);
  CHECK(plat::fileAttributes(file) == 1);
  CHECK(plat::fileAttributes(dir) == 0);
  CHECK(plat::fileAttributes(dir + "\\absent.dat") == -1);
  CHECK(plat::fileAttributes("") == -1);

  std::string untouched = "kept";
  CHECK(!plat::readFile(dir, untouched));  // a folder is no file
  CHECK(!plat::readFile(dir + "\\absent.dat", untouched));
  CHECK(untouched == "kept");
}

void aReplacedFileIsWholeOrUntouched(const std::string& dir) {
  const std::string file = dir + "\\setting.dat";
  const std::string temp = file + ".tmp~";
  CHECK(plat::replaceFile(file, "a long first version\r\n"));
  CHECK(plat::replaceFile(file, "short\r\n"));
  CHECK(contents(file) == "short\r\n");  // nothing of the longer version left behind
  CHECK(plat::fileAttributes(temp) == -1);

  // Another program holding the file open, without or with sharing: the swap cannot
  // happen, and the old file stays as it was with no temporary file beside it.
  for (DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}}) {
    HANDLE held = CreateFileW(wide(file).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(held != INVALID_HANDLE_VALUE);
    CHECK(!plat::replaceFile(file, "new\r\n"));
    CloseHandle(held);
    CHECK(contents(file) == "short\r\n");
    CHECK(plat::fileAttributes(temp) == -1);
  }
  CHECK(plat::replaceFile(file, "new\r\n"));
  CHECK(contents(file) == "new\r\n");

  // A folder that does not exist cannot take the file.
  CHECK(!plat::replaceFile(dir + "\\absent\\lumatap.ini", "x"));
}

void foldersListEveryEntry(const std::string& dir) {
  const std::string skins = dir + "\\skin";
  CreateDirectoryW(wide(skins).c_str(), nullptr);
  CreateDirectoryW(wide(skins + "\\default").c_str(), nullptr);
  CreateDirectoryW(wide(skins + "\\WASD黒ルコ").c_str(), nullptr);
  plat::replaceFile(skins + "\\readme.txt", "x");

  for (const std::string& path : {skins, skins + "\\"}) {
    std::vector<std::string> names = plat::listFolder(path);
    CHECK(names.size() == 5);
    CHECK(contains(names, "."));
    CHECK(contains(names, ".."));
    CHECK(contains(names, "default"));
    CHECK(contains(names, "WASD黒ルコ"));
    CHECK(contains(names, "readme.txt"));
  }
  CHECK(plat::listFolder(dir + "\\absent").empty());

  std::string folder = plat::programFolder();
  CHECK(!folder.empty());
  CHECK(folder.back() != '\\' && folder.back() != '/');
  CHECK(plat::fileAttributes(folder) == 0);
}

void textIsCodePage932WhateverTheSystemUses() {
  struct Case {
    const char* utf8;
    std::string cp932;
  } cases[] = {
      {"ルコ", "\x83\x8b\x83\x52"},
      {"ｷｬﾝｾﾙ", "\xb7\xac\xdd\xbe\xd9"},  // half-width katakana: one byte each
      {"↑", "\x81\xaa"},
      {"WASDスタンダード\t6\r\n",
       "WASD\x83\x58\x83\x5e\x83\x93\x83\x5f\x81\x5b\x83\x68\t6\r\n"},
      {"", ""},
  };
  for (const Case& c : cases) {
    const std::string out = plat::toCp932(c.utf8);
    if (out != c.cp932) std::printf("  toCp932(%s) gave %s\n", c.utf8, hex(out).c_str());
    CHECK(out == c.cp932);
    CHECK(plat::fromCp932(c.cp932) == c.utf8);
  }
}

void oneCopyAtATime() {
  CHECK(!plat::anotherInstanceRunning());
  CHECK(!plat::anotherInstanceRunning());  // asking again does not count itself

  // A second process sees the claim of this one.
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring cmd = L"\"" + std::wstring(self) + L"\" --instance-probe";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  CHECK(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  WaitForSingleObject(pi.hProcess, 30000);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CHECK(code == 1);
}

SOCKET tcpSocket() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const DWORD guard = 10000;  // a read that gets nothing fails the check instead of hanging
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&guard), sizeof guard);
  return s;
}

sockaddr_in loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// Reads until `end` has come (true) or the connection ends.
bool readUntil(SOCKET s, std::string& got, const std::string& end) {
  char chunk[4096];
  while (got.find(end) == std::string::npos) {
    const int n = recv(s, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    got.append(chunk, static_cast<std::size_t>(n));
  }
  return true;
}

// True once the other side has closed the connection, whatever it sent before.
bool endedByServer(SOCKET s) {
  char chunk[4096];
  for (;;) {
    const int n = recv(s, chunk, sizeof chunk, 0);
    if (n == 0 || (n < 0 && WSAGetLastError() == WSAECONNRESET)) return true;
    if (n < 0) return false;
  }
}

void theStreamPageServesAPageOfThisMachine() {
  WSADATA wsa;
  CHECK(WSAStartup(MAKEWORD(2, 2), &wsa) == 0);
  const std::string token = "0123456789abcdef0123456789abcdef";
  SOCKET probe = tcpSocket();
  sockaddr_in a = loopback(0);
  int size = sizeof a;
  bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(probe, reinterpret_cast<sockaddr*>(&a), &size);
  closesocket(probe);
  const int port = ntohs(a.sin_port);

  plat::publishStreamLayout({"{\"cols\":3}", "rgba", 4});
  plat::publishStreamLit(6, true);
  CHECK(plat::startStreamServer(port, token) == plat::StreamStart::Listening);
  SOCKET page = tcpSocket();
  a = loopback(port);
  CHECK(connect(page, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0);
  const std::string request = "GET /events?token=" + token + " HTTP/1.1\r\nHost: localhost:" +
                              std::to_string(port) + "\r\n\r\n";
  send(page, request.data(), static_cast<int>(request.size()), 0);
  std::string got;
  CHECK(readUntil(page, got, "event: lit\ndata: {\"lit\":6,\"hidden\":1}\n\n"));
  CHECK(got.find("HTTP/1.1 200 OK\r\n") == 0);
  CHECK(got.find("retry: 500\n\nevent: layout\ndata: {\"version\":4,\"layout\":{\"cols\":3}}\n\n") !=
        std::string::npos);
  plat::publishStreamLit(7, false);
  CHECK(readUntil(page, got, "event: lit\ndata: {\"lit\":7,\"hidden\":0}\n\n"));

  // Nobody else binds the port while the server has it, not even asking to share it.
  SOCKET other = tcpSocket();
  const BOOL on = TRUE;
  setsockopt(other, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
  CHECK(bind(other, reinterpret_cast<const sockaddr*>(&a), sizeof a) == SOCKET_ERROR);
  closesocket(other);

  plat::stopStreamServer();
  CHECK(endedByServer(page));
  closesocket(page);

  // A port another program listens on is said to be taken.
  SOCKET holder = tcpSocket();
  CHECK(bind(holder, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0);
  CHECK(listen(holder, 1) == 0);
  CHECK(plat::startStreamServer(port, token) == plat::StreamStart::PortTaken);
  closesocket(holder);
  CHECK(plat::startStreamServer(port, token) == plat::StreamStart::Listening);
  plat::stopStreamServer();
  WSACleanup();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string option = argc > 1 ? argv[1] : "";
  if (option == "--instance-probe") return plat::anotherInstanceRunning() ? 1 : 0;
  if (option == "--foreign-locale") {
    std::printf("system code page %u\n", GetACP());
    CHECK(GetACP() != 932);  // else the code page checks below prove nothing
  }

  const std::string dir = scratchFolder();
  filesAreReadAndAttributed(dir);
  aReplacedFileIsWholeOrUntouched(dir);
  foldersListEveryEntry(dir);
  textIsCodePage932WhateverTheSystemUses();
  oneCopyAtATime();
  theStreamPageServesAPageOfThisMachine();

  // Leave nothing behind.
  for (const char* f : {"\\keylist.dat", "\\setting.dat", "\\skin\\readme.txt"}) {
    DeleteFileW(wide(dir + f).c_str());
  }
  for (const char* d : {"\\skin\\default", "\\skin\\WASD黒ルコ", "\\skin", ""}) {
    RemoveDirectoryW(wide(dir + d).c_str());
  }

  std::printf("%s: %d failure(s)\n", g_failures ? "FAILED" : "passed", g_failures);
  return g_failures;
}
