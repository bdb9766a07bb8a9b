// The crash reporter's report mailed to loopback peers (run-with-peers.sh starts them and checks
// every received message with Python's email package afterwards).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "support/win_process.h"

namespace {

std::string PeerDir() {
  const char* dir = std::getenv("VL_PEER_DIR");
  std::string path = "Z:" + std::string(dir ? dir : "") + "/";
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

TEST(PipelineMail, CrashReportReachesTheServerAndTheExchanger) {
  ASSERT_NE(std::getenv("VL_SMTP_AUTH"), nullptr) << "run through run-with-peers.sh";
  for (const char* mode : {"server", "direct"}) {
    testsupport::CapturedRun run = testsupport::RunCaptured(
        "\"" + testsupport::ExeFolder() + "crash_sample.exe\" mail " + mode, {}, 60000);
    EXPECT_EQ(run.exitCode, 1u) << mode;
    EXPECT_TRUE(testsupport::FileExists(PeerDir() + "crash" + mode + ".eml")) << mode;
  }
}

}  // namespace
