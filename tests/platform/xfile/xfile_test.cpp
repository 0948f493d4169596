// The .X service over third-party files: every form loads, forms of one model agree,
// templates lay the data out, and damaged input ends with a result code.
#include <gtest/gtest.h>

#include <thread>

#include <map>
#include <random>

#include "platform/xfile/xfile.h"
#include "xfile_util.h"

using namespace xfile;
using namespace xfile_test;

namespace {

std::map<std::string, int> CountTemplates(const Flat& f) {
  std::map<std::string, int> m;
  for (const std::string& l : f.lines) {
    auto a = l.find(' ');
    auto b = l.find(' ', a + 1);
    m[l.substr(a + 1, b - a - 1)]++;
  }
  return m;
}

struct Expected {
  const char* file;
  int frames, meshes, skinWeights, sets, animations, keys;
};

// Object counts of the test files (their SOURCES.md).
const Expected kFiles[] = {
    {"test_cube_text.x", 2, 1, 1, 0, 0, 0},        {"test_cube_binary.x", 2, 1, 1, 0, 0, 0},
    {"test_cube_compressed.x", 2, 1, 1, 0, 0, 0},  {"test.x", 1, 1, 0, 0, 0, 0},
    {"kwxport_test_cubewithvcolors.x", 1, 1, 0, 0, 0, 0}, {"anim_test.x", 4, 1, 4, 1, 4, 12},
    {"BCN_Epileptic.X", 57, 3, 54, 1, 57, 171},    {"fromtruespace_bin32.x", 1, 1, 0, 0, 0, 0},
    {"malformed_skinweights_oob.x", 2, 1, 1, 0, 0, 0}, {"tiny.x", 48, 1, 35, 1, 47, 47},
    {"tiger.x", 0, 1, 0, 0, 0, 0},                 {"skysphere.x", 0, 1, 0, 0, 0, 0},
    {"lobby_skybox.x", 1, 6, 0, 0, 0, 0},          {"GFX_items_firstaid.x", 7, 6, 0, 1, 1, 1},
    {"GFX_map_ButtonKeycard.x", 4, 1, 3, 0, 0, 0}, {"GFX_items_note.x", 1, 1, 0, 0, 0, 0},
};

}  // namespace

TEST(XFileService, ThirdPartyFilesLoadWithTheirObjectCounts) {
  for (const Expected& e : kFiles) {
    SCOPED_TRACE(e.file);
    Flat f = FlattenMemory(ReadFile(TestData(e.file)));
    EXPECT_EQ(f.end, DXFILEERR_NOMOREOBJECTS);
    auto m = CountTemplates(f);
    EXPECT_EQ(m["Frame"], e.frames);
    EXPECT_EQ(m["Mesh"], e.meshes);
    EXPECT_EQ(m["SkinWeights"], e.skinWeights);
    EXPECT_EQ(m["AnimationSet"], e.sets);
    EXPECT_EQ(m["Animation"], e.animations);
    EXPECT_EQ(m["AnimationKey"], e.keys);
  }
}

TEST(XFileService, BinaryAndCompressedCubeAreTheSameData) {
  Flat bin = FlattenMemory(ReadFile(TestData("test_cube_binary.x")));
  Flat zip = FlattenMemory(ReadFile(TestData("test_cube_compressed.x")));
  ASSERT_FALSE(bin.lines.empty());
  EXPECT_EQ(bin.lines, zip.lines);
  // The text cube is the same model apart from its materials' layout in the file.
  Flat txt = FlattenMemory(ReadFile(TestData("test_cube_text.x")));
  auto meshLine = [](const Flat& f) {
    for (const auto& l : f.lines)
      if (l.rfind("1 Mesh", 0) == 0 || l.rfind("2 Mesh", 0) == 0) return l.substr(l.find(':'));
    return std::string();
  };
  EXPECT_FALSE(meshLine(txt).empty());
  EXPECT_EQ(meshLine(txt), meshLine(bin));
}

TEST(XFileService, DamagedCompressedStreamFailsCleanly) {
  Flat f = FlattenMemory(ReadFile(TestData("OV_GetNextToken")));
  EXPECT_LT(f.end, 0);
  EXPECT_NE(f.end, DXFILEERR_NOMOREOBJECTS);
  EXPECT_TRUE(f.lines.empty());
}

