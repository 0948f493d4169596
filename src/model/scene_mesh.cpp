// Scene meshes: collection, cell division with its merge pass, corners, frustum and culling.
#include "model/scene_mesh.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace scene {

using namespace d3d8;
using namespace d3dx;

void BoundingBox::Reset() {
  min = D3DXVECTOR3(99999.0f, 99999.0f, 99999.0f);
  max = D3DXVECTOR3(-99999.0f, -99999.0f, -99999.0f);
}

void BoundingBox::Grow(const D3DXVECTOR3& p) {
  min.x = std::min(min.x, p.x);
  min.y = std::min(min.y, p.y);
  min.z = std::min(min.z, p.z);
  max.x = std::max(max.x, p.x);
  max.y = std::max(max.y, p.y);
  max.z = std::max(max.z, p.z);
}

void BoundingBox::Grow(const BoundingBox& b) {
  Grow(b.min);
  Grow(b.max);
}

float BoundingBox::LargestExtent() const {
  D3DXVECTOR3 s = Size();
  return std::max(s.x, std::max(s.y, s.z));
}

float BoundingBox::Volume() const {
  D3DXVECTOR3 s = Size();
  return s.x * s.y * s.z;
}

bool BoundingBox::Contains(const D3DXVECTOR3& p) const {
  return min.x <= p.x && p.x <= max.x && min.y <= p.y && p.y <= max.y && min.z <= p.z && p.z <= max.z;
}

void BoundingBox::SetSizeAroundCentre(const D3DXVECTOR3& size) {
  D3DXVECTOR3 c = Centre();
  min = c - size / 2.0f;
  max = c + size / 2.0f;
}

D3DXVECTOR3 BoundingBox::Corner(int i) const {
  return D3DXVECTOR3((i & 1) ? max.x : min.x, (i & 2) ? max.y : min.y, (i & 4) ? max.z : min.z);
}

SceneMesh::SceneMesh() { D3DXMatrixIdentity(&lastWorld); }

int CollectSceneMeshes(const ModelFile& model, const char* filter, std::vector<SceneMesh>& out) {
  out.clear();
  LoadedModel* m = model.currentModel();
  if (!m) return 0;
  std::vector<Frame*> stack{m->root};
  while (!stack.empty()) {
    Frame* f = stack.back();
    stack.pop_back();
    bool nameOk = !filter || (f->hasName && f->name.find(filter) != std::string::npos);
    if (f->meshes && f->meshes->mesh && nameOk) out.emplace_back(f);
    if (f->sibling) stack.push_back(f->sibling);
    if (f->firstChild) stack.push_back(f->firstChild);
  }
  return static_cast<int>(out.size());
}

void ComputeCorners(SceneMesh& mesh, const D3DXMATRIX& world) {
  for (MeshCell& c : mesh.cells)
    for (int i = 0; i < 8; ++i) {
      D3DXVECTOR3 p = c.box.Corner(i);
      D3DXVec3TransformCoord(&c.corners[i], &p, &world);
    }
}

void UpdateCorners(SceneMesh& mesh) {
  if (!mesh.frame) return;
  if (std::memcmp(&mesh.frame->world, &mesh.lastWorld, sizeof(D3DXMATRIX)) == 0) return;
  mesh.lastWorld = mesh.frame->world;
  ComputeCorners(mesh, mesh.lastWorld);
}

namespace {

// Cells along one axis of a division grid at most (an absurd cell size must not overflow).
constexpr int kMaxCellsPerAxis = 1 << 30;

struct MeshAccess {
  ID3DXMesh* mesh;
  const BYTE* vb;
  const BYTE* ib;
  UINT stride;
  bool wide;
  DWORD Index(DWORD face, int corner) const {
    std::size_t i = static_cast<std::size_t>(face) * 3 + static_cast<std::size_t>(corner);
    if (wide) {
      DWORD v;
      std::memcpy(&v, ib + i * 4, 4);
      return v;
    }
    std::uint16_t v;
    std::memcpy(&v, ib + i * 2, 2);
    return v;
  }
  D3DXVECTOR3 Position(DWORD v) const {
    D3DXVECTOR3 p;
    if (v < mesh->GetNumVertices()) std::memcpy(&p.x, vb + static_cast<std::size_t>(v) * stride, 12);
    return p;
  }
};

}  // namespace

