// The fastest level: the parts are JSON with long repeated key names, and
// even level 1 takes most of them away for little time on the publisher.
#include "tools/live/mqtt_deflate.h"

#include <zlib.h>

namespace korvanel::tools::live {

std::string deflateText(const std::string& text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()),
                Z_BEST_SPEED) != Z_OK) {
    return text;  // sent plain, which the follower reads as well
  }
  out.resize(size);
  return out;
}

bool isDeflated(const std::string& payload) {
  return payload.size() >= 2 && static_cast<unsigned char>(payload[0]) == 0x78;
}

bool inflateText(const std::string& payload, std::string& text, size_t limit) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(payload.data()));
  stream.avail_in = static_cast<uInt>(payload.size());
  std::string out;
  char chunk[64 * 1024];
  int rc = Z_OK;
  while (rc == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof chunk;
    rc = inflate(&stream, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - stream.avail_out);
    if (out.size() > limit || (rc == Z_BUF_ERROR && stream.avail_in == 0)) break;
  }
  inflateEnd(&stream);
  if (rc != Z_STREAM_END) return false;
  text = std::move(out);
  return true;
}

}  // namespace korvanel::tools::live
