// Builders for the parts of the room; room.cpp assembles them into the frame tree.
#pragma once

#include "scene.h"

namespace mediagen {

constexpr float kHalf = 250.0f;       // walls at x, z = +-kHalf
constexpr float kWallHeight = 200.0f;
constexpr float kDomeRise = 152.0f;   // dome apex above the wall top
constexpr float kOpening = 55.0f;     // radius of the opening at the top of the dome

// Wall i (0 = "wall01" at -x, 1 = "wall02" at -z, 2 = "wall03" at +x, 3 = "wall04" at +z):
// local x runs along the wall (to the right seen from the room), y up, local -z into the room,
// the wall face at local z = 0.
Mat4 WallFrame(int wall);
float DomeHeight(float x, float z);

Material Textured(float specular = 0.0f, float power = 10.0f);

Mesh BuildFloor();
Mesh BuildWall(int wall);
Mesh BuildArches(int wall, float fireplaceX);
Mesh BuildDome();
Mesh BuildCage();
Mesh BuildSkylight();
Mesh BuildFireplace(float backDepth);
Mesh BuildFirewood();
Mesh BuildMantelTrim();
Mesh BuildTorch(int wall);   // world-axis geometry around the head at the origin
Mesh BuildSconce(int wall, float reach);  // its bracket, the wall `reach` units behind the head
Mesh BuildFirebox(float back);  // the sooty inside of the hearth
Mesh BuildChimney(float back);
Mesh BuildEmbers();
Mesh BuildBigShield(int variant);
Mesh BuildRoundShield(int variant);
Mesh BuildSmallShield();
Mesh BuildSword(float length);
Mesh BuildBanner();
float HeapHeight(float x, float z);
Mesh BuildGoldHeap(const Mat4& chestTop, Vec3 spillStart);
Mesh BuildPlate();
Mesh BuildPlateBase();
Mesh BuildCrown();
Mesh BuildCup();
Mesh BuildChestBody();
Mesh BuildChestLid();
Mesh BuildGem(uint32_t seed, float height);
Mesh BuildKnightArmour();
Mesh BuildKnightHelm();
Mesh BuildPlinth(float radius, float height);
Mesh BuildCandle();
Mesh BuildIngots(uint32_t seed);
Mesh BuildUrn();
Mesh BuildRod();

// The dragon: a skinned mesh in the Draco frame's space plus its bone frames' local matrices
// (Bone00 .. Bone09, each relative to its parent; parents given by index, -1 = Draco frame).
struct DragonRig {
  Mesh mesh;
  Mat4 boneLocal[10];
  int parent[10];
};
DragonRig BuildDragon();

}  // namespace mediagen
