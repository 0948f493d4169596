// Writing .X files: a tree of data objects serialised as text, binary or compressed
// binary (MSZIP), with template declarations for every non-standard template used.
//
// Values are appended flat, in template order; the template decides their types and the
// text form's separators. Example:
//   xfile::Writer w;
//   auto& root = w.AddFrame("Scene_Root", identity);
//   xfile::MeshDesc mesh; ...; xfile::WriteMesh(root, mesh);
//   auto& set = w.Add("AnimationSet", "Anim-00");
//   xfile::WriteMatrixAnimation(set, "Bone00", keys);
//   std::vector<uint8_t> bytes; w.Save(xfile::SaveFormat::CompressedBinary, &bytes);
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/xfile/xfile.h"

namespace xfile {

enum class SaveFormat { Text, Binary, CompressedBinary, CompressedText };

class WriteObject {
 public:
  WriteObject(std::string templateName, std::string name);

  // Child data object (nested inside this one).
  WriteObject& Add(const std::string& templateName, const std::string& name = "");
  // Child reference to a named data object ("{ name }").
  WriteObject& AddReference(const std::string& name);

  // Scalars in template order. Integers serve WORD/DWORD/... members, floats FLOAT/DOUBLE.
  WriteObject& Int(std::uint32_t v);
  WriteObject& Float(double v);
  WriteObject& String(const std::string& s);
  WriteObject& Ints(const std::uint32_t* v, std::size_t n);
  WriteObject& Floats(const float* v, std::size_t n);
  WriteObject& Matrix(const float m[16]) { return Floats(m, 16); }

  struct Value {
    double num = 0;
    int str = -1;  // index into strings, or -1
  };
  const std::string& templateName() const { return templateName_; }
  const std::string& name() const { return name_; }
  bool isReference() const { return isReference_; }
  const std::vector<Value>& values() const { return values_; }
  const std::vector<std::string>& strings() const { return strings_; }
  const std::deque<std::unique_ptr<WriteObject>>& children() const { return children_; }

 private:
  std::string templateName_, name_;
  bool isReference_ = false;
  std::vector<Value> values_;
  std::vector<std::string> strings_;
  std::deque<std::unique_ptr<WriteObject>> children_;
};

class Writer {
 public:
  Writer();
  ~Writer();

  // Declares extra templates (text form "template Name { <guid> ... }"); they are written
  // into the file when used. The standard and extension templates are always known.
  HRESULT DeclareTemplates(const std::string& templateText);

  // Top-level data object.
  WriteObject& Add(const std::string& templateName, const std::string& name = "");
  // Top-level or child frame with its FrameTransformMatrix.
  WriteObject& AddFrame(const std::string& name, const float matrix[16]);
  static WriteObject& AddFrame(WriteObject& parent, const std::string& name, const float matrix[16]);

  // Serialises the whole tree. floatBits 32 or 64 (binary forms). Fails with a result
  // code for an unknown template or values that do not fit the template.
  HRESULT Save(SaveFormat format, std::vector<std::uint8_t>* out, int floatBits = 32) const;
  HRESULT SaveFile(const char* path, SaveFormat format, int floatBits = 32) const;

  const std::deque<std::unique_ptr<WriteObject>>& objects() const { return objects_; }

 private:
  friend HRESULT ConvertFile(const void*, DWORD, SaveFormat, std::vector<std::uint8_t>*, int);
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::deque<std::unique_ptr<WriteObject>> objects_;
};

// Re-saves a .X image (any of the four forms) in another form: same objects, names and
// data; the templates the file declares are declared again when used.
HRESULT ConvertFile(const void* data, DWORD size, SaveFormat format, std::vector<std::uint8_t>* out,
                    int floatBits = 32);

// Convenience writers for models.
struct MaterialDesc {
  float diffuse[4] = {1, 1, 1, 1};  // faceColor RGBA
  float power = 0;
  float specular[3] = {0, 0, 0};
  float emissive[3] = {0, 0, 0};
  std::string textureFile;  // empty: no TextureFilename child
};

struct SkinWeightsDesc {
  std::string boneName;
  std::vector<std::uint32_t> vertices;
  std::vector<float> weights;
  float offset[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

struct MeshDesc {
  std::string name;
  std::vector<float> positions;                    // x, y, z per vertex
  std::vector<std::vector<std::uint32_t>> faces;   // vertex indices per face (3 or more)
  std::vector<float> normals;                      // x, y, z per vertex (faces reuse vertex indices); optional
  std::vector<float> texcoords;                    // u, v per vertex; optional
  std::vector<float> colors;                       // r, g, b, a per vertex; optional
  std::vector<MaterialDesc> materials;             // optional
  std::vector<std::uint32_t> faceMaterials;        // per face, or one entry for all faces
  std::vector<SkinWeightsDesc> skin;               // optional; written with an XSkinMeshHeader
  std::uint16_t maxWeightsPerVertex = 0;           // 0: computed from skin
  std::uint16_t maxWeightsPerFace = 0;             // 0: computed from skin
};

WriteObject& WriteMesh(WriteObject& parent, const MeshDesc& mesh);
WriteObject& WriteMesh(Writer& writer, const MeshDesc& mesh);

struct MatrixKeyDesc {
  std::uint32_t time;
  float matrix[16];
};
struct VectorKeyDesc {
  std::uint32_t time;
  float v[4];  // x, y, z (position/scale) or w, x, y, z (rotation, file order)
};

// An Animation child of an AnimationSet, driving frame `target`.
WriteObject& WriteMatrixAnimation(WriteObject& animationSet, const std::string& target,
                                  const std::vector<MatrixKeyDesc>& keys, const std::string& name = "");
// keyType 0 rotation (4 values), 1 scale, 2 position (3 values) into an Animation.
WriteObject& WriteVectorKeys(WriteObject& animation, std::uint32_t keyType, const std::vector<VectorKeyDesc>& keys);

}  // namespace xfile
