// POSIX side of the private folders: the kernel's random source and folders
// made for the owner alone.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#if defined(__linux__)
#include <sys/random.h>
#endif

#include "system/platform.h"

namespace sys::platform {

bool RandomBytes(void* buffer, size_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  while (count > 0) {
#if defined(__linux__)
    const ssize_t got = getrandom(out, count, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    const size_t taken = static_cast<size_t>(got);
#else
    // getentropy hands out at most 256 bytes per call.
    const size_t taken = count < 256 ? count : 256;
    if (getentropy(out, taken) != 0) return false;
#endif
    out += taken;
    count -= taken;
  }
  return true;
}

std::string PrivateTempRoot() {
  std::string root = KnownFolderPath(KnownFolder::Temp);
  if (!root.empty() && root.back() != '/') root += '/';
  return root;
}

bool CreatePrivateFolder(const std::string& path) {
  std::string native = path;
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  // mkdir fails on any existing name, a link (even a dangling one) included,
  // so nothing someone else put there is ever taken over.
  if (native.empty() || mkdir(native.c_str(), S_IRWXU) != 0) return false;
  // The umask may have taken bits away from the owner: set exactly 0700 on
  // the folder just made, reached without following a link.
  const int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    rmdir(native.c_str());
    return false;
  }
  const bool protectedOk = fchmod(fd, S_IRWXU) == 0;
  close(fd);
  if (!protectedOk) rmdir(native.c_str());
  return protectedOk;
}

}  // namespace sys::platform
