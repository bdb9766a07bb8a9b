// What the fuzz targets share: a property check that stops the run, and the log's text measure.
#pragma once

#include <cstdlib>
#include <string>

// A property that must hold for every input: a failing one ends the run as a finding.
inline void Check(bool ok) {
  if (!ok) std::abort();
}

// The characters of a log text apart from its line breaks: what a load may neither lose nor add.
inline size_t TextChars(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += (c != '\r' && c != '\n');
  return n;
}
