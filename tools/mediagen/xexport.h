// The room as a .X file through the program's own writer.
#pragma once

#include <cstdint>
#include <vector>

#include "scene.h"

namespace mediagen {

// Compressed binary form ("xof 0303bzip0032"); false when the writer refuses the data.
bool ExportRoom(const Scene& scene, std::vector<uint8_t>* out, bool text = false);

}  // namespace mediagen
