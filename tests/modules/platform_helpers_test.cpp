// The activation rule in real processes, and the small platform helpers: registry text, the
// process window, the default character set.
#include <gtest/gtest.h>

#include "datablock/data_block_writer.h"
#include "modules/default_charset.h"
#include "modules/probe_files.h"
#include "modules/process_window.h"
#include "modules/registry_text.h"

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

TEST(ReadRegistryText, ValuesMissingValuesAndMissingKeys) {
  const char* key = "Software\\VantorLogTests\\Registry";
  HKEY created = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &created, nullptr),
      ERROR_SUCCESS);
  const char text[] = "mail.exe %1";
  RegSetValueExA(created, "Command", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
  RegSetValueExA(created, "", 0, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 5);
  RegCloseKey(created);

  EXPECT_EQ(modules::ReadRegistryText(HKEY_CURRENT_USER, std::string("\\") + key, "Command"),
            "mail.exe %1");
  EXPECT_EQ(modules::ReadRegistryText(HKEY_CURRENT_USER, key, ""), "dflt");
  std::string result = "kept";
  modules::ReadRegistryText(HKEY_CURRENT_USER, key, "Missing", result);
  EXPECT_EQ(result, "");
  result = "kept";
  modules::ReadRegistryText(HKEY_CURRENT_USER, "Software\\VantorLogTests\\NoSuchKey", "x", result);
  EXPECT_EQ(result, "kept") << "a key that cannot be opened changes nothing";
  RegDeleteKeyA(HKEY_CURRENT_USER, key);
}

TEST(FindProcessWindow, VisibleUnownedNonToolWindowsOnly) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "VantorLogProbeWindow";
  RegisterClassA(&wc);
  EXPECT_EQ(modules::FindProcessWindow(GetCurrentProcessId()), nullptr);

  HWND tool = CreateWindowExA(WS_EX_TOOLWINDOW, wc.lpszClassName, "tool", WS_POPUP | WS_VISIBLE, 0,
                              0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  HWND hidden = CreateWindowExA(0, wc.lpszClassName, "hidden", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_TRUE(tool && hidden);
  EXPECT_EQ(modules::FindProcessWindow(GetCurrentProcessId()), nullptr);

  HWND main = CreateWindowExA(0, wc.lpszClassName, "main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  HWND owned = CreateWindowExA(0, wc.lpszClassName, "owned", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                               10, 10, main, nullptr, wc.hInstance, nullptr);
  ASSERT_TRUE(main && owned);
  EXPECT_EQ(modules::FindProcessWindow(GetCurrentProcessId()), main);
  DestroyWindow(main);
  EXPECT_EQ(modules::FindProcessWindow(GetCurrentProcessId()), nullptr);

  HWND app =
      CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_APPWINDOW, wc.lpszClassName, "app",
                      WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  EXPECT_EQ(modules::FindProcessWindow(GetCurrentProcessId()), app)
      << "a tool window that is also an application window counts";
  for (HWND w : {tool, hidden, app}) DestroyWindow(w);
}

// The character set each ANSI code page stands for, written out (CTest also runs this under
// code page 936).
TEST(GetDefaultCharset, MatchesTheAnsiCodePage) {
  struct Known {
    UINT codePage;
    BYTE charset;
  } known[] = {{1252, ANSI_CHARSET},    {936, GB2312_CHARSET},      {932, SHIFTJIS_CHARSET},
               {949, HANGEUL_CHARSET},  {950, CHINESEBIG5_CHARSET}, {1250, EASTEUROPE_CHARSET},
               {1251, RUSSIAN_CHARSET}, {1253, GREEK_CHARSET},      {1254, TURKISH_CHARSET}};
  const UINT codePage = GetACP();
  for (const Known& k : known) {
    if (k.codePage == codePage) {
      EXPECT_EQ(modules::GetDefaultCharset(), k.charset) << "code page " << codePage;
      return;
    }
  }
  GTEST_SKIP() << "code page " << codePage << " is not in the table";
}
