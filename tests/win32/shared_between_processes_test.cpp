// Two processes that load the DLL share one state record (the DLL's shared
// section) and one shared block (by name).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/test_support.h"
#include "tests/win32/dll_host.h"

namespace korvanel::wine {
namespace {

std::string runPeer(const std::string& arguments) {
  std::string command = "\"" + windowsPath(STATE_PEER_PATH) + "\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return "no pipe";
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  std::string buffer = command;
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
    return "cannot start peer";
  }
  CloseHandle(writeEnd);
  std::string output;
  char chunk[256];
  DWORD n = 0;
  while (ReadFile(readEnd, chunk, sizeof chunk, &n, nullptr) && n > 0) output.append(chunk, n);
  WaitForSingleObject(process.hProcess, 30000);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(readEnd);
  return output;
}

TEST(SharedBetweenProcesses, StateRecordAndBlockAreOneForAllProcesses) {
  korvanel::testing::ScratchFolder folder;
  DllHost host;
  ASSERT_TRUE(host.loaded());
  ASSERT_NE(host.create(), nullptr);
  host.call<void>(kStartup, int32_t{0});
  host.call<void>(kStartSession);
  host.resolve<DllHost::TrackLoadedFn>("TrackLoaded")(1);

  std::string seen = runPeer("read");
  EXPECT_NE(seen.find("trackLoaded=1 sessionActive=1 playerIndex=-1 blockSession=1"),
            std::string::npos)
      << seen;

  runPeer("track 5");
  EXPECT_EQ(host.getter<unsigned char>("GetQuorvexState")[1], 5);

  host.call<void>(kEndSession);
  host.call<void>(kShutdown);
  host.destroyThroughExport();
}

}  // namespace
}  // namespace korvanel::wine
