// Test helpers: a fixed clock, a file writer into memory, and a clean trace for each test.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/internal_errors.h"
#include "core/trace.h"
#include "runtime/exceptions.h"

using namespace vl;

namespace coretest {

inline core::TraceTime FixedTime() { return {2007, 3, 5, 14, 2, 11}; }

struct WrittenFiles {
  static inline std::map<std::string, std::string> Files;
  static inline int Writes = 0;
  static void Write(const std::string& path, const std::string& contents) {
    ++Writes;
    Files[path] = contents;
  }
};

class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::ClearTrace();
    core::SetTraceSwitches({true, true, false});
    core::SetTraceClock(FixedTime);
    WrittenFiles::Files.clear();
    WrittenFiles::Writes = 0;
    core::SetTraceFileWriter(WrittenFiles::Write);
    core::SetTraceFileName("C:\\App\\prog.log");
    core::Seams() = core::TSeams();
    ClearStepError();
  }
  void TearDown() override {
    core::SetTraceSwitches({});
    core::SetTraceClock(nullptr);
    core::SetTraceFileWriter(nullptr);
    core::SetTraceFileName("");
    core::ClearTrace();
    core::Seams() = core::TSeams();
  }
  // The last line without its date and time.
  static std::string LastLine() {
    auto lines = core::TraceLines();
    if (lines.empty()) return "<none>";
    const std::string prefix = "05/03/07 14:02:11  ";
    EXPECT_EQ(lines.back().compare(0, prefix.size(), prefix), 0) << lines.back();
    return lines.back().substr(prefix.size());
  }
};

}  // namespace coretest
