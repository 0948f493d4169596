// The D3DX mesh over system-memory copies that are uploaded to device buffers for drawing.
#include "platform/d3dx/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <numeric>
#include <unordered_map>

namespace d3dx {

using namespace d3d8;

namespace {

class Buffer final : public ID3DXBuffer {
 public:
  explicit Buffer(DWORD n) : data_(n) {}
  DWORD AddRef() override { return ++refs_; }
  DWORD Release() override {
    DWORD r = --refs_;
    if (!r) delete this;
    return r;
  }
  void* GetBufferPointer() override { return data_.empty() ? nullptr : data_.data(); }
  DWORD GetBufferSize() override { return static_cast<DWORD>(data_.size()); }

 private:
  ~Buffer() override = default;
  std::vector<BYTE> data_;
  DWORD refs_ = 1;
};

}  // namespace

HRESULT D3DXCreateBuffer(DWORD numBytes, ID3DXBuffer** buffer) {
  if (!buffer) return win32::E_INVALIDARG;
  *buffer = new (std::nothrow) Buffer(numBytes);
  return *buffer ? win32::S_OK : win32::E_OUTOFMEMORY;
}

UINT FVFBlendWeights(DWORD fvf) {
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZB1: return 1;
    case D3DFVF_XYZB2: return 2;
    case D3DFVF_XYZB3: return 3;
    case D3DFVF_XYZB4: return 4;
    case D3DFVF_XYZB5: return 5;
    default: return 0;
  }
}

UINT FVFVertexSize(DWORD fvf) {
  UINT size = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: size = 12; break;
    case D3DFVF_XYZRHW: size = 16; break;
    default: size = 12 + 4 * FVFBlendWeights(fvf); break;
  }
  if (fvf & D3DFVF_NORMAL) size += 12;
  if (fvf & D3DFVF_PSIZE) size += 4;
  if (fvf & D3DFVF_DIFFUSE) size += 4;
  if (fvf & D3DFVF_SPECULAR) size += 4;
  UINT tex = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  for (UINT i = 0; i < tex && i < 8; ++i) {
    switch ((fvf >> (16 + 2 * i)) & 3) {
      case D3DFVF_TEXTUREFORMAT1: size += 4; break;
      case D3DFVF_TEXTUREFORMAT2: size += 8; break;
      case D3DFVF_TEXTUREFORMAT3: size += 12; break;
      case D3DFVF_TEXTUREFORMAT4: size += 16; break;
    }
  }
  return size;
}

namespace {

class Mesh final : public ID3DXMesh {
 public:
  Mesh(DWORD faces, DWORD vertices, DWORD options, DWORD fvf, IDirect3DDevice8* device)
      : faces_(faces), vertices_(vertices), options_(options), fvf_(fvf), stride_(FVFVertexSize(fvf)),
        device_(device) {
    if (device_) device_->AddRef();
    vb_.assign(static_cast<std::size_t>(vertices) * stride_, 0);
    ib_.assign(static_cast<std::size_t>(faces) * 3 * IndexSize(), 0);
    attr_.assign(faces, 0);
  }

  DWORD AddRef() override { return ++refs_; }
  DWORD Release() override {
    DWORD r = --refs_;
    if (!r) delete this;
    return r;
  }

  HRESULT DrawSubset(DWORD attribId) override {
    if (!device_) return D3DERR_INVALIDCALL;
    HRESULT hr = Upload();
    if (hr < 0) return hr;
    if (table_.empty()) {
      // No attribute table yet: draw the faces of that attribute as runs.
      DWORD start = 0;
      while (start < faces_) {
        if (attr_[start] != attribId) {
          ++start;
          continue;
        }
        DWORD end = start;
        while (end < faces_ && attr_[end] == attribId) ++end;
        if ((hr = Draw(start, end - start, 0, vertices_)) < 0) return hr;
        start = end;
      }
      return D3D_OK;
    }
    for (const D3DXATTRIBUTERANGE& r : table_) {
      if (r.AttribId != attribId || r.FaceCount == 0) continue;
      if ((hr = Draw(r.FaceStart, r.FaceCount, r.VertexStart, r.VertexCount)) < 0) return hr;
    }
    return D3D_OK;
  }

