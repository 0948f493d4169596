// hoardel-xdump FILE [--cells SIZE]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "xdump.h"

int main(int argc, char** argv) {
  xdump::Options o;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--cells") == 0 && i + 1 < argc) {
      char* end = nullptr;
      o.cellSize = std::strtof(argv[++i], &end);
      if (!end || *end || !(o.cellSize >= 0)) {
        std::fprintf(stderr, "hoardel-xdump: bad cell size \"%s\"\n", argv[i]);
        return 2;
      }
      o.cells = true;
    } else if (o.file.empty() && argv[i][0] != '-') {
      o.file = argv[i];
    } else {
      o.file.clear();
      break;
    }
  }
  if (o.file.empty()) {
    std::fprintf(stderr, "usage: hoardel-xdump FILE [--cells SIZE]\n");
    return 2;
  }
  std::string out, error;
  int rc = xdump::Dump(o, &out, &error);
  std::fwrite(out.data(), 1, out.size(), stdout);
  if (rc) std::fprintf(stderr, "hoardel-xdump: %s\n", error.c_str());
  return rc;
}
