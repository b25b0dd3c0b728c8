// Owner-only files on Windows. Files under the user's profile are already
// closed to other users by the profile's access lists, which a file created
// there inherits; only the file's kind is checked, so that a device or a
// pipe in its place is not read.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "tools/platform/private_file.h"
#include "tools/platform/win32_error_text.h"

namespace korvanel::tools {
namespace {

// Closes the handle on every way out.
struct Handle {
  HANDLE h;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

}  // namespace

PrivateRead readPrivateFile(const std::string& path, size_t limit, std::string& text,
                            std::string& error) {
  Handle file{CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (file.h == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return PrivateRead::kMissing;
    error = win32ErrorText(code);
    return PrivateRead::kFailed;
  }
  if (GetFileType(file.h) != FILE_TYPE_DISK) {
    error = "it is not a regular file";
    return PrivateRead::kRefused;
  }
  text.assign(limit, '\0');
  size_t got = 0;
  while (got < limit) {
    DWORD n = 0;
    if (!ReadFile(file.h, &text[got], static_cast<DWORD>(limit - got), &n, nullptr)) {
      error = win32ErrorText(GetLastError());
      return PrivateRead::kFailed;
    }
    if (n == 0) break;
    got += n;
  }
  text.resize(got);
  return PrivateRead::kRead;
}

bool writePrivateFile(const std::string& path, const std::string& text, std::string& error) {
  Handle file{CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (file.h == INVALID_HANDLE_VALUE) {
    error = win32ErrorText(GetLastError());
    return false;
  }
  if (GetFileType(file.h) != FILE_TYPE_DISK) {
    error = "it is not a regular file";
    return false;
  }
  DWORD put = 0;
  if (!WriteFile(file.h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr) ||
      put != text.size()) {
    error = win32ErrorText(GetLastError());
    return false;
  }
  return true;
}

}  // namespace korvanel::tools
