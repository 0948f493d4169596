// The report of hoardel-xdump: a .X model as the loader sees it.
#pragma once

#include <string>

namespace xdump {

struct Options {
  std::string file;
  bool cells = false;
  float cellSize = 0;
};

// Writes the report to out; returns 0 when the model loads, otherwise 1 with a message in
// *error.
int Dump(const Options& options, std::string* out, std::string* error);

}  // namespace xdump
