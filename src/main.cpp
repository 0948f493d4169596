// Process entry only: hands the command line to the host.
#include <cstdio>
#include <cstring>

#include "config/print_settings.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--print-settings") == 0) return PrintSettings(stdout);
  std::fprintf(stderr, "hoardel3d: the saver is not built yet\n");
  return 1;
}
