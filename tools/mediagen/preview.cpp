#include "preview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "lightmaps.h"
#include "pictures.h"
#include "raster.h"
#include "room_parts.h"
#include "textures.h"

namespace mediagen {

namespace {

Image Sheet(const std::vector<std::pair<std::string, Image>>& items) {
  const int cell = 128, cols = 10;
  int rows = static_cast<int>((items.size() + cols - 1) / cols);
  Image out(cols * cell, rows * cell, {0.1f, 0.1f, 0.1f, 1});
  for (size_t k = 0; k < items.size(); ++k) {
    Image small = items[k].second.Resized(cell - 4, cell - 4);
    int ox = static_cast<int>(k % cols) * cell + 2, oy = static_cast<int>(k / cols) * cell + 2;
    for (int y = 0; y < small.height(); ++y)
      for (int x = 0; x < small.width(); ++x) {
        Color c = small.at(x, y);
        // Checker behind transparent texels.
        Color bg = ((x / 8 + y / 8) % 2) ? Color{0.3f, 0.3f, 0.3f, 1} : Color{0.45f, 0.45f, 0.45f, 1};
        out.at(ox + x, oy + y) = Mix(bg, {c.r, c.g, c.b, 1}, c.a);
      }
  }
  return out;
}

}  // namespace

bool WritePreview(const std::string& dir, const Scene& scene, const RoomInfo& info) {
  std::vector<TextureFile> textures = BuildTextures();
  std::vector<LightMapFile> maps = BakeLightMaps(scene, info);
  std::vector<std::pair<std::string, Image>> items;
  std::map<std::string, const Image*> byName;
  for (auto& t : textures) {
    items.push_back({t.name, t.image});
    byName[t.name] = &t.image;
  }
  for (auto& m : maps) items.push_back({m.name, m.image});
  if (!WriteFile(dir + "/contact-sheet.png", EncodePng(Sheet(items), false))) return false;

  // The loading screen as the host draws it (corners over the background), and the pictures.
  Fonts fonts;
  Image loading = BuildLoadingBackground(fonts);
  for (int c = 0; c < 4; ++c) {
    Image corner = BuildLoadingCorner(c);
    int ox = (c == 0 || c == 3) ? loading.width() - 256 : 0, oy = (c == 0 || c == 1) ? loading.height() - 128 : 0;
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 256; ++x) loading.Blend(ox + x, oy + y, corner.at(x, y), 1.0f);
  }
  if (!WriteFile(dir + "/loading-screen.png", EncodePng(loading, false))) return false;
  std::vector<std::pair<std::string, Image>> pictures;
  for (auto& d : BuildDigits(fonts)) pictures.push_back({d.name, d.image});
  pictures.push_back({"432", BuildTitlePicture(scene, info, fonts, 152, 112, true)});
  pictures.push_back({"434", BuildTitlePicture(scene, info, fonts, 208, 152, true)});
  pictures.push_back({"437", BuildEmblem(64)});
  pictures.push_back({"logo", BuildLogoBitmap()});
  if (!WriteFile(dir + "/pictures.png", EncodePng(Sheet(pictures), false))) return false;

  std::map<std::string, const Image*> lightMap;
  for (auto& m : maps) lightMap[m.name] = &m.image;
  const int frame = 6;
  char buf[32];
  auto lm = [&](const char* prefix) {
    std::snprintf(buf, sizeof buf, "%s_IL%04d.jpg", prefix, frame + 1);
    return lightMap[buf];
  };

