// Building small .X models in memory for the scene tests.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "platform/xfile/xfile_writer.h"
#include "model/model_file.h"

namespace scene_test {

inline const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

inline std::vector<std::uint8_t> Save(const xfile::Writer& w,
                                      xfile::SaveFormat format = xfile::SaveFormat::CompressedBinary) {
  std::vector<std::uint8_t> out;
  w.Save(format, &out);
  return out;
}

inline scene::HRESULT Load(scene::ModelFile& m, const std::vector<std::uint8_t>& bytes) {
  return m.LoadFromMemory(bytes.data(), static_cast<scene::DWORD>(bytes.size()));
}

// A mesh of triangles given as 9 floats each, one material per triangle.
inline xfile::MeshDesc Triangles(const std::vector<std::vector<float>>& tris, const std::vector<std::uint32_t>& mats,
                                 int materialCount) {
  xfile::MeshDesc d;
  for (const auto& t : tris) {
    std::uint32_t base = static_cast<std::uint32_t>(d.positions.size() / 3);
    d.positions.insert(d.positions.end(), t.begin(), t.end());
    d.faces.push_back({base, base + 1, base + 2});
  }
  d.materials.resize(static_cast<std::size_t>(materialCount));
  d.faceMaterials = mats;
  return d;
}

}  // namespace scene_test
