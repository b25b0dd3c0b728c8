# Writes OUTPUT, a C++ file holding every file of the web folder WEB as a
# byte array with its path and content type, for findWebAsset.
file(GLOB assets RELATIVE ${WEB} ${WEB}/*)
list(SORT assets)
set(arrays "")
set(table "")
set(index 0)
foreach(asset ${assets})
  file(READ ${WEB}/${asset} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  get_filename_component(ext ${asset} LAST_EXT)
  set(type "application/octet-stream")
  if(ext STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(ext STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  elseif(ext STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(ext STREQUAL ".svg")
    set(type "image/svg+xml")
  endif()
  string(APPEND arrays "const char asset${index}[] = {${bytes} 0};\n")
  string(APPEND table "    {\"/${asset}\", \"${type}\", {asset${index}, ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.tmp "// Generated from tools/live/web by embed_web.cmake: do not edit.
#include \"tools/live/web_assets.h\"

namespace korvanel::tools::live {
namespace {
${arrays}
const WebAsset assets[] = {
${table}};
}  // namespace

const WebAsset* findWebAsset(std::string_view path) {
  if (path == \"/\") path = \"/index.html\";
  for (const WebAsset& asset : assets) {
    if (path == asset.path) return &asset;
  }
  return nullptr;
}

}  // namespace korvanel::tools::live
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
