// Routines of C++03 code whose exception specifications let listed classes pass
// (dynamic_spec.cpp, built as C++14, where such specifications still exist).
#pragma once

void ThrowListed();    // raises ESpecListed through throw(ESpecListed, std::logic_error)
void ThrowUnlisted();  // raises std::runtime_error through throw(ESpecListed)
