// Owner-only files on POSIX systems: mode 0600, owned by this user, opened
// without blocking so that a FIFO in the file's place cannot hang the tool.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/platform/private_file.h"

namespace korvanel::tools {
namespace {

// Closes the descriptor on every way out.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

std::string modeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

PrivateRead readPrivateFile(const std::string& path, size_t limit, std::string& text,
                            std::string& error) {
  Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
  if (file.fd < 0) {
    if (errno == ENOENT) return PrivateRead::kMissing;
    error = std::strerror(errno);
    return PrivateRead::kFailed;
  }
  struct stat st {};
  if (::fstat(file.fd, &st) != 0) {
    error = std::strerror(errno);
    return PrivateRead::kFailed;
  }
  if (!S_ISREG(st.st_mode)) {
    error = "it is not a regular file";
    return PrivateRead::kRefused;
  }
  if (st.st_uid != ::geteuid()) {
    error = "it belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    return PrivateRead::kRefused;
  }
  if ((st.st_mode & 077) != 0) {
    error = "other users can read or change it (mode " + modeText(st.st_mode) +
            "): run chmod 600 on it, or delete it to have a new one written";
    return PrivateRead::kRefused;
  }
  text.assign(limit, '\0');
  size_t got = 0;
  while (got < limit) {
    ssize_t n = ::read(file.fd, &text[got], limit - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::strerror(errno);
      return PrivateRead::kFailed;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  text.resize(got);
  return PrivateRead::kRead;
}

bool writePrivateFile(const std::string& path, const std::string& text, std::string& error) {
  // O_NONBLOCK: opening a FIFO for writing fails at once instead of waiting
  // for a reader.
  Descriptor file{::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY,
                         S_IRUSR | S_IWUSR)};
  struct stat st {};
  if (file.fd < 0 || ::fstat(file.fd, &st) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = "it is not a regular file";
    return false;
  }
  // A file that was there keeps its mode through open(): narrow it first,
  // before the new text is in it.
  if (::fchmod(file.fd, S_IRUSR | S_IWUSR) != 0 || ::ftruncate(file.fd, 0) != 0) {
    error = std::strerror(errno);
    return false;
  }
  size_t put = 0;
  while (put < text.size()) {
    ssize_t n = ::write(file.fd, text.data() + put, text.size() - put);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = std::strerror(errno);
      return false;
    }
    put += static_cast<size_t>(n);
  }
  if (::close(file.fd) != 0) {
    file.fd = -1;
    error = std::strerror(errno);
    return false;
  }
  file.fd = -1;
  return true;
}

}  // namespace korvanel::tools
