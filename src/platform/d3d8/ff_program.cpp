#include "platform/d3d8/ff_program.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace d3d8 {

bool operator==(const FFKey& a, const FFKey& b) { return std::memcmp(&a, &b, sizeof(FFKey)) == 0; }

std::size_t FFKeyHash::operator()(const FFKey& key) const {
  // FNV-1a over the key bytes; keys are zero-initialised, so padding is stable.
  const auto* p = reinterpret_cast<const unsigned char*>(&key);
  std::uint64_t h = 1469598103934665603ull;
  for (std::size_t i = 0; i < sizeof(FFKey); ++i) h = (h ^ p[i]) * 1099511628211ull;
  return static_cast<std::size_t>(h);
}

namespace {

void Append(std::string& s, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& s, const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  s += buffer;
}

int TexCount(std::uint32_t fvf) { return static_cast<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT); }

int TexSize(std::uint32_t fvf, int set) {
  switch ((fvf >> (set * 2 + 16)) & 3) {
    case D3DFVF_TEXTUREFORMAT1: return 1;
    case D3DFVF_TEXTUREFORMAT3: return 3;
    case D3DFVF_TEXTUREFORMAT4: return 4;
    default: return 2;
  }
}

// A texture coordinate set widened to four components the way the texture transform sees it:
// the component after the last present one is 1.
std::string ExpandedTexCoord(std::uint32_t fvf, int set) {
  if (set >= TexCount(fvf)) return "vec4(0.0, 0.0, 0.0, 1.0)";
  char name[16];
  std::snprintf(name, sizeof name, "aTex%d", set);
  switch (TexSize(fvf, set)) {
    case 1: return std::string("vec4(") + name + ".x, 1.0, 0.0, 0.0)";
    case 2: return std::string("vec4(") + name + ".xy, 1.0, 0.0)";
    case 3: return std::string("vec4(") + name + ".xyz, 1.0)";
    default: return name;
  }
}

const char* SourceExpression(int source, const char* material) {
  if (source == 1) return "aDiffuse";
  if (source == 2) return "aSpecular";
  return material;
}

}  // namespace

