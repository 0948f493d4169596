// The fixed-function pipeline as generated GLSL: a compact key holds every state that changes
// the shader text; programs are built once per key and cached.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/d3d8/d3d8_types.h"
#include "platform/d3d8/gl.h"

namespace d3d8 {

constexpr int kMaxStages = 4;        // texture stages emulated
constexpr int kMaxActiveLights = 8;  // lights enabled at once
constexpr int kMaxBlendMatrices = 4;

struct FFStageKey {
  std::uint8_t colorOp, colorArg1, colorArg2, colorArg0;
  std::uint8_t alphaOp, alphaArg1, alphaArg2, alphaArg0;
  std::uint8_t resultTemp;      // result goes to the temporary register
  std::uint8_t textureBound;
  std::uint8_t texCoordIndex;   // source set, 0..7
  std::uint8_t texGen;          // 0 pass-through, 1 camera normal, 2 camera position, 3 reflection
  std::uint8_t transformCount;  // 0 = no texture transform, else 1..4 components
  std::uint8_t projected;
  std::uint8_t pad[2];
};

struct FFKey {
  std::uint32_t fvf;
  std::uint8_t lighting;         // lighting on and the vertices are not pre-transformed
  std::uint8_t specular;         // SPECULARENABLE
  std::uint8_t localViewer;
  std::uint8_t normalizeNormals;
  std::uint8_t diffuseSource, ambientSource, specularSource, emissiveSource;  // 0 material, 1 diffuse, 2 specular
  std::uint8_t blendWeights;     // vertex blend: weights used (matrices = weights + 1), 0 = off
  std::uint8_t lightCount;
  std::uint8_t alphaFunc;        // D3DCMPFUNC when alpha test is on, 0 when off
  std::uint8_t stageCount;       // stages before the first disabled colour operation
  std::uint8_t lightTypes[kMaxActiveLights];
  FFStageKey stages[kMaxStages];
};

bool operator==(const FFKey& a, const FFKey& b);
struct FFKeyHash {
  std::size_t operator()(const FFKey& key) const;
};

// Uniform groups; the device bumps a group's version when its source state changes, and a
// program uploads a group when the version it last saw differs.
enum UniformGroup { kTransforms, kLights, kMaterial, kTexMatrices, kMisc, kScreen, kGroupCount };

struct FFProgram {
  GLuint program = 0;
  std::uint64_t seen[kGroupCount] = {};
  GLint worldView = -1, normalMatrix = -1, projection = -1, texMatrix = -1;
  GLint lightDiffuse = -1, lightSpecular = -1, lightAmbient = -1, lightPosition = -1, lightDirection = -1,
        lightAttenuation = -1, lightSpot = -1;
  GLint materialDiffuse = -1, materialAmbient = -1, materialSpecular = -1, materialEmissive = -1,
        materialPower = -1, globalAmbient = -1;
  GLint textureFactor = -1, alphaRef = -1;
  GLint screen = -1, depthRange = -1, pixelOffset = -1;
};

std::string GenerateVertexShader(const FFKey& key);
std::string GenerateFragmentShader(const FFKey& key);

class FFProgramCache {
 public:
  ~FFProgramCache();
  // Returns the program for a key, building it on first use; nullptr if GLSL compilation fails.
  FFProgram* Get(const FFKey& key, std::uint64_t* builtCounter);
  void Clear();  // deletes every program (context must be current)
  std::size_t Size() const { return programs_.size(); }

 private:
  std::unordered_map<FFKey, std::unique_ptr<FFProgram>, FFKeyHash> programs_;
};

}  // namespace d3d8