int DivideIntoCells(SceneMesh& sm, float s) {
  MeshContainer* c = sm.container();
  if (!c || !c->mesh || c->skinInfo) return 0;
  ID3DXMesh* mesh = c->mesh;
  DWORD nf = mesh->GetNumFaces();
  std::vector<DWORD> adjacency(static_cast<std::size_t>(nf) * 3);
  if (mesh->GenerateAdjacency(0.0f, adjacency.data()) < 0) return 0;
  if (mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, adjacency.data(), nullptr, nullptr, nullptr) < 0) return 0;

  DWORD rangeCount = 0;
  if (mesh->GetAttributeTable(nullptr, &rangeCount) < 0) return 0;
  std::vector<D3DXATTRIBUTERANGE> ranges(rangeCount);
  if (rangeCount && mesh->GetAttributeTable(ranges.data(), &rangeCount) < 0) return 0;
  BYTE *vb = nullptr, *ib = nullptr;
  DWORD* attr = nullptr;
  if (mesh->LockVertexBuffer(D3DLOCK_READONLY, &vb) < 0) return 0;
  if (mesh->LockIndexBuffer(D3DLOCK_READONLY, &ib) < 0) {
    mesh->UnlockVertexBuffer();
    return 0;
  }
  if (mesh->LockAttributeBuffer(0, &attr) < 0) {
    mesh->UnlockIndexBuffer();
    mesh->UnlockVertexBuffer();
    return 0;
  }
  MeshAccess m{mesh, vb, ib, FVFVertexSize(mesh->GetFVF()), (mesh->GetOptions() & D3DXMESH_32BIT) != 0};

  std::vector<std::int32_t> faceId(nf, -1);
  std::vector<MeshCell>& cells = sm.cells;
  cells.assign(1, MeshCell{});
  std::int32_t nextId = 0;
  for (const D3DXATTRIBUTERANGE& r : ranges) {
    DWORD f0 = r.FaceStart, f1 = std::min(nf, r.FaceStart + r.FaceCount);
    BoundingBox b;
    for (DWORD f = f0; f < f1; ++f)
      for (int k = 0; k < 3; ++k) b.Grow(m.Position(m.Index(f, k)));
    if (s != 0 && b.LargestExtent() / s >= 1.5f) {
      D3DXVECTOR3 size = b.Size();
      auto count = [&](float e) {
        const float n = std::ceil(e / s);
        if (!(n >= 1)) return 1;
        return n >= kMaxCellsPerAxis ? kMaxCellsPerAxis : static_cast<int>(n);
      };
      int nx = count(size.x), ny = count(size.y), nz = count(size.z);
      b.SetSizeAroundCentre(D3DXVECTOR3(nx * s, ny * s, nz * s));
      // Cell (i, j, k) of the grid, 5 % larger than its share so that neighbours overlap.
      auto cellBox = [&](int i, int j, int k) {
        BoundingBox cell;
        cell.min = b.min;
        cell.max = b.min + D3DXVECTOR3(s, s, s);
        cell.Translate(D3DXVECTOR3(i * s, j * s, k * s));
        cell.ScaleAboutCentre(1.05f);
        return cell;
      };
      // A face goes to the first cell in (i, j, k) order that holds one of its corners. Only
      // the cells around a corner can hold it, so a face looks at those instead of walking
      // the whole grid (which made a large, sparse grid take minutes).
      auto near = [&](float p, float lo, int n) {
        const double t = (static_cast<double>(p) - lo) / s;
        if (!(t >= 0)) return 0;
        return t >= n - 1 ? n - 1 : static_cast<int>(t);
      };
      struct Placed {
        std::array<int, 3> cell;
        DWORD face;
      };
      std::vector<Placed> placed;
      for (DWORD f = f0; f < f1; ++f) {
        if (faceId[f] != -1) continue;
        std::array<int, 3> best{};
        bool found = false;
        for (int corner = 0; corner < 3; ++corner) {
          const D3DXVECTOR3 q = m.Position(m.Index(f, corner));
          const int ci = near(q.x, b.min.x, nx), cj = near(q.y, b.min.y, ny), ck = near(q.z, b.min.z, nz);
          for (int i = std::max(0, ci - 2); i <= std::min(nx - 1, ci + 2); ++i)
            for (int j = std::max(0, cj - 2); j <= std::min(ny - 1, cj + 2); ++j)
              for (int k = std::max(0, ck - 2); k <= std::min(nz - 1, ck + 2); ++k) {
                const std::array<int, 3> c{i, j, k};
                if ((found && c >= best) || !cellBox(i, j, k).Contains(q)) continue;
                best = c;
                found = true;
              }
        }
        if (found) placed.push_back({best, f});
      }
      std::sort(placed.begin(), placed.end(),
                [](const Placed& a, const Placed& c) { return a.cell < c.cell || (a.cell == c.cell && a.face < c.face); });
      for (std::size_t at = 0; at < placed.size();) {
        MeshCell& cur = cells.back();
        const std::array<int, 3> cell = placed[at].cell;
        for (; at < placed.size() && placed[at].cell == cell; ++at) {
          const DWORD f = placed[at].face;
          faceId[f] = nextId;
          for (int corner = 0; corner < 3; ++corner) cur.box.Grow(m.Position(m.Index(f, corner)));
          ++cur.faceCount;
        }
        cur.id = nextId++;
        cur.material = static_cast<std::int32_t>(r.AttribId);
        cells.push_back(MeshCell{});
      }
    } else {
      MeshCell& cur = cells.back();
      cur.id = nextId;
      cur.material = static_cast<std::int32_t>(r.AttribId);
      cur.box = b;
      cur.faceCount = static_cast<std::int32_t>(r.FaceCount);
      for (DWORD f = f0; f < f1; ++f) faceId[f] = nextId;
      ++nextId;
      cells.push_back(MeshCell{});
    }
  }
  cells.pop_back();

  // Merge cells of one material whose union stays compact.
  if (cells.size() > 1) {
    std::size_t t = 0;
    while (t < cells.size()) {
      bool merged = false;
      for (std::size_t mi = 0; mi < cells.size() && !merged; ++mi) {
        MeshCell& M = cells[mi];
        const MeshCell& T = cells[t];
        if (M.id == T.id || M.material != T.material) continue;
        BoundingBox u = M.box;
        float e1 = u.LargestExtent(), v1 = u.Volume();
        u.Grow(T.box);
        float e2 = u.LargestExtent(), v2 = u.Volume();
        if (e2 / e1 <= 1.3f && v2 / v1 <= 1.5f) {
          std::int32_t tid = T.id, mid = M.id;
          for (std::int32_t& id : faceId) {
            if (id == tid) id = mid;
            if (id > tid) --id;
          }
          M.faceCount += T.faceCount;
          M.box = u;
          for (MeshCell& x : cells)
            if (x.id > tid) --x.id;
          cells.erase(cells.begin() + static_cast<std::ptrdiff_t>(t));
          merged = true;
        }
      }
      if (!merged) ++t;
    }
  }

  sm.box.Reset();
  for (const MeshCell& cell : cells) sm.box.Grow(cell.box);
  for (DWORD f = 0; f < nf; ++f) attr[f] = static_cast<DWORD>(faceId[f]);
  mesh->UnlockAttributeBuffer();
  mesh->UnlockIndexBuffer();
  mesh->UnlockVertexBuffer();
  mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, nullptr, nullptr);

  c->subsetCount = static_cast<DWORD>(cells.size());
  c->visibleFlags.assign(cells.size(), 1);
  c->subsetMaterialIndex.resize(cells.size());
  for (std::size_t i = 0; i < cells.size(); ++i) c->subsetMaterialIndex[i] = cells[i].material;
  ComputeCorners(sm, sm.frame->world);
  return static_cast<int>(cells.size());
}

