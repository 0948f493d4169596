// Mass-spring simulator used by the banner cloth: wind, gravity, drag, springs with
// damping, and semi-implicit Euler integration. Pinned masses never move.
#pragma once

#include <cstdint>
#include <vector>

namespace effects {

struct Vec3f {
  float x = 0, y = 0, z = 0;
};

struct ClothMass {
  Vec3f position;
  Vec3f spare;  // kept for layout; the banner does not use it
  Vec3f velocity;
  Vec3f force;
  float massFactor = 1;
  std::int32_t pinned = 0;
  std::vector<std::int32_t> springIndices;
};

struct ClothSpring {
  std::int32_t first = 0;
  std::int32_t second = 0;
  float restLength = 0;
  float stiffness = 0;
  float damping = 0;
  std::int32_t kind = 3;
};

class SpringSystem {
 public:
  SpringSystem() = default;
  virtual ~SpringSystem() = default;

  void Clear();
  int AddMass(const Vec3f& position, float massFactor, bool pinned);
  int AddSpring(const ClothSpring& spring);
  int MassCount() const { return static_cast<int>(masses.size()); }
  ClothMass& GetMass(int i) { return masses[static_cast<std::size_t>(i)]; }
  const ClothMass& GetMass(int i) const { return masses[static_cast<std::size_t>(i)]; }
  void SetWind(const Vec3f& w) { wind = w; }
  void Step(float dt) {
    ComputeForces();
    Integrate(dt);
  }
  void ComputeForces();
  virtual void Integrate(float dt);

  std::int32_t useGravity = 1;
  std::int32_t useDrag = 1;
  std::int32_t useWind = 1;
  Vec3f wind{0, 0, 0};
  Vec3f gravity{0, 0, -0.3f};
  float drag = 0.5f;
  std::vector<ClothMass> masses;
  std::vector<ClothSpring> springs;
  std::vector<std::int32_t> sliders;  // slider links; never filled by the banner
};

}  // namespace effects
