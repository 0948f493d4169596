// Baked firelight: ten flicker frames for the floor, the vault and the two wall layouts.
#pragma once

#include <string>
#include <vector>

#include "image.h"
#include "scene.h"

namespace mediagen {

struct LightMapFile {
  std::string name;  // "floor_IL0001.jpg" ...
  Image image;
};

constexpr int kLightMapSize = 256;

// The 40 light maps in archive order (ceiling, floor, wall1, wall2; frames 1..10 each).
std::vector<LightMapFile> BakeLightMaps(const Scene& scene, const RoomInfo& info);

// Firelight reaching a point with a normal in frame `frame` (0..9), before the light map's
// own clamp; exposed for the preview.
Color FireLight(const RoomInfo& info, Vec3 p, Vec3 n, int frame, bool occlusion);

// The room's light-map projection for a surface mesh: world point -> (u, v) in x and y.
// The mesh's box is seen along its thinnest axis; v runs against the box's y.
Mat4 LightMapProjection(const Mesh& surface, const Mat4& surfaceWorld);

}  // namespace mediagen