TEST(XFileService, HeaderChecks) {
  auto parse = [](const std::string& s) {
    std::vector<std::uint8_t> b(s.begin(), s.end());
    return FlattenMemory(b).end;
  };
  EXPECT_EQ(parse("xof 0303txt 0032"), DXFILEERR_NOMOREOBJECTS);
  EXPECT_EQ(parse("xof 0303txt 003"), DXFILEERR_BADFILETYPE);
  EXPECT_EQ(parse("xyz 0303txt 0032"), DXFILEERR_BADFILETYPE);
  EXPECT_EQ(parse("xof 0303abc 0032"), DXFILEERR_BADFILECOMPRESSIONTYPE);
  EXPECT_EQ(parse("xof 0303txt 0016"), DXFILEERR_BADFILEFLOATSIZE);
  EXPECT_EQ(parse("xof 0403txt 0032"), DXFILEERR_BADFILEVERSION);
  EXPECT_EQ(parse("xof 0303bzip0032"), DXFILEERR_BADFILE);
}

TEST(XFileService, TruncatedAndCorruptedInputNeverReadsPast) {
  // Every prefix of each form, and random byte damage: each ends with objects or a code.
  for (const char* name : {"test_cube_binary.x", "test_cube_compressed.x", "test_cube_text.x"}) {
    SCOPED_TRACE(name);
    std::vector<std::uint8_t> full = ReadFile(TestData(name));
    ASSERT_GT(full.size(), 100u);
    int failures = 0;
    for (std::size_t n = 0; n < full.size(); n += 3) {
      // An exact-size heap copy lets AddressSanitizer see any read past the end.
      std::vector<std::uint8_t> part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
      part.shrink_to_fit();
      Flat f = FlattenMemory(part);
      if (f.end != DXFILEERR_NOMOREOBJECTS) ++failures;
    }
    EXPECT_GT(failures, 0);
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
      std::vector<std::uint8_t> bad = full;
      for (int k = 0; k < 4; ++k) bad[16 + rng() % (bad.size() - 16)] = static_cast<std::uint8_t>(rng());
      FlattenMemory(bad);
    }
  }
}

TEST(XFileService, StandardTemplatesAreBinaryAndDeclareTheListedTemplates) {
  DWORD size = 0;
  const BYTE* t = StandardTemplates(&size);
  ASSERT_GT(size, 16u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t), 16), "xof 0302bin 0064");
  IDirectXFile* file = nullptr;
  ASSERT_EQ(DirectXFileCreate(&file), DXFILE_OK);
  ASSERT_EQ(file->RegisterTemplates(t, size), DXFILE_OK);
  std::string text(reinterpret_cast<const char*>(t), size);
  for (const char* name : {"Header", "Vector", "Coords2d", "Matrix4x4", "ColorRGBA", "ColorRGB", "IndexedColor",
                           "Boolean", "Boolean2d", "MaterialWrap", "TextureFilename", "Material", "MeshFace",
                           "MeshFaceWraps", "MeshTextureCoords", "MeshMaterialList", "MeshNormals",
                           "MeshVertexColors", "Mesh", "FrameTransformMatrix", "Frame", "FloatKeys",
                           "TimedFloatKeys", "AnimationKey", "AnimationOptions", "Animation", "AnimationSet",
                           "InlineData", "Url", "ProgressiveMesh", "Guid", "StringProperty", "PropertyBag",
                           "ExternalVisual", "RightHanded"}) {
    std::string token = std::string(1, '\0') + std::string(1, static_cast<char>(std::strlen(name))) +
                        std::string(3, '\0') + name;
    EXPECT_NE(text.find(token), std::string::npos) << name;
  }
  // A damaged template image is refused.
  std::vector<BYTE> bad(t, t + size);
  bad[16] = 0xEE;
  bad[17] = 0xEE;
  EXPECT_LT(file->RegisterTemplates(bad.data(), size), 0);
  file->Release();
}

