#include "platform/win32/crt_rand.h"

#include <cstdint>

namespace win32 {

namespace {
std::uint32_t g_state = 1;
}  // namespace

void crt_srand(unsigned seed) { g_state = seed; }

int crt_rand() {
  g_state = g_state * 214013u + 2531011u;
  return static_cast<int>((g_state >> 16) & 0x7FFFu);
}

}  // namespace win32
