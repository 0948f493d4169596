// Frame search, world matrices, the bounding sphere and animation sampling of a model.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "model/model_file.h"

namespace scene {

using namespace d3d8;
using namespace d3dx;

Frame* FindFrameIn(Frame* start, const char* name, MatchMode mode) {
  if (!name) return nullptr;
  std::vector<Frame*> stack;
  if (start) stack.push_back(start);
  while (!stack.empty()) {
    Frame* f = stack.back();
    stack.pop_back();
    if (f->hasName) {
      bool match = mode == MatchMode::Exact ? f->name == name : f->name.find(name) != std::string::npos;
      if (match) return f;
    }
    // Siblings after the first child's subtree.
    if (f->sibling) stack.push_back(f->sibling);
    if (f->firstChild) stack.push_back(f->firstChild);
  }
  return nullptr;
}

Frame* ModelFile::FindFrame(const char* name, MatchMode mode) const {
  return current_ ? FindFrameIn(current_->root, name, mode) : nullptr;
}

D3DXVECTOR3 ModelFile::ModelCentre() const { return current_ ? current_->centre : D3DXVECTOR3(0, 0, 0); }
float ModelFile::ModelRadius() const { return current_ ? current_->radius : 0.0f; }

void UpdateFrameWorld(Frame* frame, const D3DXMATRIX& parent) {
  for (Frame* f = frame; f; f = f->sibling) {
    D3DXMatrixMultiply(&f->world, &f->local, &parent);
    if (f->firstChild) UpdateFrameWorld(f->firstChild, f->world);
  }
}

void ModelFile::UpdateWorldMatrices(const D3DXMATRIX& parent) {
  for (LoadedModel* m = models_; m; m = m->next) UpdateFrameWorld(m->root, parent);
}

void ModelFile::Advance(float dt) {
  for (LoadedModel* m = models_; m; m = m->next) {
    m->time += dt * 4800.0f;
    if (m->time > 1e15f) m->time = 0;
    for (Frame* a = m->animatedFrames; a; a = a->nextAnimated) a->SampleAnimation(m->time);
  }
}

namespace {

// Each track wraps on its own; finds the keys around t and the fraction between them.
template <typename Key>
void Bracket(const std::vector<Key>& keys, float t, std::size_t* prev, std::size_t* next, float* fraction) {
  float last = static_cast<float>(keys.back().time);
  float s = last > 0 ? std::fmod(t, last) : 0.0f;
  std::size_t n = keys.size();
  std::size_t i = 0;
  while (i < n && static_cast<float>(keys[i].time) <= s) ++i;
  if (i == n) {
    *prev = *next = n - 1;
  } else {
    *next = i;
    *prev = i == 0 ? 0 : i - 1;
  }
  float t0 = static_cast<float>(keys[*prev].time), t1 = static_cast<float>(keys[*next].time);
  *fraction = t1 == t0 ? 0.0f : (s - t0) / (t1 - t0);
}

}  // namespace

void Frame::SampleAnimation(float t) {
  if (!animatedFrame) return;
  if (!matrixKeys.empty()) {
    std::size_t p, n;
    float s;
    Bracket(matrixKeys, t, &p, &n, &s);
    D3DXQUATERNION q0, q1, q;
    D3DXQuaternionRotationMatrix(&q0, &matrixKeys[p].value);
    D3DXQuaternionRotationMatrix(&q1, &matrixKeys[n].value);
    D3DXQuaternionSlerp(&q, &q0, &q1, s);
    auto translation = [&](std::size_t i) {
      const D3DXMATRIX& m = matrixKeys[i].value;
      return D3DXVECTOR3(m._41, m._42, m._43);
    };
    std::size_t before = p == 0 ? 0 : p - 1;
    std::size_t after = n + 1 < matrixKeys.size() ? n + 1 : matrixKeys.size() - 1;
    D3DXVECTOR3 p0 = translation(p), p1 = translation(n);
    D3DXVECTOR3 t0 = p0 - translation(before), t1 = translation(after) - p1;
    D3DXVECTOR3 pos;
    D3DXVec3Hermite(&pos, &p0, &t0, &p1, &t1, s);
    D3DXMatrixRotationQuaternion(&animatedFrame->local, &q);
    animatedFrame->local._41 = pos.x;
    animatedFrame->local._42 = pos.y;
    animatedFrame->local._43 = pos.z;
    return;
  }
  if (scaleKeys.empty() && rotationKeys.empty() && positionKeys.empty()) return;
  D3DXMATRIX result, m;
  D3DXMatrixIdentity(&result);
  if (!scaleKeys.empty()) {
    std::size_t p, n;
    float s;
    Bracket(scaleKeys, t, &p, &n, &s);
    D3DXVECTOR3 v;
    D3DXVec3Lerp(&v, &scaleKeys[p].value, &scaleKeys[n].value, s);
    D3DXMatrixScaling(&m, v.x, v.y, v.z);
    D3DXMatrixMultiply(&result, &result, &m);
  }
  if (!rotationKeys.empty()) {
    std::size_t p, n;
    float s;
    Bracket(rotationKeys, t, &p, &n, &s);
    const D3DXQUATERNION& a = rotationKeys[p].value;
    const D3DXQUATERNION& b = rotationKeys[n].value;
    // The file's quaternions rotate the other way round from D3DX's.
    D3DXQUATERNION qa(-a.x, -a.y, -a.z, a.w), qb(-b.x, -b.y, -b.z, b.w), q;
    D3DXQuaternionSlerp(&q, &qa, &qb, s);
    D3DXMatrixRotationQuaternion(&m, &q);
    D3DXMatrixMultiply(&result, &result, &m);
  }
  if (!positionKeys.empty()) {
    std::size_t p, n;
    float s;
    Bracket(positionKeys, t, &p, &n, &s);
    D3DXVECTOR3 v;
    D3DXVec3Lerp(&v, &positionKeys[p].value, &positionKeys[n].value, s);
    D3DXMatrixTranslation(&m, v.x, v.y, v.z);
    D3DXMatrixMultiply(&result, &result, &m);
  }
  animatedFrame->local = result;
}

void ComputeBoundingSphere(Frame* root, D3DXVECTOR3* centre, float* radius) {
  struct Item {
    Frame* frame;
    D3DXMATRIX parent;
  };
  // Collect every mesh with the product of local matrices down to its frame.
  std::vector<std::pair<ID3DXMesh*, D3DXMATRIX>> meshes;
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  std::vector<Item> stack{{root, identity}};
  while (!stack.empty()) {
    Item it = stack.back();
    stack.pop_back();
    D3DXMATRIX combined;
    D3DXMatrixMultiply(&combined, &it.frame->local, &it.parent);
    for (MeshContainer* c = it.frame->meshes; c; c = c->next)
      if (c->mesh) meshes.push_back({c->mesh, combined});
    if (it.frame->sibling) stack.push_back({it.frame->sibling, it.parent});
    if (it.frame->firstChild) stack.push_back({it.frame->firstChild, combined});
  }
  auto each = [&](auto&& fn) {
    for (auto& [mesh, m] : meshes) {
      BYTE* vb = nullptr;
      if (mesh->LockVertexBuffer(D3DLOCK_READONLY, &vb) < 0 || !vb) continue;
      UINT stride = FVFVertexSize(mesh->GetFVF());
      for (DWORD v = 0; v < mesh->GetNumVertices(); ++v) {
        D3DXVECTOR3 p;
        std::memcpy(&p.x, vb + static_cast<std::size_t>(v) * stride, 12);
        if (p.x == 0 && p.y == 0 && p.z == 0) continue;
        D3DXVECTOR3 w;
        D3DXVec3TransformCoord(&w, &p, &m);
        fn(w);
      }
      mesh->UnlockVertexBuffer();
    }
  };
  double sx = 0, sy = 0, sz = 0;
  std::size_t count = 0;
  each([&](const D3DXVECTOR3& w) {
    sx += w.x;
    sy += w.y;
    sz += w.z;
    ++count;
  });
  D3DXVECTOR3 c(0, 0, 0);
  if (count) c = D3DXVECTOR3(static_cast<float>(sx / count), static_cast<float>(sy / count), static_cast<float>(sz / count));
  float best = 0;
  each([&](const D3DXVECTOR3& w) {
    D3DXVECTOR3 d = w - c;
    best = std::max(best, D3DXVec3LengthSq(&d));
  });
  *centre = c;
  *radius = std::sqrt(best);
}

}  // namespace scene
