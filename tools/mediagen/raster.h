// A small software rasteriser for the generator's own previews and checks: perspective
// camera, depth buffer, perspective-correct attributes, a per-pixel shading callback.
#pragma once

#include <functional>
#include <vector>

#include "image.h"
#include "mesh.h"

namespace mediagen {

struct Camera {
  Vec3 eye, target;
  float fovY = 0.9f;
  float nearZ = 2.0f, farZ = 1500.0f;
};

struct Fragment {
  Vec3 world;
  Vec3 normal;
  Vec2 uv;
};

class Rasterizer {
 public:
  Rasterizer(int w, int h, const Camera& cam);
  // Shader returns the colour; alpha below 0.5 discards the pixel.
  using Shader = std::function<Color(const Fragment&)>;
  void Draw(const Mesh& mesh, const Mat4& world, const Shader& shade, bool cullBack = true);
  const Image& image() const { return img_; }
  Image& image() { return img_; }
  Mat4 view() const { return view_; }

 private:
  struct V {
    Vec3 view;  // camera space
    Vec3 world, normal;
    Vec2 uv;
  };
  void Triangle(const V& a, const V& b, const V& c, const Shader& shade);
  int w_, h_;
  Camera cam_;
  Mat4 view_;
  float focal_;
  Image img_;
  std::vector<float> depth_;
};

Mat4 LookAtLH(Vec3 eye, Vec3 at, Vec3 up);

}  // namespace mediagen
