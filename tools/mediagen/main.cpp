// hoardel-mediagen: generates every media file of the program.
//   hoardel-mediagen --out DIR        writes all members and resources into DIR
//   hoardel-mediagen --preview DIR    writes a contact sheet and six renders of the room
//   hoardel-mediagen --stats          prints the room's figures and the tracks' lengths and times
//   hoardel-mediagen --mask --out DIR the same files with flat textures: green treasure, all
//                                     else black (for measuring what the camera frames)
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "generate.h"
#include "preview.h"

int main(int argc, char** argv) {
  std::string out, preview;
  bool stats = false, mask = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--out") && i + 1 < argc) out = argv[++i];
    else if (!std::strcmp(argv[i], "--preview") && i + 1 < argc) preview = argv[++i];
    else if (!std::strcmp(argv[i], "--stats")) stats = true;
    else if (!std::strcmp(argv[i], "--mask")) mask = true;
    else {
      std::fprintf(stderr, "usage: %s [--out DIR [--mask]] [--preview DIR] [--stats]\n", argv[0]);
      return 2;
    }
  }
  if (out.empty() && preview.empty() && !stats) {
    std::fprintf(stderr, "usage: %s [--out DIR [--mask]] [--preview DIR] [--stats]\n", argv[0]);
    return 2;
  }
  auto t0 = std::chrono::steady_clock::now();
  mediagen::Scene scene = mediagen::BuildRoom();
  mediagen::RoomInfo info = mediagen::DescribeRoom(scene);
  if (stats) mediagen::PrintStats(scene, info);
  if (!out.empty()) {
    std::filesystem::create_directories(out);
    if (!mediagen::GenerateAll(out, scene, info, mask)) {
      std::fprintf(stderr, "mediagen: writing into %s failed\n", out.c_str());
      return 1;
    }
  }
  if (!preview.empty()) {
    std::filesystem::create_directories(preview);
    if (!mediagen::WritePreview(preview, scene, info)) {
      std::fprintf(stderr, "mediagen: writing the preview into %s failed\n", preview.c_str());
      return 1;
    }
  }
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (stats) std::printf("generation time: %.2f s\n", s);
  return 0;
}
