#include "base/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/messages.h"

std::FILE* inputFileOpen(const char* name, bool report) {
  if (name == nullptr || name[0] == '\0') {
    errno = ENOENT;
    return nullptr;
  }
  // O_NONBLOCK: opening a pipe without a writer returns at once instead of
  // waiting for one; the file type is then checked on the open descriptor,
  // so the file cannot change between the check and the read.
  const int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    if (report) {
      msgNumbered(kMsgNotRegularFileLevel, kMsgNotRegularFile,
                  "* Fehler: %s ist keine regulaere Datei", name);
    }
    errno = EINVAL;
    return nullptr;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* f = fdopen(fd, "rb");
  if (f == nullptr) close(fd);
  return f;
}

bool inputFileIsRegular(const char* name) {
  struct stat st {};
  return name != nullptr && stat(name, &st) == 0 && S_ISREG(st.st_mode);
}

bool inputFileIsSpecial(const char* name) {
  struct stat st {};
  return name != nullptr && stat(name, &st) == 0 && !S_ISREG(st.st_mode);
}