  DWORD GetNumFaces() override { return faces_; }
  DWORD GetNumVertices() override { return vertices_; }
  DWORD GetFVF() override { return fvf_; }
  DWORD GetOptions() override { return options_; }
  HRESULT GetDevice(IDirect3DDevice8** device) override {
    if (!device) return D3DERR_INVALIDCALL;
    *device = device_;
    if (device_) device_->AddRef();
    return D3D_OK;
  }
  HRESULT GetVertexBuffer(IDirect3DVertexBuffer8** vb) override {
    if (!vb) return D3DERR_INVALIDCALL;
    *vb = nullptr;
    if (!device_) return D3DERR_INVALIDCALL;
    HRESULT hr = Upload();
    if (hr < 0) return hr;
    *vb = dvb_;
    dvb_->AddRef();
    return D3D_OK;
  }
  HRESULT GetIndexBuffer(IDirect3DIndexBuffer8** ib) override {
    if (!ib) return D3DERR_INVALIDCALL;
    *ib = nullptr;
    if (!device_) return D3DERR_INVALIDCALL;
    HRESULT hr = Upload();
    if (hr < 0) return hr;
    *ib = dib_;
    dib_->AddRef();
    return D3D_OK;
  }
  HRESULT LockVertexBuffer(DWORD flags, BYTE** data) override {
    if (!data) return D3DERR_INVALIDCALL;
    *data = vb_.empty() ? nullptr : vb_.data();
    if (!(flags & D3DLOCK_READONLY)) vbDirty_ = true;
    return D3D_OK;
  }
  HRESULT UnlockVertexBuffer() override { return D3D_OK; }
  HRESULT LockIndexBuffer(DWORD flags, BYTE** data) override {
    if (!data) return D3DERR_INVALIDCALL;
    *data = ib_.empty() ? nullptr : ib_.data();
    if (!(flags & D3DLOCK_READONLY)) ibDirty_ = true;
    return D3D_OK;
  }
  HRESULT UnlockIndexBuffer() override { return D3D_OK; }
  HRESULT LockAttributeBuffer(DWORD flags, DWORD** data) override {
    if (!data) return D3DERR_INVALIDCALL;
    *data = attr_.empty() ? nullptr : attr_.data();
    // Writing attributes invalidates the table until the next sort.
    if (!(flags & D3DLOCK_READONLY)) table_.clear();
    return D3D_OK;
  }
  HRESULT UnlockAttributeBuffer() override { return D3D_OK; }

  HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* table, DWORD* size) override {
    if (!size) return D3DERR_INVALIDCALL;
    if (!table) {
      *size = static_cast<DWORD>(table_.size());
      return D3D_OK;
    }
    DWORD n = std::min<DWORD>(*size, static_cast<DWORD>(table_.size()));
    std::copy(table_.begin(), table_.begin() + n, table);
    *size = n;
    return D3D_OK;
  }
  HRESULT SetAttributeTable(const D3DXATTRIBUTERANGE* table, DWORD size) override {
    if (!table && size) return D3DERR_INVALIDCALL;
    table_.assign(table, table + size);
    return D3D_OK;
  }

  DWORD Index(DWORD face, int corner) const {
    std::size_t i = static_cast<std::size_t>(face) * 3 + static_cast<std::size_t>(corner);
    if (options_ & D3DXMESH_32BIT) {
      DWORD v;
      std::memcpy(&v, ib_.data() + i * 4, 4);
      return v;
    }
    std::uint16_t v;
    std::memcpy(&v, ib_.data() + i * 2, 2);
    return v;
  }
  void SetIndex(DWORD face, int corner, DWORD v) {
    std::size_t i = static_cast<std::size_t>(face) * 3 + static_cast<std::size_t>(corner);
    if (options_ & D3DXMESH_32BIT) {
      std::memcpy(ib_.data() + i * 4, &v, 4);
    } else {
      auto s = static_cast<std::uint16_t>(v);
      std::memcpy(ib_.data() + i * 2, &s, 2);
    }
  }

