// The system's own words for a Win32 error code; Windows builds only.
#pragma once

#include <string>

namespace korvanel::tools {

// The system's message for `code` without its line end, followed by
// " (error CODE)"; just the number where the system has no message.
std::string win32ErrorText(unsigned long code);

}  // namespace korvanel::tools
