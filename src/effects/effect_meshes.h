// Helpers shared by the effects that take their meshes from the room's scene meshes.
#pragma once

#include <vector>

#include "model/scene_mesh.h"

namespace effects {

// The mesh's box in its own space: the box of its cells, or, for a mesh that was never
// divided, the box of its vertices. Reset state when there is no mesh.
scene::BoundingBox LocalBox(const scene::SceneMesh& mesh);

// The box transformed by a matrix: the box around its 8 transformed corners.
scene::BoundingBox TransformBox(const scene::BoundingBox& box, const d3dx::D3DXMATRIX& m);

// Whether a frame's name contains the text (case-sensitive).
bool FrameNameContains(const scene::SceneMesh& mesh, const char* text);

// The translation row of a matrix.
inline d3dx::D3DXVECTOR3 Translation(const d3dx::D3DXMATRIX& m) { return {m.m[3][0], m.m[3][1], m.m[3][2]}; }

// The inverse of the view's 3 x 3 rotation part (translation dropped): a quad drawn with it
// faces the camera.
d3dx::D3DXMATRIX BillboardFromView(const d3dx::D3DXMATRIX& view);

// Unlit, textured, additive drawing of lit-vertex geometry (glows, halos, rays): texture times
// vertex colour in colour and alpha, filtered and clamped, added onto the picture; depth is
// tested, not written; no alpha test.
void SetAdditiveTexturedStates(d3d8::IDirect3DDevice8* device, d3d8::IDirect3DTexture8* texture);

}  // namespace effects
