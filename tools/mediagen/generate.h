// Writing every generated file into one folder.
#pragma once

#include <string>

#include "scene.h"

namespace mediagen {

bool GenerateAll(const std::string& dir, const Scene& scene, const RoomInfo& info);
void PrintStats(const Scene& scene, const RoomInfo& info);

}  // namespace mediagen
