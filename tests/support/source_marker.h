// Test support: the line of a source file that carries a "LINE-MARK: <mark>" comment, so that a
// test names the line it expects instead of counting it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

namespace testsupport {

// The number (from 1) of the first line of Folder/File that holds "LINE-MARK: <Mark>"; 0, and a
// test failure, when there is none.
inline uint32_t MarkerLine(const std::string& folder, const std::string& file,
                           const std::string& mark) {
  std::ifstream in(folder + "/" + file);
  std::string text;
  for (uint32_t line = 1; std::getline(in, text); ++line) {
    if (text.find("LINE-MARK: " + mark) != std::string::npos) return line;
  }
  ADD_FAILURE() << "no marker " << mark << " in " << file;
  return 0;
}

}  // namespace testsupport
