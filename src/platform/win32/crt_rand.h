// The C runtime's random generator as the program was designed with it:
// state = state * 214013 + 2531011 (32-bit), value = (state >> 16) & 0x7FFF. Using our own
// copy keeps sequences identical on every platform, so seeded runs are reproducible.
#pragma once

namespace win32 {

constexpr int CRT_RAND_MAX = 0x7FFF;

void crt_srand(unsigned seed);
int crt_rand();

}  // namespace win32
