// libFuzzer target: the .X service and the model loader over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/xfile/xfile.h"
#include "model/model_file.h"
#include "model/scene_mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so any read past the input is caught.
  std::vector<std::uint8_t> copy(data, data + size);
  scene::ModelFile model;
  if (model.LoadFromMemory(copy.data(), static_cast<scene::DWORD>(copy.size())) >= 0) {
    std::vector<scene::SceneMesh> meshes;
    scene::CollectSceneMeshes(model, nullptr, meshes);
    for (auto& m : meshes) scene::DivideIntoCells(m, model.ModelRadius() / 2 + 0.01f);
    model.Advance(0.5f);
    d3dx::D3DXMATRIX id;
    d3dx::D3DXMatrixIdentity(&id);
    model.UpdateWorldMatrices(id);
  }
  return 0;
}