  // Point representatives: the first vertex at the same position (within epsilon).
  std::vector<DWORD> PointReps(float epsilon) const {
    std::vector<DWORD> reps(vertices_);
    std::iota(reps.begin(), reps.end(), 0u);
    if (epsilon < 0) return reps;
    // Bucket by a grid of cell epsilon (or exact position for 0) and compare neighbours.
    auto pos = [&](DWORD v, int k) {
      float f;
      std::memcpy(&f, vb_.data() + static_cast<std::size_t>(v) * stride_ + 4 * k, 4);
      return f;
    };
    struct Key {
      std::int64_t x, y, z;
      bool operator==(const Key& o) const { return x == o.x && y == o.y && z == o.z; }
    };
    struct KeyHash {
      std::size_t operator()(const Key& k) const {
        return std::hash<std::int64_t>()(k.x * 73856093LL ^ k.y * 19349663LL ^ k.z * 83492791LL);
      }
    };
    std::unordered_map<Key, std::vector<DWORD>, KeyHash> grid;
    auto cell = [&](float f) -> std::int64_t {
      if (!std::isfinite(f)) return 0;
      if (epsilon == 0) {
        std::int32_t bits;
        std::memcpy(&bits, &f, 4);
        return f == 0.0f ? 0 : bits;
      }
      double c = std::floor(static_cast<double>(f) / epsilon);
      return static_cast<std::int64_t>(std::clamp(c, -1e15, 1e15));
    };
    for (DWORD v = 0; v < vertices_; ++v) {
      float p[3] = {pos(v, 0), pos(v, 1), pos(v, 2)};
      Key k{cell(p[0]), cell(p[1]), cell(p[2])};
      DWORD found = v;
      int range = epsilon == 0 ? 0 : 1;
      for (int dx = -range; dx <= range && found == v; ++dx)
        for (int dy = -range; dy <= range && found == v; ++dy)
          for (int dz = -range; dz <= range && found == v; ++dz) {
            auto it = grid.find(Key{k.x + dx, k.y + dy, k.z + dz});
            if (it == grid.end()) continue;
            for (DWORD o : it->second) {
              if (std::fabs(pos(o, 0) - p[0]) <= epsilon && std::fabs(pos(o, 1) - p[1]) <= epsilon &&
                  std::fabs(pos(o, 2) - p[2]) <= epsilon) {
                found = o;
                break;
              }
            }
          }
      reps[v] = found == v ? v : reps[found];
      if (found == v) grid[k].push_back(v);
    }
    return reps;
  }

  HRESULT ConvertPointRepsToAdjacency(const DWORD* pointReps, DWORD* adjacency) override {
    if (!adjacency) return D3DERR_INVALIDCALL;
    auto rep = [&](DWORD v) { return pointReps && v < vertices_ ? pointReps[v] : v; };
    // Edge (a, b) of face f; a neighbour has the same edge reversed.
    std::unordered_map<std::uint64_t, std::vector<std::pair<DWORD, int>>> edges;
    edges.reserve(static_cast<std::size_t>(faces_) * 3);
    for (DWORD f = 0; f < faces_; ++f)
      for (int e = 0; e < 3; ++e) {
        DWORD a = rep(Index(f, e)), b = rep(Index(f, (e + 1) % 3));
        edges[(static_cast<std::uint64_t>(a) << 32) | b].push_back({f, e});
      }
    for (DWORD f = 0; f < faces_; ++f)
      for (int e = 0; e < 3; ++e) {
        DWORD a = rep(Index(f, e)), b = rep(Index(f, (e + 1) % 3));
        DWORD n = UNUSED32;
        if (a != b) {
          auto it = edges.find((static_cast<std::uint64_t>(b) << 32) | a);
          if (it != edges.end())
            for (auto [g, ge] : it->second)
              if (g != f) {
                n = g;
                break;
              }
        }
        adjacency[static_cast<std::size_t>(f) * 3 + static_cast<std::size_t>(e)] = n;
      }
    return D3D_OK;
  }

  HRESULT GenerateAdjacency(float epsilon, DWORD* adjacency) override {
    if (!adjacency) return D3DERR_INVALIDCALL;
    std::vector<DWORD> reps = PointReps(epsilon);
    return ConvertPointRepsToAdjacency(reps.data(), adjacency);
  }