std::string GenerateVertexShader(const FFKey& key) {
  std::string s = "#version 330 core\n";
  const std::uint32_t fvf = key.fvf;
  const bool rhw = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
  const bool hasNormal = (fvf & D3DFVF_NORMAL) != 0;
  const bool hasDiffuse = (fvf & D3DFVF_DIFFUSE) != 0;
  const bool hasSpecular = (fvf & D3DFVF_SPECULAR) != 0;
  const int texCount = TexCount(fvf);
  const int weights = key.blendWeights;

  s += "layout(location = 0) in vec4 aPos;\n";
  if (weights > 0) s += "layout(location = 1) in vec4 aWeights;\n";
  if (hasNormal) s += "layout(location = 2) in vec3 aNormal;\n";
  if (hasDiffuse) s += "layout(location = 4) in vec4 aDiffuse;\n";
  if (hasSpecular) s += "layout(location = 5) in vec4 aSpecular;\n";
  for (int i = 0; i < texCount; ++i) Append(s, "layout(location = %d) in vec4 aTex%d;\n", 6 + i, i);

  s +=
      "uniform mat4 uWorldView[4];\n"
      "uniform mat3 uNormalMatrix[4];\n"
      "uniform mat4 uProjection;\n"
      "uniform mat4 uTexMatrix[4];\n"
      "uniform vec4 uScreen;\n"
      "uniform vec2 uDepthRange;\n"
      "uniform vec2 uPixelOffset;\n";
  if (key.lighting) {
    Append(s,
           "uniform vec4 uLightDiffuse[%d];\nuniform vec4 uLightSpecular[%d];\nuniform vec4 uLightAmbient[%d];\n"
           "uniform vec4 uLightPosition[%d];\nuniform vec4 uLightDirection[%d];\n"
           "uniform vec4 uLightAttenuation[%d];\nuniform vec4 uLightSpot[%d];\n",
           kMaxActiveLights, kMaxActiveLights, kMaxActiveLights, kMaxActiveLights, kMaxActiveLights,
           kMaxActiveLights, kMaxActiveLights);
    s +=
        "uniform vec4 uMaterialDiffuse;\nuniform vec4 uMaterialAmbient;\nuniform vec4 uMaterialSpecular;\n"
        "uniform vec4 uMaterialEmissive;\nuniform float uMaterialPower;\nuniform vec4 uGlobalAmbient;\n";
  }
  s += "out vec4 vDiffuse;\nout vec4 vSpecular;\n";
  for (int i = 0; i < key.stageCount; ++i) Append(s, "out vec4 vTex%d;\n", i);

  s += "void main() {\n";
  if (rhw) {
    // Pre-transformed: screen pixels, depth as given, 1/w for perspective-correct interpolation.
    s +=
        "  float w = aPos.w != 0.0 ? 1.0 / aPos.w : 1.0;\n"
        "  vec2 ndc = ((aPos.xy + 0.5) - uScreen.xy) / uScreen.zw * 2.0 - 1.0;\n"
        "  float z = uDepthRange.y != uDepthRange.x ? (aPos.z - uDepthRange.x) / (uDepthRange.y - uDepthRange.x)"
        " : aPos.z;\n"
        "  gl_Position = vec4(ndc * w, (2.0 * z - 1.0) * w, w);\n";
    s += hasDiffuse ? "  vDiffuse = aDiffuse;\n" : "  vDiffuse = vec4(1.0);\n";
    s += hasSpecular ? "  vSpecular = aSpecular;\n" : "  vSpecular = vec4(0.0);\n";
    for (int i = 0; i < key.stageCount; ++i)
      Append(s, "  vTex%d = %s;\n", i, ExpandedTexCoord(fvf, key.stages[i].texCoordIndex).c_str());
    s += "}\n";
    return s;
  }

  // Camera-space position and normal, blended over up to four world matrices.
  s += "  vec4 pos = vec4(aPos.xyz, 1.0);\n";
  s += hasNormal ? "  vec3 nrm = aNormal;\n" : "  vec3 nrm = vec3(0.0);\n";
  if (weights > 0) {
    s += "  float wt[4];\n  float rest = 1.0;\n";
    const char* comp = "xyzw";
    for (int k = 0; k < weights; ++k) Append(s, "  wt[%d] = aWeights.%c; rest -= wt[%d];\n", k, comp[k], k);
    Append(s, "  wt[%d] = rest;\n", weights);
    s += "  vec3 P = vec3(0.0);\n  vec3 N = vec3(0.0);\n";
    for (int k = 0; k <= weights; ++k) {
      Append(s, "  P += wt[%d] * (uWorldView[%d] * pos).xyz;\n", k, k);
      Append(s, "  N += wt[%d] * (uNormalMatrix[%d] * nrm);\n", k, k);
    }
  } else {
    s += "  vec3 P = (uWorldView[0] * pos).xyz;\n  vec3 N = uNormalMatrix[0] * nrm;\n";
  }
  if (key.normalizeNormals) s += "  if (dot(N, N) > 0.0) N = normalize(N);\n";
  s +=
      "  vec4 clip = uProjection * vec4(P, 1.0);\n"
      "  gl_Position = vec4(clip.x + uPixelOffset.x * clip.w, -clip.y + uPixelOffset.y * clip.w,"
      " 2.0 * clip.z - clip.w, clip.w);\n";

  if (key.lighting) {
    Append(s, "  vec4 Cd = %s;\n", SourceExpression(key.diffuseSource, "uMaterialDiffuse"));
    Append(s, "  vec4 Ca = %s;\n", SourceExpression(key.ambientSource, "uMaterialAmbient"));
    Append(s, "  vec4 Cs = %s;\n", SourceExpression(key.specularSource, "uMaterialSpecular"));
    Append(s, "  vec4 Ce = %s;\n", SourceExpression(key.emissiveSource, "uMaterialEmissive"));
    s += "  vec3 amb = uGlobalAmbient.rgb;\n  vec3 dif = vec3(0.0);\n  vec3 spe = vec3(0.0);\n";
    if (key.specular)
      s += key.localViewer ? "  vec3 V = dot(P, P) > 0.0 ? normalize(-P) : vec3(0.0, 0.0, -1.0);\n"
                           : "  vec3 V = vec3(0.0, 0.0, -1.0);\n";
    for (int i = 0; i < key.lightCount; ++i) {
      const int type = key.lightTypes[i];
      Append(s, "  {\n    vec3 L;\n    float att = 1.0;\n");
      if (type == D3DLIGHT_DIRECTIONAL) {
        Append(s, "    L = uLightDirection[%d].xyz;\n", i);
      } else {
        Append(s,
               "    vec3 D = uLightPosition[%d].xyz - P;\n"
               "    float d = length(D);\n"
               "    L = d > 0.0 ? D / d : vec3(0.0, 0.0, 1.0);\n"
               "    vec4 A = uLightAttenuation[%d];\n"
               "    float den = A.x + A.y * d + A.z * d * d;\n"
               "    att = d > A.w ? 0.0 : (den > 0.0 ? 1.0 / den : 1.0);\n",
               i, i);
        if (type == D3DLIGHT_SPOT) {
          Append(s,
                 "    vec4 S = uLightSpot[%d];\n"
                 "    float rho = dot(-L, uLightDirection[%d].xyz * -1.0);\n"
                 "    float spot = rho > S.x ? 1.0 : (rho <= S.y ? 0.0 :"
                 " pow(max((rho - S.y) / max(S.x - S.y, 1e-6), 0.0), S.z));\n"
                 "    att *= spot;\n",
                 i, i);
        }
      }
      Append(s, "    amb += att * uLightAmbient[%d].rgb;\n", i);
      Append(s, "    float ndl = dot(N, L);\n    if (ndl > 0.0) {\n      dif += att * ndl * uLightDiffuse[%d].rgb;\n",
             i);
      if (key.specular)
        Append(s,
               "      vec3 H = normalize(L + V);\n      float ndh = dot(N, H);\n"
               "      if (ndh > 0.0) spe += att * pow(ndh, uMaterialPower) * uLightSpecular[%d].rgb;\n",
               i);
      s += "    }\n  }\n";
    }
    s +=
        "  vDiffuse = vec4(clamp(Ce.rgb + Ca.rgb * amb + Cd.rgb * dif, 0.0, 1.0), clamp(Cd.a, 0.0, 1.0));\n"
        "  vSpecular = vec4(clamp(Cs.rgb * spe, 0.0, 1.0), 0.0);\n";
  } else {
    s += hasDiffuse ? "  vDiffuse = aDiffuse;\n" : "  vDiffuse = vec4(1.0);\n";
    s += hasSpecular ? "  vSpecular = aSpecular;\n" : "  vSpecular = vec4(0.0);\n";
  }

  for (int i = 0; i < key.stageCount; ++i) {
    const FFStageKey& st = key.stages[i];
    switch (st.texGen) {
      case 1: Append(s, "  vec4 tc%d = vec4(N, 1.0);\n", i); break;
      case 2: Append(s, "  vec4 tc%d = vec4(P, 1.0);\n", i); break;
      case 3:
        Append(s, "  vec4 tc%d = vec4(reflect(dot(P, P) > 0.0 ? normalize(P) : vec3(0.0, 0.0, 1.0), N), 1.0);\n", i);
        break;
      default: Append(s, "  vec4 tc%d = %s;\n", i, ExpandedTexCoord(fvf, st.texCoordIndex).c_str()); break;
    }
    if (st.transformCount) Append(s, "  tc%d = uTexMatrix[%d] * tc%d;\n", i, i, i);
    Append(s, "  vTex%d = tc%d;\n", i, i);
  }
  s += "}\n";
  return s;
}

