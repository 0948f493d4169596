// Writing every generated file into one folder.
#pragma once

#include <string>

#include "scene.h"

namespace mediagen {

// With `treasureMask` every texture is flat: green on the gold, blue on the gems, cyan on the chest, black elsewhere, the light
// maps white, so that captures of the program show which pixels are treasure.
bool GenerateAll(const std::string& dir, const Scene& scene, const RoomInfo& info, bool treasureMask = false);
void PrintStats(const Scene& scene, const RoomInfo& info);

}  // namespace mediagen