  HRESULT OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                          ID3DXBuffer** vertexRemap) override {
    // Faces sorted by attribute, stable.
    std::vector<DWORD> order(faces_);
    std::iota(order.begin(), order.end(), 0u);
    if (flags & (D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER))
      std::stable_sort(order.begin(), order.end(), [&](DWORD a, DWORD b) { return attr_[a] < attr_[b]; });
    std::vector<DWORD> newOfOld(faces_);
    for (DWORD i = 0; i < faces_; ++i) newOfOld[order[i]] = i;

    std::vector<BYTE> ib(ib_.size());
    std::vector<DWORD> attr(faces_);
    std::size_t isz = IndexSize();
    for (DWORD i = 0; i < faces_; ++i) {
      std::memcpy(ib.data() + static_cast<std::size_t>(i) * 3 * isz,
                  ib_.data() + static_cast<std::size_t>(order[i]) * 3 * isz, 3 * isz);
      attr[i] = attr_[order[i]];
    }
    ib_.swap(ib);
    attr_.swap(attr);

    // Vertices in order of first use by the sorted faces (unused ones at the end), so
    // each attribute's vertices form one contiguous range where the data allows.
    std::vector<DWORD> vremap(vertices_);  // new -> old
    std::iota(vremap.begin(), vremap.end(), 0u);
    bool reorderVerts = !(flags & D3DXMESHOPT_IGNOREVERTS) &&
                        (flags & (D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_COMPACT));
    if (reorderVerts) {
      std::vector<DWORD> newOfOldV(vertices_, UNUSED32);
      DWORD next = 0;
      for (DWORD f = 0; f < faces_; ++f)
        for (int c = 0; c < 3; ++c) {
          DWORD v = Index(f, c);
          if (v < vertices_ && newOfOldV[v] == UNUSED32) newOfOldV[v] = next++;
        }
      for (DWORD v = 0; v < vertices_; ++v)
        if (newOfOldV[v] == UNUSED32) newOfOldV[v] = next++;
      for (DWORD v = 0; v < vertices_; ++v) vremap[newOfOldV[v]] = v;
      std::vector<BYTE> vb(vb_.size());
      for (DWORD v = 0; v < vertices_; ++v)
        std::memcpy(vb.data() + static_cast<std::size_t>(v) * stride_,
                    vb_.data() + static_cast<std::size_t>(vremap[v]) * stride_, stride_);
      vb_.swap(vb);
      for (DWORD f = 0; f < faces_; ++f)
        for (int c = 0; c < 3; ++c) {
          DWORD v = Index(f, c);
          if (v < vertices_) SetIndex(f, c, newOfOldV[v]);
        }
    }
    vbDirty_ = ibDirty_ = true;
    BuildTable();

    if (adjacencyOut) {
      std::vector<DWORD> adj(static_cast<std::size_t>(faces_) * 3);
      if (adjacencyIn) {
        for (DWORD i = 0; i < faces_; ++i)
          for (int e = 0; e < 3; ++e) {
            DWORD n = adjacencyIn[static_cast<std::size_t>(order[i]) * 3 + static_cast<std::size_t>(e)];
            adj[static_cast<std::size_t>(i) * 3 + static_cast<std::size_t>(e)] = n < faces_ ? newOfOld[n] : UNUSED32;
          }
      } else {
        GenerateAdjacency(0.0f, adj.data());
      }
      std::copy(adj.begin(), adj.end(), adjacencyOut);
    }
    if (faceRemap) std::copy(order.begin(), order.end(), faceRemap);
    if (vertexRemap) {
      HRESULT hr = D3DXCreateBuffer(vertices_ * 4, vertexRemap);
      if (hr < 0) return hr;
      if (vertices_) std::memcpy((*vertexRemap)->GetBufferPointer(), vremap.data(), vertices_ * 4);
    }
    return D3D_OK;
  }

  HRESULT CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice8* device, ID3DXMesh** clone) override {
    if (!clone) return D3DERR_INVALIDCALL;
    *clone = nullptr;
    auto* m = new (std::nothrow) Mesh(faces_, vertices_, options, fvf, device);
    if (!m) return win32::E_OUTOFMEMORY;
    // Indices (widening or narrowing).
    for (DWORD f = 0; f < faces_; ++f)
      for (int c = 0; c < 3; ++c) m->SetIndex(f, c, Index(f, c));
    m->attr_ = attr_;
    m->table_ = table_;
    // Vertices component by component.
    CopyVertices(*this, *m);
    *clone = m;
    return D3D_OK;
  }

  std::size_t IndexSize() const { return (options_ & D3DXMESH_32BIT) ? 4 : 2; }

  void BuildTable() {
    table_.clear();
    DWORD f = 0;
    while (f < faces_) {
      DWORD a = attr_[f], start = f;
      DWORD vmin = UNUSED32, vmax = 0;
      while (f < faces_ && attr_[f] == a) {
        for (int c = 0; c < 3; ++c) {
          DWORD v = Index(f, c);
          vmin = std::min(vmin, v);
          vmax = std::max(vmax, v);
        }
        ++f;
      }
      D3DXATTRIBUTERANGE r{a, start, f - start, vmin == UNUSED32 ? 0 : vmin, vmin == UNUSED32 ? 0 : vmax - vmin + 1};
      table_.push_back(r);
    }
  }

 private:
  ~Mesh() override {
    if (dvb_) dvb_->Release();
    if (dib_) dib_->Release();
    if (device_) device_->Release();
  }

  static void CopyVertices(const Mesh& from, Mesh& to) {
    // Offsets of each component in both formats.
    struct Layout {
      UINT pos, weights, nweights, normal, psize, diffuse, specular, tex[8], texSize[8], ntex;
    };
    auto layout = [](DWORD fvf) {
      Layout l{};
      UINT o = 0;
      l.pos = 0;
      if ((fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW) {
        o = 16;
      } else {
        o = 12;
        l.weights = 12;
        l.nweights = FVFBlendWeights(fvf);
        o += 4 * l.nweights;
      }
      l.normal = (fvf & D3DFVF_NORMAL) ? o : UNUSED32;
      if (fvf & D3DFVF_NORMAL) o += 12;
      l.psize = (fvf & D3DFVF_PSIZE) ? o : UNUSED32;
      if (fvf & D3DFVF_PSIZE) o += 4;
      l.diffuse = (fvf & D3DFVF_DIFFUSE) ? o : UNUSED32;
      if (fvf & D3DFVF_DIFFUSE) o += 4;
      l.specular = (fvf & D3DFVF_SPECULAR) ? o : UNUSED32;
      if (fvf & D3DFVF_SPECULAR) o += 4;
      l.ntex = std::min<UINT>(8, (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
      for (UINT i = 0; i < l.ntex; ++i) {
        UINT s = 8;
        switch ((fvf >> (16 + 2 * i)) & 3) {
          case D3DFVF_TEXTUREFORMAT1: s = 4; break;
          case D3DFVF_TEXTUREFORMAT2: s = 8; break;
          case D3DFVF_TEXTUREFORMAT3: s = 12; break;
          case D3DFVF_TEXTUREFORMAT4: s = 16; break;
        }
        l.tex[i] = o;
        l.texSize[i] = s;
        o += s;
      }
      return l;
    };
    Layout a = layout(from.fvf_), b = layout(to.fvf_);
    for (DWORD v = 0; v < from.vertices_; ++v) {
      const BYTE* s = from.vb_.data() + static_cast<std::size_t>(v) * from.stride_;
      BYTE* d = to.vb_.data() + static_cast<std::size_t>(v) * to.stride_;
      std::memcpy(d, s, std::min<UINT>(12, std::min(from.stride_, to.stride_)));
      std::memcpy(d + b.weights, s + a.weights, 4 * std::min(a.nweights, b.nweights));
      if (a.normal != UNUSED32 && b.normal != UNUSED32) std::memcpy(d + b.normal, s + a.normal, 12);
      if (a.psize != UNUSED32 && b.psize != UNUSED32) std::memcpy(d + b.psize, s + a.psize, 4);
      if (a.diffuse != UNUSED32 && b.diffuse != UNUSED32) std::memcpy(d + b.diffuse, s + a.diffuse, 4);
      if (b.diffuse != UNUSED32 && a.diffuse == UNUSED32) {
        DWORD white = 0xFFFFFFFFu;
        std::memcpy(d + b.diffuse, &white, 4);
      }
      if (a.specular != UNUSED32 && b.specular != UNUSED32) std::memcpy(d + b.specular, s + a.specular, 4);
      for (UINT i = 0; i < std::min(a.ntex, b.ntex); ++i)
        std::memcpy(d + b.tex[i], s + a.tex[i], std::min(a.texSize[i], b.texSize[i]));
    }
  }

  HRESULT Upload() {
    if (!dvb_) {
      DWORD usage = (options_ & D3DXMESH_VB_WRITEONLY) ? D3DUSAGE_WRITEONLY : 0;
      if (options_ & D3DXMESH_VB_SOFTWAREPROCESSING) usage |= D3DUSAGE_SOFTWAREPROCESSING;
      D3DPOOL pool = (options_ & D3DXMESH_VB_SYSTEMMEM) ? D3DPOOL_SYSTEMMEM : D3DPOOL_MANAGED;
      HRESULT hr = device_->CreateVertexBuffer(std::max<UINT>(1, static_cast<UINT>(vb_.size())), usage, fvf_, pool, &dvb_);
      if (hr < 0) return hr;
      vbDirty_ = true;
    }
    if (!dib_) {
      DWORD usage = (options_ & D3DXMESH_IB_WRITEONLY) ? D3DUSAGE_WRITEONLY : 0;
      if (options_ & D3DXMESH_IB_SOFTWAREPROCESSING) usage |= D3DUSAGE_SOFTWAREPROCESSING;
      D3DPOOL pool = (options_ & D3DXMESH_IB_SYSTEMMEM) ? D3DPOOL_SYSTEMMEM : D3DPOOL_MANAGED;
      HRESULT hr = device_->CreateIndexBuffer(std::max<UINT>(2, static_cast<UINT>(ib_.size())), usage,
                                              IndexSize() == 4 ? D3DFMT_INDEX32 : D3DFMT_INDEX16, pool, &dib_);
      if (hr < 0) return hr;
      ibDirty_ = true;
    }
    if (vbDirty_ && !vb_.empty()) {
      BYTE* p = nullptr;
      HRESULT hr = dvb_->Lock(0, 0, &p, 0);
      if (hr < 0) return hr;
      std::memcpy(p, vb_.data(), vb_.size());
      dvb_->Unlock();
    }
    if (ibDirty_ && !ib_.empty()) {
      BYTE* p = nullptr;
      HRESULT hr = dib_->Lock(0, 0, &p, 0);
      if (hr < 0) return hr;
      std::memcpy(p, ib_.data(), ib_.size());
      dib_->Unlock();
    }
    vbDirty_ = ibDirty_ = false;
    return D3D_OK;
  }

  HRESULT Draw(DWORD faceStart, DWORD faceCount, DWORD vertexStart, DWORD vertexCount) {
    device_->SetVertexShader(fvf_);
    device_->SetStreamSource(0, dvb_, stride_);
    device_->SetIndices(dib_, 0);
    return device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, vertexStart, vertexCount, faceStart * 3, faceCount);
  }

  DWORD faces_, vertices_, options_, fvf_;
  UINT stride_;
  IDirect3DDevice8* device_;
  std::vector<BYTE> vb_, ib_;
  std::vector<DWORD> attr_;
  std::vector<D3DXATTRIBUTERANGE> table_;
  IDirect3DVertexBuffer8* dvb_ = nullptr;
  IDirect3DIndexBuffer8* dib_ = nullptr;
  bool vbDirty_ = true, ibDirty_ = true;
  DWORD refs_ = 1;
};

}  // namespace

HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf, IDirect3DDevice8* device,
                          ID3DXMesh** mesh) {
  if (!mesh) return D3DERR_INVALIDCALL;
  *mesh = nullptr;
  if (numFaces == 0 || numVertices == 0) return D3DERR_INVALIDCALL;
  if (!(options & D3DXMESH_32BIT) && numVertices > 0xFFFF) return D3DERR_INVALIDCALL;
  if ((fvf & D3DFVF_POSITION_MASK) == 0) return D3DERR_INVALIDCALL;
  // Bound the allocation: 64M faces or vertices is far beyond any model we draw.
  if (numFaces > (1u << 26) || numVertices > (1u << 26)) return win32::E_OUTOFMEMORY;
  auto* m = new (std::nothrow) Mesh(numFaces, numVertices, options, fvf, device);
  if (!m) return win32::E_OUTOFMEMORY;
  *mesh = m;
  return D3D_OK;
}

}  // namespace d3dx
