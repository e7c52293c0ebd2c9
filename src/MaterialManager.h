// Materials and shaders.
//
// ShaderManager ("shader"): GLSL programs (ARB_shader_objects) by name; use() makes one
// current. Rebuilding a name deletes the old program only once the new one has linked.
// Compile and link failures are fatal with the driver's log:
//   "Error compiling %s shader '%s':\n%s", "Error linking shader '%s':\n%s".
//
// Material file (data/materials/<name with . -> _>.mat), read in pieces of at most 510
// bytes joined back into whole lines, each line classified by substring, in order:
//   contains "%TEX"             texture line "%TEX<type> <uniform> = <texture>"; type one of
//                               2D 3D 1D CUBE (case-sensitive); one binding appended;
//                               a word over 79 (type) or 255 characters is a read error
//   contains "%VERTEX_SHADER"   following text goes to the vertex source; line dropped
//   contains "%FRAGMENT_SHADER" following text goes to the fragment source; line dropped
//   anything else               appended verbatim to the current source (vertex at start)
//
// MaterialManager ("material"): a material is a program ("SHD$" + name) plus texture
// bindings; use(name) binds binding i to texture unit i and tells its sampler uniform i.
// loadMaterials() (re)loads the show's set: "show_normals", "show_depth", "shadow".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "resources/GrowableArray.h"
#include "resources/ResourceManager.h"

using ShaderProgram = uint32_t;  // ARB_shader_objects program handle

class ShaderManager : public UsableResourceManager<ShaderProgram> {
 public:
  std::string typeName() const override { return "shader"; }

  ShaderProgram createProgram(const std::string& name, const std::string& vertexSource,
                              const std::string& fragmentSource);
  // Sets an integer uniform of the program in use; unknown uniforms are ignored.
  void setUniformInt(const std::string& uniformName, int value);

 protected:
  void bind(const std::string& name) override;
  void unbind() override;

 private:
  // A shader of `program`; on failure releases both and reports the driver's log.
  uint32_t compileShader(uint32_t program, uint32_t type, const std::string& name,
                         const std::string& source);
  void deleteProgram(ShaderProgram program);
};

struct TextureBinding {
  int32_t target = 0;  // GL_TEXTURE_1D, _2D, _3D or _CUBE_MAP
  std::string uniformName;
  std::string textureName;
};

struct Material {
  std::string shaderName;
  GrowableArray<TextureBinding> bindings{16};

  // Re-points the first binding with this uniform at another texture (looked up at use).
  void setUniformTexture(const std::string& uniformName, const std::string& textureName);
};

// What one material file holds, before anything is built from it.
struct MaterialSource {
  std::string vertexSource;
  std::string fragmentSource;
  // vertexLines[k - 1]: the file's line (from 1) that the driver's log calls line k.
  std::vector<int> vertexLines;
  std::vector<int> fragmentLines;
  GrowableArray<TextureBinding> bindings{16};
};

// Reads a material file's text from an open stream; parse errors are fatal.
void parseMaterialStream(FILE* file, MaterialSource& out);

class MaterialManager : public UsableResourceManager<Material> {
 public:
  std::string typeName() const override { return "material"; }

  void loadFile(const std::string& name, const std::string& path);
  void add(const std::string& name, const std::string& vertexSource,
           const std::string& fragmentSource, const GrowableArray<TextureBinding>& bindings);

 protected:
  void bind(const std::string& name) override;
  void unbind() override;
};

// The materials the show loads, and the file each is read from ("data/materials/...").
std::vector<std::string> showMaterialNames();
std::string materialFilePath(const std::string& name);
// One loading picture, then the show's materials from data/materials/.
void loadMaterials();
