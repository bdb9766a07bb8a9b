// A raise from machine code with known values in every callee-saved register: the raise hook
// must record exactly these for the thrower (the routine itself calls the C++ runtime's throw).
#pragma once

#include <cstdint>

extern "C" void ThrowWithPatterns();

namespace capturetest {
#if defined(__x86_64__)
constexpr uint64_t PatternRbx = 0x1111111111111111ull, PatternRsi = 0x2222222222222222ull,
                   PatternRdi = 0x3333333333333333ull, PatternR12 = 0x4444444444444444ull,
                   PatternR13 = 0x5555555555555555ull, PatternR14 = 0x6666666666666666ull,
                   PatternR15 = 0x7777777777777777ull, PatternRbp = 0x1999999999999999ull;
#else
constexpr uint32_t PatternEbx = 0x11111111u, PatternEsi = 0x22222222u, PatternEdi = 0x33333333u,
                   PatternEbp = 0x19999999u;
#endif
}  // namespace capturetest
