// Procedural textures of the room and its effects.
#pragma once

#include <string>
#include <vector>

#include "image.h"

namespace mediagen {

enum class TexFormat { Jpeg, Dds, Tga };

struct TextureFile {
  std::string name;
  TexFormat format;
  Image image;
};

// Every texture member of the scene archive except the light maps, in no particular order.
std::vector<TextureFile> BuildTextures();
// One texture by member name (empty image if unknown); used by the preview.
Image BuildTexture(const std::string& name);
// The small logo bitmap of archive 453.
Image BuildLogoBitmap();
Color GoldShade(float k);

}  // namespace mediagen
