// Files only this user may read, such as korvanel-live's command token: on
// POSIX systems mode 0600 and the user's own; on Windows the user's profile
// folders already keep other users out, so there only the file's kind is checked.
#pragma once

#include <string>

namespace korvanel::tools {

// What reading a private file found.
enum class PrivateRead {
  kRead,     // `text` holds the file's first `limit` bytes
  kMissing,  // no such file
  kRefused,  // `error` says why: not a regular file, another user's, readable by others
  kFailed,   // `error` holds the system's reason
};

// Reads at most `limit` bytes of `path` without ever blocking on it (a FIFO
// is refused, not waited on), after checking that no other user can read or
// change it.
PrivateRead readPrivateFile(const std::string& path, size_t limit, std::string& text,
                            std::string& error);

// Writes `text` as the whole of `path`, created if missing, readable and
// writable by this user alone (an existing file's permissions are narrowed
// to that). Returns false with `error` set when it cannot.
bool writePrivateFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace korvanel::tools
