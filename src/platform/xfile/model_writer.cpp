// Convenience writers for frames, meshes with materials and skin, and animations.
#include <algorithm>
#include <set>

#include "platform/xfile/xfile_writer.h"

namespace xfile {

namespace {

void FillMesh(WriteObject& m, const MeshDesc& d) {
  std::uint32_t nv = static_cast<std::uint32_t>(d.positions.size() / 3);
  m.Int(nv).Floats(d.positions.data(), static_cast<std::size_t>(nv) * 3);
  m.Int(static_cast<std::uint32_t>(d.faces.size()));
  for (const auto& f : d.faces) m.Int(static_cast<std::uint32_t>(f.size())).Ints(f.data(), f.size());

  if (!d.normals.empty()) {
    std::uint32_t nn = static_cast<std::uint32_t>(d.normals.size() / 3);
    WriteObject& n = m.Add("MeshNormals");
    n.Int(nn).Floats(d.normals.data(), static_cast<std::size_t>(nn) * 3);
    n.Int(static_cast<std::uint32_t>(d.faces.size()));
    for (const auto& f : d.faces) n.Int(static_cast<std::uint32_t>(f.size())).Ints(f.data(), f.size());
  }
  if (!d.texcoords.empty()) {
    std::uint32_t nt = static_cast<std::uint32_t>(d.texcoords.size() / 2);
    m.Add("MeshTextureCoords").Int(nt).Floats(d.texcoords.data(), static_cast<std::size_t>(nt) * 2);
  }
  if (!d.colors.empty()) {
    std::uint32_t nc = static_cast<std::uint32_t>(d.colors.size() / 4);
    WriteObject& c = m.Add("MeshVertexColors");
    c.Int(nc);
    for (std::uint32_t i = 0; i < nc; ++i) c.Int(i).Floats(&d.colors[static_cast<std::size_t>(i) * 4], 4);
  }
  if (!d.materials.empty()) {
    WriteObject& l = m.Add("MeshMaterialList");
    l.Int(static_cast<std::uint32_t>(d.materials.size()));
    if (d.faceMaterials.empty()) {
      l.Int(static_cast<std::uint32_t>(d.faces.size()));
      for (std::size_t i = 0; i < d.faces.size(); ++i) l.Int(0);
    } else {
      l.Int(static_cast<std::uint32_t>(d.faceMaterials.size())).Ints(d.faceMaterials.data(), d.faceMaterials.size());
    }
    for (const MaterialDesc& md : d.materials) {
      WriteObject& mat = l.Add("Material");
      mat.Floats(md.diffuse, 4).Float(md.power).Floats(md.specular, 3).Floats(md.emissive, 3);
      if (!md.textureFile.empty()) mat.Add("TextureFilename").String(md.textureFile);
    }
  }
  if (!d.skin.empty()) {
    std::uint16_t perVertex = d.maxWeightsPerVertex, perFace = d.maxWeightsPerFace;
    if (!perVertex || !perFace) {
      std::vector<std::set<std::size_t>> bones(nv);
      for (std::size_t b = 0; b < d.skin.size(); ++b)
        for (std::uint32_t v : d.skin[b].vertices)
          if (v < nv) bones[v].insert(b);
      std::size_t pv = 0, pf = 0;
      for (const auto& s : bones) pv = std::max(pv, s.size());
      for (const auto& f : d.faces) {
        std::set<std::size_t> u;
        for (std::uint32_t v : f)
          if (v < nv) u.insert(bones[v].begin(), bones[v].end());
        pf = std::max(pf, u.size());
      }
      if (!perVertex) perVertex = static_cast<std::uint16_t>(pv);
      if (!perFace) perFace = static_cast<std::uint16_t>(pf);
    }
    m.Add("XSkinMeshHeader").Int(perVertex).Int(perFace).Int(static_cast<std::uint32_t>(d.skin.size()));
    for (const SkinWeightsDesc& s : d.skin) {
      WriteObject& w = m.Add("SkinWeights");
      std::size_t n = std::min(s.vertices.size(), s.weights.size());
      w.String(s.boneName).Int(static_cast<std::uint32_t>(n)).Ints(s.vertices.data(), n).Floats(s.weights.data(), n);
      w.Matrix(s.offset);
    }
  }
}

}  // namespace

WriteObject& WriteMesh(WriteObject& parent, const MeshDesc& mesh) {
  WriteObject& m = parent.Add("Mesh", mesh.name);
  FillMesh(m, mesh);
  return m;
}

WriteObject& WriteMesh(Writer& writer, const MeshDesc& mesh) {
  WriteObject& m = writer.Add("Mesh", mesh.name);
  FillMesh(m, mesh);
  return m;
}

WriteObject& WriteMatrixAnimation(WriteObject& animationSet, const std::string& target,
                                  const std::vector<MatrixKeyDesc>& keys, const std::string& name) {
  WriteObject& a = animationSet.Add("Animation", name);
  a.AddReference(target);
  WriteObject& k = a.Add("AnimationKey");
  k.Int(4).Int(static_cast<std::uint32_t>(keys.size()));
  for (const MatrixKeyDesc& key : keys) k.Int(key.time).Int(16).Floats(key.matrix, 16);
  return a;
}

WriteObject& WriteVectorKeys(WriteObject& animation, std::uint32_t keyType, const std::vector<VectorKeyDesc>& keys) {
  WriteObject& k = animation.Add("AnimationKey");
  std::uint32_t n = keyType == 0 ? 4 : 3;
  k.Int(keyType).Int(static_cast<std::uint32_t>(keys.size()));
  for (const VectorKeyDesc& key : keys) k.Int(key.time).Int(n).Floats(key.v, n);
  return k;
}

}  // namespace xfile