namespace {

std::string Arg(DWORD code, int stage, bool alpha) {
  std::string base;
  switch (code & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: base = "vDiffuse"; break;
    case D3DTA_CURRENT: base = "cur"; break;
    case D3DTA_TEXTURE: base = "tex" + std::to_string(stage); break;
    case D3DTA_TFACTOR: base = "uTextureFactor"; break;
    case D3DTA_SPECULAR: base = "vSpecular"; break;
    case D3DTA_TEMP: base = "tmp"; break;
    default: base = "vec4(1.0)"; break;
  }
  if (code & D3DTA_COMPLEMENT) base = "(vec4(1.0) - " + base + ")";
  if (code & D3DTA_ALPHAREPLICATE) base = "vec4(" + base + ".a)";
  return base + (alpha ? ".a" : ".rgb");
}

// One stage operation on the colour (rgb) or alpha (a) channels.
std::string Operation(int op, const std::string& x, const std::string& y, const std::string& z, int stage,
                      bool alpha) {
  const std::string one = alpha ? "1.0" : "vec3(1.0)";
  const std::string half = alpha ? "0.5" : "vec3(0.5)";
  const std::string sel = alpha ? "" : "vec3";
  auto blend = [&](const std::string& a) { return x + " * " + a + " + " + y + " * (1.0 - " + a + ")"; };
  const std::string xFull = x.substr(0, x.size() - (alpha ? 2 : 4));  // argument without its swizzle
  switch (op) {
    case D3DTOP_SELECTARG1: return x;
    case D3DTOP_SELECTARG2: return y;
    case D3DTOP_MODULATE: return x + " * " + y;
    case D3DTOP_MODULATE2X: return x + " * " + y + " * 2.0";
    case D3DTOP_MODULATE4X: return x + " * " + y + " * 4.0";
    case D3DTOP_ADD: return x + " + " + y;
    case D3DTOP_ADDSIGNED: return x + " + " + y + " - " + half;
    case D3DTOP_ADDSIGNED2X: return "(" + x + " + " + y + " - " + half + ") * 2.0";
    case D3DTOP_SUBTRACT: return x + " - " + y;
    case D3DTOP_ADDSMOOTH: return x + " + " + y + " - " + x + " * " + y;
    case D3DTOP_BLENDDIFFUSEALPHA: return blend("vDiffuse.a");
    case D3DTOP_BLENDTEXTUREALPHA: return blend("tex" + std::to_string(stage) + ".a");
    case D3DTOP_BLENDFACTORALPHA: return blend("uTextureFactor.a");
    case D3DTOP_BLENDCURRENTALPHA: return blend("cur.a");
    case D3DTOP_BLENDTEXTUREALPHAPM: return x + " + " + y + " * (1.0 - tex" + std::to_string(stage) + ".a)";
    case D3DTOP_MODULATEALPHA_ADDCOLOR:
      return alpha ? x : x + " + " + xFull + ".a * " + y;
    case D3DTOP_MODULATECOLOR_ADDALPHA:
      return alpha ? x : x + " * " + y + " + vec3(" + xFull + ".a)";
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
      return alpha ? x : "(1.0 - " + xFull + ".a) * " + y + " + " + x;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
      return alpha ? x : "(" + one + " - " + x + ") * " + y + " + vec3(" + xFull + ".a)";
    case D3DTOP_DOTPRODUCT3: {
      std::string xr = x, yr = y;
      if (alpha) return "1.0";  // replaced by the colour result below
      return sel + "(dot(" + xr + " * 2.0 - 1.0, " + yr + " * 2.0 - 1.0))";
    }
    case D3DTOP_MULTIPLYADD: return z + " + " + x + " * " + y;
    case D3DTOP_LERP: return z + " * " + x + " + (" + one + " - " + z + ") * " + y;
    default: return x;  // bump mapping and premodulation are not emulated: pass the first argument
  }
}

}  // namespace

