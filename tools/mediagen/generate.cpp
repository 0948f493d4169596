#include "generate.h"

#include <cstdio>
#include <filesystem>

#include "lightmaps.h"
#include "music.h"
#include "pictures.h"
#include "textures.h"
#include "tracks.h"
#include "xexport.h"

namespace mediagen {

// Layout of the output folder:
//   469/   every member of the scene archive under its member name
//   452/   the 15 clock glyphs (packed under the folder "Digits")
//   453/   "QL Logo.bmp" (packed under the folder "Texture")
//   res/   the other resources: 470.ogg, 475-478.tga, 480.jpg, 432/434/437.dib, 224.ico, 224.grp
namespace {

// The flat colour of a texture in the treasure mask: green for the gold (coins, crown, cups,
// plate, ingots), blue for the gems, cyan for the chest, black for everything else.
Color MaskColour(const std::string& name) {
  for (const char* t : {"Gold2.jpg", "golden_plate.jpg", "crown.jpg", "cup.jpg"})
    if (name == t) return {0, 1, 0, 1};
  if (name == "giantgem.dds" || name == "giantgem_green.dds") return {0, 0, 1, 1};
  if (name == "chest.jpg" || name == "chest_t2.jpg") return {0, 1, 1, 1};
  return {0, 0, 0, 1};
}

}  // namespace

bool GenerateAll(const std::string& dir, const Scene& scene, const RoomInfo& info, bool treasureMask) {
  namespace fs = std::filesystem;
  for (const char* sub : {"469", "452", "453", "res"}) fs::create_directories(dir + "/" + sub);
  const std::string scn = dir + "/469/", res = dir + "/res/";
  bool ok = true;
  for (TextureFile& t : BuildTextures()) {
    if (treasureMask) t.image = Image(8, 8, MaskColour(t.name));
    std::vector<uint8_t> bytes;
    switch (t.format) {
      case TexFormat::Jpeg: bytes = EncodeJpeg(t.image, 86); break;
      case TexFormat::Dds: bytes = EncodeDds(t.image); break;
      case TexFormat::Tga: bytes = EncodeTga(t.image); break;
    }
    ok = ok && WriteFile(scn + t.name, bytes);
  }
  for (LightMapFile& m : BakeLightMaps(scene, info)) {
    if (treasureMask) m.image = Image(8, 8, Color{1, 1, 1, 1});
    ok = ok && WriteFile(scn + m.name, EncodeJpeg(m.image, 85));
  }
  std::vector<Track> tracks = BuildTracks(info);
  ok = ok && WriteFile(scn + "Cam_Tracks.bin", EncodeTracksBinary(tracks));
  ok = ok && WriteText(scn + "Cam_Tracks.txt", EncodeTracksText(tracks));
  ok = ok && WriteText(scn + "Sphere.obj", BuildSphereObj());
  std::vector<uint8_t> x;
  if (!ExportRoom(scene, &x)) {
    std::fprintf(stderr, "mediagen: the .X writer refused the room\n");
    return false;
  }
  ok = ok && WriteFile(scn + "gildmoor_room.X", x);

  Fonts fonts;
  std::vector<NamedImage> digits = BuildDigits(fonts);
  if (digits.size() != 15) {
    std::fprintf(stderr, "mediagen: cannot open the font %s\n", fonts.sansBold.c_str());
    return false;
  }
  for (const NamedImage& d : digits) ok = ok && WriteFile(dir + "/452/" + d.name, EncodeJpeg(d.image, 90));
  ok = ok && WriteFile(dir + "/453/QL Logo.bmp", EncodeBmp(BuildLogoBitmap()));

  ok = ok && WriteFile(res + "480.jpg", EncodeJpeg(BuildLoadingBackground(fonts), 88));
  // Resources 475 bottom-right, 476 bottom-left, 477 top-right, 478 top-left.
  const int cornerIds[4] = {475, 476, 478, 477};
  for (int c = 0; c < 4; ++c) ok = ok && WriteFile(res + std::to_string(cornerIds[c]) + ".tga", EncodeTga(BuildLoadingCorner(c)));
  ok = ok && WriteFile(res + "432.dib", EncodePackedDib(BuildTitlePicture(scene, info, fonts, 152, 112, true)));
  ok = ok && WriteFile(res + "434.dib", EncodePackedDib(BuildTitlePicture(scene, info, fonts, 208, 152, true)));
  ok = ok && WriteFile(res + "437.dib", EncodePackedDib(BuildEmblem(64)));
  Image icon = BuildEmblem(48);
  for (int y = 0; y < 48; ++y)
    for (int xx = 0; xx < 48; ++xx) {
      float dx = xx + 0.5f - 24, dy = y + 0.5f - 24;
      icon.at(xx, y).a = dx * dx + dy * dy < 23.0f * 23.0f ? 1.0f : 0.0f;
    }
  std::vector<uint8_t> iconBytes = EncodeIconImage(icon);
  ok = ok && WriteFile(res + "224.ico", iconBytes);
  ok = ok && WriteFile(res + "224.grp", EncodeIconGroup(48, static_cast<uint32_t>(iconBytes.size()), 224));
  ok = ok && WriteFile(res + "470.ogg", EncodeOgg(SynthesiseMusic(85.0f), 0.15f));
  return ok;
}

void PrintStats(const Scene& scene, const RoomInfo& info) {
  size_t frames = 0, meshes = 0, vertices = 0, faces = 0;
  ForEachFrame(scene.root, Mat4::Identity(), [&](const Frame& f, const Mat4&) {
    ++frames;
    if (f.mesh) {
      ++meshes;
      vertices += f.mesh->positions.size();
      faces += f.mesh->faces.size();
    }
  });
  std::printf("frames: %zu (meshes %zu), vertices: %zu, triangles: %zu, animations: %zu\n", frames, meshes, vertices,
              faces, scene.animations.size());
  std::printf("model centre: (%.1f, %.1f, %.1f), radius %.1f\n", info.centre.x, info.centre.y, info.centre.z, info.radius);
  std::printf("fireplace: (%.1f, %.1f, %.1f), torches: %zu\n", info.fireplace.x, info.fireplace.y, info.fireplace.z,
              info.torches.size());
  auto at = [](const char* what, Vec3 p) {
    std::printf("%s: (%.1f, %.1f, %.1f)\n", what, static_cast<double>(p.x), static_cast<double>(p.y), static_cast<double>(p.z));
  };
  at("dragon head", info.dragonHead);
  at("blue gem", info.gemBlue);
  at("green gem", info.gemGreen);
  at("plate", info.plate);
  at("crown", info.crown);
  at("chest", info.chest);
  at("knight", info.knight);
  float total = 0;
  int n = 0;
  for (const Track& t : BuildTracks(info)) {
    TrackTiming tt = TimeTrack(t);
    total += tt.seconds;
    std::printf("track %d: %zu points, %.1f units in %.1f s, slowest %.2f units/s\n", ++n, t.points.size(),
                static_cast<double>(tt.length), static_cast<double>(tt.seconds), static_cast<double>(tt.slowest));
  }
  std::printf("all tracks: %.1f s\n", static_cast<double>(total));
}

}  // namespace mediagen