void ComputeFrustumPlanes(ViewFrustum& fr, const D3DXMATRIX& view, const D3DXMATRIX& projection) {
  D3DXMATRIX m;
  D3DXMatrixMultiply(&m, &view, &projection);
  auto col = [&](int j) { return D3DXPLANE(m.m[0][j], m.m[1][j], m.m[2][j], m.m[3][j]); };
  D3DXPLANE c1 = col(0), c2 = col(1), c3 = col(2), c4 = col(3);
  auto add = [](const D3DXPLANE& a, const D3DXPLANE& b, float sign) {
    return D3DXPLANE(a.a + sign * b.a, a.b + sign * b.b, a.c + sign * b.c, a.d + sign * b.d);
  };
  D3DXPLANE p[6] = {add(c4, c1, -1), add(c4, c1, 1), add(c4, c2, 1), add(c4, c2, -1), add(c4, c3, -1), add(c4, c3, 1)};
  for (int i = 0; i < 6; ++i) {
    float len = std::sqrt(p[i].a * p[i].a + p[i].b * p[i].b + p[i].c * p[i].c);
    if (len > 0) p[i] = D3DXPLANE(p[i].a / len, p[i].b / len, p[i].c / len, p[i].d / len);
    fr.planes[i] = p[i];
  }
}

void UpdateFrustum(ViewFrustum& fr) {
  if (!fr.device) return;
  D3DXMATRIX view;
  fr.device->GetTransform(D3DTS_PROJECTION, &fr.projection);
  fr.device->GetTransform(D3DTS_VIEW, &view);
  D3DXMatrixInverse(&fr.camera, nullptr, &view);
  D3DXMATRIX back;
  D3DXMatrixInverse(&back, nullptr, &fr.camera);
  ComputeFrustumPlanes(fr, back, fr.projection);
}

int BoxVisible(const ViewFrustum& fr, const D3DXVECTOR3 corners[8]) {
  for (const D3DXPLANE& p : fr.planes) {
    int outside = 0;
    for (int i = 0; i < 8; ++i)
      if (p.a * corners[i].x + p.b * corners[i].y + p.c * corners[i].z + p.d < 0) ++outside;
    if (outside == 8) return 0;
  }
  return 1;
}

void Cull(SceneMesh& mesh, const ViewFrustum& fr) {
  MeshContainer* c = mesh.container();
  if (!c) return;
  for (std::size_t i = 0; i < mesh.cells.size() && i < c->visibleFlags.size(); ++i)
    c->visibleFlags[i] = BoxVisible(fr, mesh.cells[i].corners);
}

void SetAllVisibleFlags(SceneMesh& mesh, std::int32_t value) {
  if (MeshContainer* c = mesh.container()) std::fill(c->visibleFlags.begin(), c->visibleFlags.end(), value);
}

}  // namespace scene
