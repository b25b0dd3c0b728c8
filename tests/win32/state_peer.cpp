// A second process that loads the same DLL: reads or writes the state
// record through the DLL's getters, and reads the shared block by name.
//   state_peer read          prints the record as the peer sees it
//   state_peer track N       calls TrackLoaded(N)
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/win32/dll_host.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  korvanel::wine::DllHost host;
  if (!host.loaded()) {
    std::printf("cannot load %s\n", korvanel::wine::dllPath().c_str());
    return 1;
  }
  auto* state = host.getter<unsigned char>("GetQuorvexState");
  if (std::strcmp(argv[1], "track") == 0 && argc > 2) {
    auto trackLoaded = host.resolve<korvanel::wine::DllHost::TrackLoadedFn>("TrackLoaded");
    trackLoaded(static_cast<uint32_t>(std::atoi(argv[2])));
    return 0;
  }
  int32_t playerIndex;
  std::memcpy(&playerIndex, state + 8, 4);
  korvanel::wine::BlockView block("$Quorvex2KORVANEL$");
  int blockSession = block.open() ? block.at<uint8_t>(127480) : -1;
  std::printf("trackLoaded=%d sessionActive=%d playerIndex=%d blockSession=%d\n", state[1],
              state[0], playerIndex, blockSession);
  return 0;
}
