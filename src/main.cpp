// Process entry only: the one application object runs the program.
#include <malloc.h>

#include "scene/scene_app.h"

namespace {
SceneApp theApp;
}

int main(int argc, char** argv) {
  // The loading's worker allocates in the main heap: a second heap of its own would keep the
  // pictures it decoded (tens of MB) in the process for the whole run.
  mallopt(M_ARENA_MAX, 1);
  return theApp.Main(argc, argv);
}
