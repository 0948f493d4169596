// Contact sheet and software renders of the generated room, for a person to look at.
#pragma once

#include <string>

#include "scene.h"

namespace mediagen {

// Writes contact-sheet.png (every texture and light map) and view-1.png .. view-6.png.
bool WritePreview(const std::string& dir, const Scene& scene, const RoomInfo& info);

}  // namespace mediagen
