// The live timing page's files, embedded at build time from tools/live/web.
#pragma once

#include <cstddef>
#include <string_view>

namespace korvanel::tools::live {

struct WebAsset {
  const char* path;  // as requested, "/live.js"
  const char* contentType;
  std::string_view content;
};

// The asset served at `path` ("/" is the page), or null.
const WebAsset* findWebAsset(std::string_view path);

}  // namespace korvanel::tools::live