TEST(XFileService, DataIsLaidOutByTemplate) {
  const char* text =
      "xof 0303txt 0032\n"
      "template Pair { <11111111-2222-3333-4444-555555555555> WORD a; DWORD n; array SWORD v[n]; STRING s; }\n"
      "template Holder { <11111111-2222-3333-4444-666666666666> DWORD count; array Pair pairs[count]; "
      "array FLOAT grid[2][count]; [...] }\n"
      "Holder h <AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE> {\n"
      "  2; 7; 2; -1, 3; \"one\";, 8; 1; 4; \"two\";;\n"
      "  1.5, 2.5, 3.5, 4.5;\n"
      "  Pair { 1; 0; \"\"; }\n"
      "  { h }\n"
      "}\n";
  std::vector<std::uint8_t> bytes(text, text + std::strlen(text));
  IDirectXFile* file = nullptr;
  DirectXFileCreate(&file);
  DXFILELOADMEMORY mem{bytes.data(), static_cast<DWORD>(bytes.size())};
  IDirectXFileEnumObject* en = nullptr;
  ASSERT_EQ(file->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &en), DXFILE_OK);
  IDirectXFileData* d = nullptr;
  ASSERT_EQ(en->GetNextDataObject(&d), DXFILE_OK);
  EXPECT_STREQ(d->Name(), "h");
  GUID id{};
  d->GetId(&id);
  EXPECT_EQ(id.Data1, 0xAAAAAAAAu);
  const GUID* type = nullptr;
  d->GetType(&type);
  EXPECT_EQ(type->Data1, 0x11111111u);
  EXPECT_EQ(type->Data4[7], 0x66);

  DWORD size = 0;
  const void* p = nullptr;
  ASSERT_EQ(d->GetData("pairs", &size, &p), DXFILE_OK);
  // Two pairs: WORD, DWORD, n SWORDs, string pointer.
  ASSERT_EQ(size, 2 * (2 + 4 + sizeof(char*)) + 3 * 2);
  const auto* b = static_cast<const std::uint8_t*>(p);
  std::uint16_t w;
  std::memcpy(&w, b, 2);
  EXPECT_EQ(w, 7);
  std::int16_t sw;
  std::memcpy(&sw, b + 6, 2);
  EXPECT_EQ(sw, -1);
  const char* s;
  std::memcpy(&s, b + 10, sizeof s);
  EXPECT_STREQ(s, "one");
  ASSERT_EQ(d->GetData("grid", &size, &p), DXFILE_OK);
  ASSERT_EQ(size, 16u);
  float last;
  std::memcpy(&last, static_cast<const std::uint8_t*>(p) + 12, 4);  // packed: may be unaligned
  EXPECT_EQ(last, 4.5f);
  EXPECT_EQ(d->GetData("missing", &size, &p), DXFILEERR_BADDATAREFERENCE);

  IDirectXFileObject* child = nullptr;
  ASSERT_EQ(d->GetNextObject(&child), DXFILE_OK);
  ASSERT_NE(child->AsData(), nullptr);
  EXPECT_STREQ(child->AsData()->TemplateName(), "Pair");
  child->Release();
  ASSERT_EQ(d->GetNextObject(&child), DXFILE_OK);
  ASSERT_NE(child->AsReference(), nullptr);
  IDirectXFileData* target = nullptr;
  ASSERT_EQ(child->AsReference()->Resolve(&target), DXFILE_OK);
  EXPECT_EQ(target, d);
  target->Release();
  child->Release();
  EXPECT_EQ(d->GetNextObject(&child), DXFILEERR_NOMOREOBJECTS);
  EXPECT_EQ(en->GetNextDataObject(&d), DXFILEERR_NOMOREOBJECTS);
  // The objects outlive the enumerator and the file object.
  en->Release();
  file->Release();
  char name[8];
  DWORD len = sizeof name;
  EXPECT_EQ(d->GetName(name, &len), DXFILE_OK);
  EXPECT_EQ(len, 2u);
  len = 1;
  EXPECT_EQ(d->GetName(name, &len), DXFILEERR_BADVALUE);
  d->Release();
}

TEST(XFileService, ArraySizesBeyondTheDataAreRefused) {
  const char* text =
      "xof 0303txt 0032\n"
      "Mesh { 1000000; 1.0; 2.0; 3.0;; 0;; }\n";
  std::vector<std::uint8_t> bytes(text, text + std::strlen(text));
  EXPECT_EQ(FlattenMemory(bytes).end, DXFILEERR_BADARRAYSIZE);
}

TEST(XFileService, EmptyStructuresCannotMultiplyTheWork) {
  // Each B holds m empty structures; 60000 Bs each claiming 60000 would be 3.6e9 visits.
  std::string text =
      "xof 0303txt 0032\n"
      "template E { <01010101-0000-0000-0000-000000000001> }\n"
      "template B { <01010101-0000-0000-0000-000000000002> DWORD m; array E e[m]; }\n"
      "template A { <01010101-0000-0000-0000-000000000003> DWORD n; array B b[n]; }\n"
      "A { 60000;";
  for (int i = 0; i < 60000; ++i) text += "60000;";
  for (int i = 0; i < 60000; ++i) text += "0;";
  text += " }\n";
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  EXPECT_EQ(FlattenMemory(bytes).end, DXFILEERR_BADARRAYSIZE);
}

