// The optional compression of published parts: zlib streams, told apart
// from plain JSON by their first byte (JSON documents start with '{').
#pragma once

#include <string>

namespace korvanel::tools::live {

// `text` as a zlib stream at the fastest level.
std::string deflateText(const std::string& text);

// Whether `payload` is a zlib stream rather than a JSON document.
bool isDeflated(const std::string& payload);

// The text of the zlib stream `payload`; false when it is damaged or would
// grow past `limit` bytes.
bool inflateText(const std::string& payload, std::string& text, size_t limit);

}  // namespace korvanel::tools::live