std::string GenerateFragmentShader(const FFKey& key) {
  std::string s = "#version 330 core\n";
  s += "in vec4 vDiffuse;\nin vec4 vSpecular;\n";
  for (int i = 0; i < key.stageCount; ++i) {
    Append(s, "in vec4 vTex%d;\n", i);
    if (key.stages[i].textureBound) Append(s, "uniform sampler2D uSampler%d;\n", i);
  }
  s += "uniform vec4 uTextureFactor;\nuniform float uAlphaRef;\nout vec4 fragColor;\n";
  s += "void main() {\n  vec4 cur = vDiffuse;\n  vec4 tmp = vec4(0.0);\n";
  for (int i = 0; i < key.stageCount; ++i) {
    const FFStageKey& st = key.stages[i];
    if (st.textureBound) {
      if (st.projected && st.transformCount >= 2) {
        const char comp = "xyzw"[st.transformCount - 1];
        Append(s, "  vec4 tex%d = texture(uSampler%d, vTex%d.xy / vTex%d.%c);\n", i, i, i, i, comp);
      } else {
        Append(s, "  vec4 tex%d = texture(uSampler%d, vTex%d.xy);\n", i, i, i);
      }
    } else {
      Append(s, "  vec4 tex%d = vec4(1.0);\n", i);
    }
    const std::string c = Operation(st.colorOp, Arg(st.colorArg1, i, false), Arg(st.colorArg2, i, false),
                                     Arg(st.colorArg0, i, false), i, false);
    const char* target = st.resultTemp ? "tmp" : "cur";
    if (st.colorOp == D3DTOP_DOTPRODUCT3) {
      Append(s, "  { float d = clamp(%s.x, 0.0, 1.0); %s = vec4(d); }\n", ("(" + c + ")").c_str(), target);
      continue;
    }
    Append(s, "  { vec3 c = clamp(%s, 0.0, 1.0);\n", c.c_str());
    if (st.alphaOp == D3DTOP_DISABLE) {
      Append(s, "    %s = vec4(c, cur.a); }\n", target);
    } else {
      const std::string a = Operation(st.alphaOp, Arg(st.alphaArg1, i, true), Arg(st.alphaArg2, i, true),
                                       Arg(st.alphaArg0, i, true), i, true);
      Append(s, "    float a = clamp(%s, 0.0, 1.0);\n    %s = vec4(c, a); }\n", a.c_str(), target);
    }
  }
  if (key.specular) s += "  cur.rgb = clamp(cur.rgb + vSpecular.rgb, 0.0, 1.0);\n";
  if (key.alphaFunc && key.alphaFunc != D3DCMP_ALWAYS) {
    // Compared in 8 bits against the reference, as the hardware does.
    s += "  float a8 = floor(clamp(cur.a, 0.0, 1.0) * 255.0 + 0.5);\n";
    const char* test = "true";
    switch (key.alphaFunc) {
      case D3DCMP_NEVER: test = "false"; break;
      case D3DCMP_LESS: test = "a8 < uAlphaRef"; break;
      case D3DCMP_EQUAL: test = "a8 == uAlphaRef"; break;
      case D3DCMP_LESSEQUAL: test = "a8 <= uAlphaRef"; break;
      case D3DCMP_GREATER: test = "a8 > uAlphaRef"; break;
      case D3DCMP_NOTEQUAL: test = "a8 != uAlphaRef"; break;
      case D3DCMP_GREATEREQUAL: test = "a8 >= uAlphaRef"; break;
      default: break;
    }
    Append(s, "  if (!(%s)) discard;\n", test);
  }
  s += "  fragColor = cur;\n}\n";
  return s;
}