TEST(XFileService, SixtyFourBitBinaryFloatsAreNarrowed) {
  // "xof 0303bin 0064": a Vector with three doubles.
  std::vector<std::uint8_t> b = {'x', 'o', 'f', ' ', '0', '3', '0', '3', 'b', 'i', 'n', ' ', '0', '0', '6', '4'};
  auto word = [&](std::uint16_t v) { b.push_back(static_cast<std::uint8_t>(v)); b.push_back(static_cast<std::uint8_t>(v >> 8)); };
  auto dword = [&](std::uint32_t v) { word(static_cast<std::uint16_t>(v)); word(static_cast<std::uint16_t>(v >> 16)); };
  word(1);
  dword(6);
  for (char c : std::string("Vector")) b.push_back(static_cast<std::uint8_t>(c));
  word(10);
  word(7);
  dword(3);
  for (double d : {1.25, -2.5, 1e10}) {
    std::uint8_t raw[8];
    std::memcpy(raw, &d, 8);
    b.insert(b.end(), raw, raw + 8);
  }
  word(11);
  Flat f = FlattenMemory(b);
  ASSERT_EQ(f.lines.size(), 1u);
  float expect[3] = {1.25f, -2.5f, 1e10f};
  std::string hex;
  const auto* e = reinterpret_cast<const std::uint8_t*>(expect);
  for (int i = 0; i < 12; ++i) {
    char h[3];
    std::snprintf(h, sizeof h, "%02x", e[i]);
    hex += h;
  }
  EXPECT_NE(f.lines[0].find("12:" + hex), std::string::npos) << f.lines[0];
}

// A document parsed ahead on a worker reads exactly as one parsed in place; a file object that
// registered other templates parses for itself.
TEST(XFileService, DocumentParsedAheadReadsTheSameAndNeedsTheSameTemplates) {
  const std::string extra = "xof 0303txt 0032\ntemplate Extra { <11111111-2222-3333-4444-555555555555> DWORD n; }\n";
  const std::string text =
      "xof 0303txt 0032\n"
      "Frame F { FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; }\n"
      "  Extra X { 7; } Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }\n";
  const std::vector<std::uint8_t> bytes(text.begin(), text.end());
  xfile::DWORD n = 0;
  const xfile::BYTE* standard = xfile::StandardTemplates(&n);

  const Flat direct = FlattenMemory(bytes);
  std::thread worker([&] { xfile::PrepareDocumentAhead(standard, n, bytes.data(), static_cast<xfile::DWORD>(bytes.size())); });
  const Flat ahead = FlattenMemory(bytes);  // may wait for the worker
  worker.join();
  EXPECT_EQ(direct.end, ahead.end);
  EXPECT_EQ(direct.lines, ahead.lines);

  // Prepared with the standard templates only, wanted with Extra registered as well.
  xfile::PrepareDocumentAhead(standard, n, bytes.data(), static_cast<xfile::DWORD>(bytes.size()));
  xfile::IDirectXFile* file = nullptr;
  ASSERT_EQ(xfile::DirectXFileCreate(&file), 0);
  ASSERT_EQ(file->RegisterTemplates(standard, n), 0);
  ASSERT_EQ(file->RegisterTemplates(extra.data(), static_cast<xfile::DWORD>(extra.size())), 0);
  xfile::DXFILELOADMEMORY mem{bytes.data(), static_cast<xfile::DWORD>(bytes.size())};
  xfile::IDirectXFileEnumObject* en = nullptr;
  ASSERT_EQ(file->CreateEnumObject(&mem, xfile::DXFILELOAD_FROMMEMORY, &en), 0);
  std::vector<std::string> lines;
  xfile::IDirectXFileData* d = nullptr;
  while (en->GetNextDataObject(&d) >= 0) {
    FlattenObject(d, 0, &lines);
    d->Release();
  }
  en->Release();
  file->Release();
  xfile::DropPreparedDocuments();
  // Extra is known here: its object has the declared identifier and its 4 bytes.
  bool sawExtra = false;
  for (const std::string& line : lines)
    if (line.rfind("1 Extra 'X' 11111111 4:07000000", 0) == 0) sawExtra = true;
  EXPECT_TRUE(sawExtra) << ::testing::PrintToString(lines);
}
