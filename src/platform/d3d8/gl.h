// OpenGL 3.3 core entry points for the Direct3D stand-in (resolved through libglvnd).
#pragma once

#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/glcorearb.h>

#ifndef GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
#define GL_COMPRESSED_RGBA_S3TC_DXT1_EXT 0x83F1
#define GL_COMPRESSED_RGBA_S3TC_DXT3_EXT 0x83F2
#define GL_COMPRESSED_RGBA_S3TC_DXT5_EXT 0x83F3
#endif

namespace d3d8 {
// Clears GL's sticky error flags, so that the next glGetError speaks of what follows.
inline void DrainGlErrors() {
  while (glGetError() != GL_NO_ERROR) {
  }
}
}  // namespace d3d8
