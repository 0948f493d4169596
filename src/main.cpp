// Process entry only: the one application object runs the program.
#include "scene/scene_app.h"

namespace {
SceneApp theApp;
}

int main(int argc, char** argv) { return theApp.Main(argc, argv); }
