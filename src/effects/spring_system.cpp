#include "effects/spring_system.h"

#include <cmath>

namespace effects {

void SpringSystem::Clear() {
  masses.clear();
  springs.clear();
  sliders.clear();
}

int SpringSystem::AddMass(const Vec3f& position, float massFactor, bool pinned) {
  ClothMass m;
  m.position = position;
  m.massFactor = massFactor;
  m.pinned = pinned ? 1 : 0;
  masses.push_back(std::move(m));
  return static_cast<int>(masses.size()) - 1;
}

int SpringSystem::AddSpring(const ClothSpring& spring) {
  springs.push_back(spring);
  return static_cast<int>(springs.size()) - 1;
}

void SpringSystem::ComputeForces() {
  for (ClothMass& m : masses) {
    m.force = {0, 0, 0};
    if (m.pinned) continue;
    if (useWind) {
      m.force.x += wind.x;
      m.force.y += wind.y;
      m.force.z += wind.z;
    }
    if (useGravity) {
      m.force.x += gravity.x * m.massFactor;
      m.force.y += gravity.y * m.massFactor;
      m.force.z += gravity.z * m.massFactor;
    }
    float k = useDrag ? drag : 0.002f;
    m.force.x -= k * m.velocity.x;
    m.force.y -= k * m.velocity.y;
    m.force.z -= k * m.velocity.z;
  }
  const int n = MassCount();
  for (const ClothSpring& s : springs) {
    if (s.first < 0 || s.second < 0 || s.first >= n || s.second >= n) continue;
    ClothMass& a = masses[static_cast<std::size_t>(s.first)];
    ClothMass& b = masses[static_cast<std::size_t>(s.second)];
    Vec3f d{b.position.x - a.position.x, b.position.y - a.position.y, b.position.z - a.position.z};
    float len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    // Coincident masses have no direction to push along; skip instead of dividing by zero.
    if (!(len > 0)) continue;
    float fs = (len - s.restLength) * s.stiffness / 2;
    Vec3f dv{b.velocity.x - a.velocity.x, b.velocity.y - a.velocity.y, b.velocity.z - a.velocity.z};
    float fd = (dv.x * d.x + dv.y * d.y + dv.z * d.z) * s.damping / len;
    float scale = -(fs + fd) / len;
    Vec3f f{d.x * scale, d.y * scale, d.z * scale};
    a.force.x -= f.x;
    a.force.y -= f.y;
    a.force.z -= f.z;
    b.force.x += f.x;
    b.force.y += f.y;
    b.force.z += f.z;
    // A free mass tied to a pinned one feels the spring twice.
    if (a.pinned && !b.pinned) {
      b.force.x += f.x;
      b.force.y += f.y;
      b.force.z += f.z;
    } else if (!a.pinned && b.pinned) {
      a.force.x -= f.x;
      a.force.y -= f.y;
      a.force.z -= f.z;
    }
  }
}

void SpringSystem::Integrate(float dt) {
  for (ClothMass& m : masses) {
    if (m.pinned) continue;
    m.velocity.x += m.force.x * dt * m.massFactor;
    m.velocity.y += m.force.y * dt * m.massFactor;
    m.velocity.z += m.force.z * dt * m.massFactor;
    m.position.x += m.velocity.x * dt;
    m.position.y += m.velocity.y * dt;
    m.position.z += m.velocity.z * dt;
  }
}

}  // namespace effects
