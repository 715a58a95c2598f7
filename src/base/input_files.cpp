#include "base/input_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/messages.h"

namespace {

std::FILE* openRegular(const char* path, const char* mode, bool report) {
  if (path == nullptr || path[0] == '\0') return nullptr;
  // O_NONBLOCK keeps the open from waiting for a writer on a named pipe.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    if (report) {
      msgNumbered(kMsgNotRegularFileLevel, kMsgNotRegularFile,
                  "* Fehler: %s ist keine regulaere Datei", path);
    }
    return nullptr;
  }
  // Regular files never block; reads go back to blocking mode all the same.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, mode);
  if (file == nullptr) ::close(fd);
  return file;
}

}  // namespace

std::FILE* fileOpenInput(const char* path, const char* mode) {
  return openRegular(path, mode, true);
}

std::FILE* fileProbeInput(const char* path) { return openRegular(path, "rb", false); }

bool fileIsRegular(const char* path) {
  if (path == nullptr || path[0] == '\0') return false;
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}