  // Which light map and projection each light-mapped frame uses.
  struct LM {
    const Image* map;
    std::string surface;
  };
  std::map<std::string, LM> mapped;
  const char* wallObjects0[] = {"s_shield01", "s_shield", "Swords02", "Swords01"};
  for (const char* n : wallObjects0) mapped[n] = {lm("wall2"), "wall04"};
  mapped["wall04"] = {lm("wall2"), "wall04"};
  mapped["arches04"] = {lm("wall2"), "wall04"};
  for (int w = 1; w <= 3; ++w) {
    std::snprintf(buf, sizeof buf, "wall0%d", w);
    std::string wn = buf;
    mapped[wn] = {lm("wall1"), wn};
    std::snprintf(buf, sizeof buf, "arches0%d", w);
    mapped[buf] = {lm("wall1"), wn};
  }
  ForEachFrame(scene.root, Mat4::Identity(), [&](const Frame& f, const Mat4&) {
    if (f.name.rfind("BigShield", 0) == 0 || f.name.rfind("RoundShield", 0) == 0) {
      if (f.name.find("25") != std::string::npos) return;
      int num = std::atoi(f.name.c_str() + (f.name[0] == 'B' ? 9 : 11));
      mapped[f.name] = {lm("wall1"), num >= 26 ? "wall01" : "wall03"};
    }
  });
  mapped["floor"] = {lm("floor"), "floor"};
  mapped["gold"] = {lm("floor"), "floor"};
  mapped["dome"] = {lm("ceiling"), "dome"};
  std::map<std::string, Mat4> projections;
  ForEachFrame(scene.root, Mat4::Identity(), [&](const Frame& f, const Mat4& w) {
    if (f.mesh && (f.name == "floor" || f.name == "dome" || f.name.rfind("wall", 0) == 0))
      projections[f.name] = LightMapProjection(*f.mesh, w);
  });

  struct View {
    Vec3 eye, target;
  };
  const View views[6] = {
      {{-20, 95, -215}, {0, 25, 10}},       // across the hoard toward the fireplace
      {{150, 60, 150}, {-120, 70, -120}},   // toward the dragon over the gold
      {{-200, 150, 180}, {120, 60, -60}},   // high corner view
      {{0, 12, -60}, {0, 340, 0}},          // looking up at the grate
      {{90, 80, -60}, {-200, 120, 0}},      // the shield wall
      {{-60, 45, 150}, {40, 20, -20}},      // low over the chest and gems
  };
  for (int k = 0; k < 6; ++k) {
    Camera cam{views[k].eye, views[k].target, 1.0f, 2.0f, 1500.0f};
    Rasterizer r(640, 400, cam);
    ForEachFrame(scene.root, Mat4::Identity(), [&](const Frame& f, const Mat4& world) {
      if (!f.mesh || !f.mesh->bones.empty()) {
        if (!f.mesh) return;
      }
      const Mesh& mesh = *f.mesh;
      const Image* tex = byName.count(mesh.texture) ? byName[mesh.texture] : nullptr;
      auto it = mapped.find(f.name);
      bool banner = f.name.find("banner") != std::string::npos;
      Mat4 w = world;
      if (banner && w.Origin().z < 0) w = Mat4::RotationY(kPi) * world;
      r.Draw(mesh, w, [&](const Fragment& fr) {
        Color t = tex ? tex->Sample(fr.uv.x * tex->width(), fr.uv.y * tex->height()) : Color{1, 1, 1, 1};
        if (banner && t.a < 0.5f) return Color{0, 0, 0, 0};
        Color base{t.r * mesh.material.diffuse[0], t.g * mesh.material.diffuse[1], t.b * mesh.material.diffuse[2], 1};
        Color light;
        if (it != mapped.end()) {
          Vec3 q = projections[it->second.surface].TransformPoint(fr.world);
          const Image* map = it->second.map;
          if (q.x < 0 || q.x > 1 || q.y < 0 || q.y > 1) light = {0, 0, 0, 1};
          else light = map->Sample(q.x * map->width(), q.y * map->height());
        } else {
          // The fixed lights of the room: a white light from above and a dim warm point
          // light at the centre, plus the emissive colour.
          float d0 = std::max(0.0f, Dot(fr.normal, Normalize(Vec3{0, 1, -0.1f})));
          Vec3 toC = Normalize(info.centre - fr.world);
          float d1 = std::max(0.0f, Dot(fr.normal, toC)) * 0.5f;
          light = {0.3f + 0.5f + d0 + d1, 0.3f + d0 + d1, d0 + d1, 1};
          light = light * 0.55f;
          light = light + Color{mesh.material.emissive[0], mesh.material.emissive[1], mesh.material.emissive[2], 0};
        }
        return Color{std::min(1.0f, base.r * light.r), std::min(1.0f, base.g * light.g), std::min(1.0f, base.b * light.b), 1};
      }, !banner);
    });
    std::snprintf(buf, sizeof buf, "/view-%d.png", k + 1);
    if (!WriteFile(dir + buf, EncodePng(r.image(), false))) return false;
  }
  return true;
}

}  // namespace mediagen
