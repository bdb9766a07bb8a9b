// The crash reporter's report mailed and uploaded to loopback peers (run-with-peers.sh starts
// them and checks every received message and upload with Python's email package, and the
// uploaded minidumps with winedump, afterwards).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "support/peers.h"
#include "support/win_process.h"

namespace {

using testsupport::PeerDir;

TEST(PipelineMail, CrashReportReachesTheServerAndTheExchanger) {
  ASSERT_NE(std::getenv("VL_SMTP_AUTH"), nullptr) << "run through run-with-peers.sh";
  for (const char* mode : {"server", "direct"}) {
    testsupport::CapturedRun run = testsupport::RunCaptured(
        "\"" + testsupport::ExeFolder() + "crash_sample.exe\" mail " + mode, {}, 60000);
    EXPECT_EQ(run.exitCode, 1u) << mode;
    EXPECT_TRUE(testsupport::FileExists(PeerDir() + "crash" + mode + ".eml")) << mode;
  }
}

// An upload that arrives, after a raise and after a fault; one the server refuses, one it never
// answers and one to 0.0.0.0: a step error within the time-out (3 s), and the program ends as
// it would.
TEST(PipelineUpload, ArrivesOrEndsInAStepErrorWithinTheTimeOut) {
  ASSERT_NE(std::getenv("VL_HTTP_OK"), nullptr) << "run through run-with-peers.sh";
  const std::pair<const char*, const char*> rows[] = {
      // mode, the step error printed
      {"ok", nullptr},
      {"av", nullptr},
      {"fail500", "eeUploadError [Upload] The server answered 500: Internal error: not today"},
      {"silent", "eeUploadError [Upload] The server did not answer in time."},
      {"zero", "eeUploadError [Upload] Connection error: \"0.0.0.0 is not the address of a host"},
  };
  const std::string guidFile = testsupport::ExeFolder() + "VantorLog.guid";
  DeleteFileA(guidFile.c_str());
  for (const auto& [mode, printed] : rows) {
    const DWORD start = GetTickCount();
    testsupport::CapturedRun run = testsupport::RunCaptured(
        "\"" + testsupport::ExeFolder() + "crash_sample.exe\" upload " + mode, {}, 60000);
    EXPECT_EQ(run.exitCode, 1u) << mode;
    EXPECT_LT(GetTickCount() - start, 20000u) << mode;
    EXPECT_EQ(run.output.find(std::string("step error: ") + (printed ? printed : "")),
              printed ? run.output.find("step error: ") : std::string::npos)
        << mode << ": " << run.output;
  }
  EXPECT_TRUE(testsupport::FileExists(guidFile)) << "kept beside the log";
}

}  // namespace
