// Files and text for the headless backend, on POSIX.
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/system.h"

namespace plat {

using headless::localPath;

int fileAttributes(const std::string& path) {
  struct stat sb {};
  if (path.empty() || ::stat(localPath(path).c_str(), &sb) != 0) return -1;
  return S_ISDIR(sb.st_mode) ? 0 : 1;
}

bool readFile(const std::string& path, std::string& bytes) {
  int fd = ::open(localPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat sb {};
  if (::fstat(fd, &sb) != 0 || S_ISDIR(sb.st_mode)) {
    ::close(fd);
    return false;
  }
  std::string out;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  bytes.swap(out);
  return true;
}

bool replaceFile(const std::string& path, const std::string& bytes) {
  const std::string target = localPath(path);
  const std::string temp = target + ".tmp~";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

std::vector<std::string> listFolder(const std::string& path) {
  std::vector<std::string> names;
  DIR* d = ::opendir(localPath(path).c_str());
  if (!d) return names;
  while (dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
  ::closedir(d);
  return names;
}

bool randomBytes(unsigned char* bytes, std::size_t count) {
  const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = read(fd, bytes + got, count - got);
    if (n <= 0 && errno != EINTR) break;
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  close(fd);
  return got == count;
}

namespace {
// Converts with iconv; a character that cannot be converted becomes '?'.
std::string convert(const char* to, const char* from, const std::string& in, std::size_t badStep) {
  iconv_t cd = ::iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return in;
  std::string out;
  out.reserve(in.size() * 2);
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  char buf[1024];
  while (srcLeft > 0) {
    char* dst = buf;
    std::size_t dstLeft = sizeof buf;
    std::size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf, sizeof buf - dstLeft);
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // Invalid or incomplete input: skip one character and mark it.
      std::size_t step = 1;
      if (badStep == 0) {  // UTF-8 input: skip the whole sequence
        unsigned char c = static_cast<unsigned char>(*src);
        step = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      }
      step = std::min(step, srcLeft);
      src += step;
      srcLeft -= step;
      out.push_back('?');
      ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  ::iconv_close(cd);
  return out;
}
}  // namespace

std::string fromCp932(const std::string& bytes) { return convert("UTF-8", "CP932", bytes, 1); }
std::string toCp932(const std::string& utf8) { return convert("CP932", "UTF-8", utf8, 0); }

}  // namespace plat
