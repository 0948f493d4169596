// The report of hoardel-xdump.
#include "xdump.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "model/model_file.h"
#include "model/scene_mesh.h"

namespace xdump {

namespace {

void Printf(std::string* out, const char* fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  *out += buf;
}

const char* NameOf(const scene::Frame* f) { return f->hasName ? f->name.c_str() : "(unnamed)"; }

void DumpMesh(const scene::MeshContainer* c, const std::string& indent, std::string* out) {
  d3dx::ID3DXMesh* m = c->mesh;
  Printf(out, "%smesh %s: vertices %u faces %u materials %u subsets %u", indent.c_str(),
         c->hasName ? c->name.c_str() : "(unnamed)", m ? m->GetNumVertices() : 0, m ? m->GetNumFaces() : 0,
         c->materialCount, c->subsetCount);
  if (c->skinInfo) Printf(out, " bones %u influences %u", c->BoneCount(), c->maxFaceInfluences);
  *out += "\n";
  for (std::size_t i = 0; i < c->materials.size(); ++i) {
    const auto& d = c->materials[i].Diffuse;
    Printf(out, "%s  material %zu: diffuse %.3f %.3f %.3f %.3f\n", indent.c_str(), i, d.r, d.g, d.b, d.a);
  }
  for (scene::DWORD i = 0; i < c->BoneCount(); ++i)
    Printf(out, "%s  bone %u: %s%s\n", indent.c_str(), i, c->BoneName(i), c->boneMatrixPointers[i] ? "" : " (unbound)");
}

void DumpFrames(const scene::Frame* f, int depth, std::string* out) {
  for (; f; f = f->sibling) {
    std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    if (f->isAnimation) {
      if (f->animatedFrame || !f->matrixKeys.empty() || !f->rotationKeys.empty() || !f->scaleKeys.empty() ||
          !f->positionKeys.empty()) {
        Printf(out, "%sanimation -> %s:", indent.c_str(), f->animatedFrame ? NameOf(f->animatedFrame) : "(none)");
        if (!f->rotationKeys.empty()) Printf(out, " rotation %zu", f->rotationKeys.size());
        if (!f->scaleKeys.empty()) Printf(out, " scale %zu", f->scaleKeys.size());
        if (!f->positionKeys.empty()) Printf(out, " position %zu", f->positionKeys.size());
        if (!f->matrixKeys.empty()) Printf(out, " matrix %zu", f->matrixKeys.size());
        *out += "\n";
      } else {
        std::size_t n = 0;
        for (const scene::Frame* c = f->firstChild; c; c = c->sibling) ++n;
        Printf(out, "%sanimationset %s: animations %zu\n", indent.c_str(), NameOf(f), n);
      }
    } else {
      Printf(out, "%sframe %s\n", indent.c_str(), NameOf(f));
    }
    for (const scene::MeshContainer* c = f->meshes; c; c = c->next) DumpMesh(c, indent + "  ", out);
    DumpFrames(f->firstChild, depth + 1, out);
  }
}

// Counts of the file's data objects by template, wherever they stand.
struct Counts {
  int frames = 0, meshes = 0, skinweights = 0, sets = 0, animations = 0, keys = 0;
};

bool Is(xfile::IDirectXFileData* d, const xfile::GUID& g) {
  const xfile::GUID* t = nullptr;
  return d->GetType(&t) >= 0 && *t == g;
}

void CountObject(xfile::IDirectXFileData* d, Counts* c) {
  if (Is(d, xfile::TID_D3DRMFrame)) ++c->frames;
  if (Is(d, xfile::TID_D3DRMMesh)) ++c->meshes;
  if (Is(d, xfile::DXFILEOBJ_SkinWeights)) ++c->skinweights;
  if (Is(d, xfile::TID_D3DRMAnimationSet)) ++c->sets;
  if (Is(d, xfile::TID_D3DRMAnimation)) ++c->animations;
  if (Is(d, xfile::TID_D3DRMAnimationKey)) ++c->keys;
  xfile::IDirectXFileObject* child = nullptr;
  while (d->GetNextObject(&child) >= 0) {
    if (auto* cd = child->AsData()) CountObject(cd, c);
    child->Release();
  }
}

bool CountFile(const std::string& path, Counts* c) {
  xfile::IDirectXFile* file = nullptr;
  if (xfile::DirectXFileCreate(&file) < 0) return false;
  xfile::DWORD size = 0;
  const xfile::BYTE* templates = xfile::StandardTemplates(&size);
  file->RegisterTemplates(templates, size);
  xfile::IDirectXFileEnumObject* en = nullptr;
  bool ok = file->CreateEnumObject(path.c_str(), xfile::DXFILELOAD_FROMFILE, &en) >= 0;
  if (ok) {
    xfile::IDirectXFileData* d = nullptr;
    while (en->GetNextDataObject(&d) >= 0) {
      CountObject(d, c);
      d->Release();
    }
    en->Release();
  }
  file->Release();
  return ok;
}

}  // namespace

int Dump(const Options& o, std::string* out, std::string* error) {
  scene::ModelFile model(o.file.c_str());
  scene::HRESULT hr = model.AttachDevice(nullptr);
  if (hr < 0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
    *error = "cannot load " + o.file + " (" + buf + ")";
    return 1;
  }
  DumpFrames(model.currentModel()->root->firstChild, 0, out);
  scene::D3DXVECTOR3 c = model.ModelCentre();
  Printf(out, "sphere centre %.4f %.4f %.4f radius %.4f\n", c.x, c.y, c.z, model.ModelRadius());
  if (o.cells) {
    std::vector<scene::SceneMesh> meshes;
    scene::CollectSceneMeshes(model, nullptr, meshes);
    for (scene::SceneMesh& m : meshes) {
      int n = scene::DivideIntoCells(m, o.cellSize);
      Printf(out, "cells %s: %d\n", NameOf(m.frame), n);
      for (const scene::MeshCell& cell : m.cells)
        Printf(out, "  cell %d: material %d faces %d box %.3f %.3f %.3f .. %.3f %.3f %.3f\n", cell.id, cell.material,
               cell.faceCount, cell.box.min.x, cell.box.min.y, cell.box.min.z, cell.box.max.x, cell.box.max.y,
               cell.box.max.z);
    }
  }
  Counts counts;
  CountFile(o.file, &counts);
  Printf(out, "frames %d meshes %d skinweights %d animationsets %d animations %d animationkeys %d\n", counts.frames,
         counts.meshes, counts.skinweights, counts.sets, counts.animations, counts.keys);
  return 0;
}

}  // namespace xdump