namespace {

// A context that has gone away (its window destroyed under it) fails every compile with no
// message from the compiler: that is said once, in one line, not as a source dump per shader.
void ReportLostContext() {
  static bool reported = false;
  if (!reported) std::fprintf(stderr, "d3d8: the GL context is lost (its window is gone?); shaders cannot be built\n");
  reported = true;
}

GLuint Compile(GLenum type, const std::string& source) {
  GLuint shader = glCreateShader(type);
  if (shader == 0) {
    ReportLostContext();
    return 0;
  }
  const char* text = source.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    if (log[0] == '\0')
      ReportLostContext();
    else
      std::fprintf(stderr, "d3d8: shader compilation failed: %s\n%s\n", log, text);
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

}  // namespace

FFProgramCache::~FFProgramCache() = default;

FFProgram* FFProgramCache::Get(const FFKey& key, std::uint64_t* builtCounter) {
  auto it = programs_.find(key);
  if (it != programs_.end()) return it->second.get();
  GLuint vs = Compile(GL_VERTEX_SHADER, GenerateVertexShader(key));
  GLuint fs = Compile(GL_FRAGMENT_SHADER, GenerateFragmentShader(key));
  if (!vs || !fs) {
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    return nullptr;
  }
  GLuint program = glCreateProgram();
  glAttachShader(program, vs);
  glAttachShader(program, fs);
  glLinkProgram(program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetProgramInfoLog(program, sizeof log, nullptr, log);
    if (log[0] == '\0')
      ReportLostContext();
    else
      std::fprintf(stderr, "d3d8: program link failed: %s\n", log);
    glDeleteProgram(program);
    return nullptr;
  }
  auto p = std::make_unique<FFProgram>();
  p->program = program;
  auto loc = [&](const char* name) { return glGetUniformLocation(program, name); };
  p->worldView = loc("uWorldView");
  p->normalMatrix = loc("uNormalMatrix");
  p->projection = loc("uProjection");
  p->texMatrix = loc("uTexMatrix");
  p->lightDiffuse = loc("uLightDiffuse");
  p->lightSpecular = loc("uLightSpecular");
  p->lightAmbient = loc("uLightAmbient");
  p->lightPosition = loc("uLightPosition");
  p->lightDirection = loc("uLightDirection");
  p->lightAttenuation = loc("uLightAttenuation");
  p->lightSpot = loc("uLightSpot");
  p->materialDiffuse = loc("uMaterialDiffuse");
  p->materialAmbient = loc("uMaterialAmbient");
  p->materialSpecular = loc("uMaterialSpecular");
  p->materialEmissive = loc("uMaterialEmissive");
  p->materialPower = loc("uMaterialPower");
  p->globalAmbient = loc("uGlobalAmbient");
  p->textureFactor = loc("uTextureFactor");
  p->alphaRef = loc("uAlphaRef");
  p->screen = loc("uScreen");
  p->depthRange = loc("uDepthRange");
  p->pixelOffset = loc("uPixelOffset");
  // Samplers are bound to the unit of their stage once.
  glUseProgram(program);
  for (int i = 0; i < kMaxStages; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "uSampler%d", i);
    GLint l = loc(name);
    if (l >= 0) glUniform1i(l, i);
  }
  if (builtCounter) ++*builtCounter;
  FFProgram* raw = p.get();
  programs_.emplace(key, std::move(p));
  return raw;
}

void FFProgramCache::Clear() {
  for (auto& entry : programs_) glDeleteProgram(entry.second->program);
  programs_.clear();
}

}  // namespace d3d8
