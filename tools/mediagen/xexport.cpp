#include "xexport.h"

#include "platform/xfile/xfile_writer.h"

namespace mediagen {

namespace {

xfile::MeshDesc Describe(const std::string& name, const Mesh& m) {
  xfile::MeshDesc d;
  d.name = name;
  for (size_t i = 0; i < m.positions.size(); ++i) {
    d.positions.insert(d.positions.end(), {m.positions[i].x, m.positions[i].y, m.positions[i].z});
    d.normals.insert(d.normals.end(), {m.normals[i].x, m.normals[i].y, m.normals[i].z});
    d.texcoords.insert(d.texcoords.end(), {m.uvs[i].x, m.uvs[i].y});
  }
  for (auto f : m.faces) d.faces.push_back({f[0], f[1], f[2]});
  xfile::MaterialDesc mat;
  for (int k = 0; k < 4; ++k) mat.diffuse[k] = m.material.diffuse[static_cast<size_t>(k)];
  mat.power = m.material.power;
  for (int k = 0; k < 3; ++k) {
    mat.specular[k] = m.material.specular[static_cast<size_t>(k)];
    mat.emissive[k] = m.material.emissive[static_cast<size_t>(k)];
  }
  mat.textureFile = m.texture;
  d.materials.push_back(mat);
  d.faceMaterials.push_back(0);
  for (const SkinBone& b : m.bones) {
    xfile::SkinWeightsDesc s;
    s.boneName = b.name;
    s.vertices = b.vertices;
    s.weights = b.weights;
    for (int k = 0; k < 16; ++k) s.offset[k] = b.offset.m[static_cast<size_t>(k)];
    d.skin.push_back(std::move(s));
  }
  return d;
}

void WriteFrame(xfile::WriteObject& parent, const Frame& f) {
  xfile::WriteObject& obj = xfile::Writer::AddFrame(parent, f.name, f.local.m.data());
  if (f.mesh) xfile::WriteMesh(obj, Describe(f.name, *f.mesh));
  for (const Frame* c : FileOrder(f.children)) WriteFrame(obj, *c);
}

}  // namespace

bool ExportRoom(const Scene& scene, std::vector<uint8_t>* out, bool text) {
  xfile::Writer w;
  xfile::WriteObject& root = w.AddFrame(scene.root.name, scene.root.local.m.data());
  for (const Frame* c : FileOrder(scene.root.children)) WriteFrame(root, *c);
  xfile::WriteObject& set = w.Add("AnimationSet", scene.animationSetName);
  for (const MatrixKeyAnimation& a : scene.animations) {
    std::vector<xfile::MatrixKeyDesc> keys(2);
    for (int k = 0; k < 2; ++k) {
      keys[static_cast<size_t>(k)].time = scene.keyTimes[k];
      for (int i = 0; i < 16; ++i) keys[static_cast<size_t>(k)].matrix[i] = a.key.m[static_cast<size_t>(i)];
    }
    xfile::WriteMatrixAnimation(set, a.frame, keys);
  }
  return w.Save(text ? xfile::SaveFormat::Text : xfile::SaveFormat::CompressedBinary, out) >= 0;
}

}  // namespace mediagen
