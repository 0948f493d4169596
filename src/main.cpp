// Process entry only: hands the command line to the host.
#include <cstdio>

int main(int argc, char** argv) {
  (void)argc;
  (void)argv;
  std::fprintf(stderr, "hoardel3d: the saver is not built yet\n");
  return 1;
}
