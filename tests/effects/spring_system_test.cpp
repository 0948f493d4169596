#include <gtest/gtest.h>

#include <cmath>

#include "effects/spring_system.h"

using effects::ClothSpring;
using effects::SpringSystem;
using effects::Vec3f;

namespace {
ClothSpring Spring(int a, int b, float rest) { return ClothSpring{a, b, rest, 15.0f, 0.1f, 3}; }
}  // namespace

TEST(SpringSystem, PinnedMassesNeverMoveAndPinnedPairsExertNothing) {
  SpringSystem s;
  s.wind = {3, 0, 0};
  s.AddMass({0, 0, 0}, 1, true);
  s.AddMass({5, 0, 0}, 1, true);
  s.AddSpring(Spring(0, 1, 1));  // stretched, but both ends fixed
  for (int i = 0; i < 50; ++i) s.Step(0.1f);
  EXPECT_FLOAT_EQ(s.GetMass(0).position.x, 0);
  EXPECT_FLOAT_EQ(s.GetMass(1).position.x, 5);
  EXPECT_FLOAT_EQ(s.GetMass(0).velocity.x, 0);
  EXPECT_FLOAT_EQ(s.GetMass(1).velocity.x, 0);
}

TEST(SpringSystem, ForcesMatchHandComputation) {
  SpringSystem s;
  s.useWind = 0;
  s.useGravity = 0;
  s.AddMass({0, 0, 0}, 1, false);
  s.AddMass({2, 0, 0}, 1, false);
  s.GetMass(1).velocity = {1, 0, 0};
  s.AddSpring(Spring(0, 1, 1));
  s.ComputeForces();
  // fs = (2-1)*15/2 = 7.5; fd = (1*2)*0.1/2 = 0.1; F = -(7.6)*(1,0,0); drag -0.5*v on B.
  EXPECT_NEAR(s.GetMass(0).force.x, 7.6f, 1e-5);
  EXPECT_NEAR(s.GetMass(1).force.x, -7.6f - 0.5f, 1e-5);
  // Semi-implicit Euler: the new velocity moves the position.
  s.Integrate(0.1f);
  EXPECT_NEAR(s.GetMass(0).velocity.x, 0.76f, 1e-5);
  EXPECT_NEAR(s.GetMass(0).position.x, 0.076f, 1e-5);
}

TEST(SpringSystem, FreeMassNextToPinnedFeelsDoubleForce) {
  SpringSystem s;
  s.useWind = 0;
  s.useGravity = 0;
  s.AddMass({0, 0, 0}, 1, true);
  s.AddMass({3, 0, 0}, 1, false);
  s.AddSpring(Spring(0, 1, 1));
  s.ComputeForces();
  EXPECT_NEAR(s.GetMass(1).force.x, -2 * 15.0f, 1e-4);  // 2 * (3-1)*15/2
  SpringSystem t;  // same with the ends swapped
  t.useWind = 0;
  t.useGravity = 0;
  t.AddMass({3, 0, 0}, 1, false);
  t.AddMass({0, 0, 0}, 1, true);
  t.AddSpring(Spring(0, 1, 1));
  t.ComputeForces();
  EXPECT_NEAR(t.GetMass(0).force.x, -2 * 15.0f, 1e-4);
}

TEST(SpringSystem, GravityWindDragAndCoincidentMasses) {
  SpringSystem s;
  s.gravity = {0, -2, 0};
  s.wind = {1, 0, 0};
  s.useDrag = 0;
  s.AddMass({0, 0, 0}, 2, false);
  s.GetMass(0).velocity = {0, 0, 10};
  s.AddMass({0, 0, 0}, 1, false);
  s.AddSpring(Spring(0, 1, 0));  // zero length: must not produce NaN
  s.ComputeForces();
  EXPECT_FLOAT_EQ(s.GetMass(0).force.x, 1);
  EXPECT_FLOAT_EQ(s.GetMass(0).force.y, -4);
  EXPECT_FLOAT_EQ(s.GetMass(0).force.z, -0.02f);
  EXPECT_FALSE(std::isnan(s.GetMass(1).force.x));
  s.Clear();
  EXPECT_EQ(s.MassCount(), 0);
  EXPECT_TRUE(s.springs.empty());
}
