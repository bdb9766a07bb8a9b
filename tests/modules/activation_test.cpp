// The activation rule in real processes (activation_probe and a library carrying the crash
// reporter), and the restart of the program after an error.
#include <gtest/gtest.h>

#include "datablock/data_block_writer.h"
#include "modules/probe_files.h"

using namespace vl;

using namespace testsupport;

namespace {

// Runs a command line (or a bare program path) beside the tests; returns the exit code.
DWORD RunProbe(const std::string& path) {
  ChildProcess child(path[0] == '"' ? path : "\"" + path + "\"", ExeFolder());
  EXPECT_TRUE(child.Started()) << path;
  return child.Wait();
}

}  // namespace

TEST(Activation, OnlyABlockWithDebugInformationActivates) {
  const std::string probe = "activation_probe.exe";
  EXPECT_EQ(RunProbe(ExeFolder() + probe), 11u) << "no block: inactive, the options refused";

  std::string resource = ProbeCopy("active_resource.exe", probe);
  ASSERT_TRUE(AttachResource(resource, datablock::BuildResourceBlock(Payload("o", "d"))));
  EXPECT_EQ(RunProbe(resource), 10u);

  std::string trailer = ProbeCopy("active_trailer.exe", probe);
  ASSERT_TRUE(AttachTrailer(trailer, datablock::BuildTrailer(Payload("o", "d"))));
  EXPECT_EQ(RunProbe(trailer), 10u);

  datablock::TBytes packed = datablock::BuildResourceBlock(Payload("o", std::string(999, 'x')));
  packed.resize(packed.size() - 10);
  std::string damaged = ProbeCopy("inactive_damaged.exe", probe);
  ASSERT_TRUE(AttachResource(damaged, packed));
  EXPECT_EQ(RunProbe(damaged), 11u) << "a damaged block leaves the crash reporter inactive";
}

TEST(Activation, InALibraryNotesWhetherTheExecutableCarriesABlock) {
  datablock::TBytes block = datablock::BuildResourceBlock(Payload("o", "d"));
  std::string library = ProbeCopy("reporter_with_block.dll", "reporter_library.dll");
  ASSERT_TRUE(AttachResource(library, block));
  std::string bare = ProbeCopy("reporter_bare.dll", "reporter_library.dll");
  std::string plainExe = ExeFolder() + "activation_probe.exe";
  std::string blockExe = ProbeCopy("probe_with_trailer.exe", "activation_probe.exe");
  ASSERT_TRUE(AttachTrailer(blockExe, datablock::BuildTrailer(Payload("o", "d"))));

  auto run = [](const std::string& exe, const std::string& dll) {
    return RunProbe("\"" + exe + "\" library \"" + dll + "\"");
  };
  EXPECT_EQ(run(plainExe, library), 1u) << "active, the executable has no block";
  EXPECT_EQ(run(blockExe, library), 3u) << "active, the executable has one";
  EXPECT_EQ(run(blockExe, bare), 0u) << "the library's own block decides";
}

TEST(RestartOrTerminate, SecondInstanceWithTheSameCommandLineAndStartFolder) {
  std::string folder = testsupport::ExeFolder() + "restart_folder";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string marker = folder + "\\marker";
  DeleteFileA(marker.c_str());
  DeleteFileA((marker + ".second").c_str());
  std::string commandLine =
      "\"" + testsupport::ExeFolder() + "activation_probe.exe\" restart \"" + marker + "\"";
  testsupport::ChildProcess first(commandLine, folder);
  ASSERT_TRUE(first.Started());
  EXPECT_EQ(first.Wait(), 1u) << "the first instance ends with exit code 1";

  std::string second;
  for (int i = 0; i < 600 && second.empty(); ++i) {
    Sleep(50);
    second = testsupport::ReadFileText(marker + ".second");
  }
  ASSERT_FALSE(second.empty()) << "no second instance";
  EXPECT_EQ(second, commandLine + "\n" + folder);
}
