#include "MaterialManager.h"

#include <GL/glew.h>

#include <cctype>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "app/Fatal.h"
#include "app/LoadingPicture.h"
#include "app/Registries.h"
#include "images/TextureManager.h"

namespace {

// Driver information logs; 1024 bytes including the terminator.
constexpr int kInfoLogBytes = 1024;
char infoLog[kInfoLogBytes];

// A program holds at most one vertex and one fragment shader.
constexpr int kMaxAttachedShaders = 2;

// fgets reads at most kPieceLimit - 1 = 510 bytes into the 512-byte buffer.
constexpr int kPieceBufferBytes = 512;
constexpr int kPieceLimit = 511;

// Longest words a texture line may carry; a longer word is a read error.
constexpr size_t kMaxTypeWord = 79;
constexpr size_t kMaxNameWord = 255;

// Where the texture errors of add() say they come from.
constexpr const char* kSourceName = ".\\src\\MaterialManager";
constexpr int k3dTextureLine = 119;
constexpr int kUnhandledTypeLine = 123;

constexpr const char* kShaderPrefix = "SHD$";
constexpr const char* kMaterialDirectory = "data/materials/";
constexpr const char* kMaterialExtension = ".mat";
constexpr const char* kShowMaterials[] = {"show_normals", "show_depth", "shadow"};

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

void skipBlanks(const char*& p) {
  while (*p && isBlank(*p)) ++p;
}

// Reads one run of non-blank characters. False when there is none or when it is longer
// than `limit`: a word cut at the limit would silently shift the rest of the line.
bool readWord(const char*& p, size_t limit, std::string& word) {
  skipBlanks(p);
  const char* start = p;
  while (*p && !isBlank(*p)) ++p;
  size_t length = static_cast<size_t>(p - start);
  if (length == 0 || length > limit) return false;
  word.assign(start, length);
  return true;
}

// "%TEX<type> <uniform> = <texture>" as scanf reads "%%TEX%s %s = %s": words end at white
// space (the uniform needs a blank before "="). Returns how many words were read.
int scanTextureLine(const char* line, std::string& type, std::string& uniform,
                    std::string& texture) {
  const char* p = line;
  skipBlanks(p);
  if (std::strncmp(p, "%TEX", 4) != 0) return 0;
  p += 4;
  if (!readWord(p, kMaxTypeWord, type)) return 0;
  if (!readWord(p, kMaxNameWord, uniform)) return 1;
  skipBlanks(p);
  if (*p != '=') return 2;
  ++p;
  if (!readWord(p, kMaxNameWord, texture)) return 2;
  return 3;
}

void parseTextureLine(const std::string& line, GrowableArray<TextureBinding>& bindings) {
  std::string type, uniform, texture;
  if (scanTextureLine(line.c_str(), type, uniform, texture) < 3) {
    fatalError("Read error in material file, line:\n'%s'", line.c_str());
  }
  static const std::pair<const char*, int32_t> kTargets[] = {{"2D", GL_TEXTURE_2D},
                                                             {"3D", GL_TEXTURE_3D},
                                                             {"1D", GL_TEXTURE_1D},
                                                             {"CUBE", GL_TEXTURE_CUBE_MAP}};
  for (const auto& [word, target] : kTargets) {
    if (type == word) {
      bindings.append({target, uniform, texture});
      return;
    }
  }
  fatalError("Invalid texture type '%s' in line '%s'", type.c_str(), line.c_str());
}

// One line with its line end, joined from 510-byte pieces; false with nothing read.
bool readLine(FILE* file, std::string& line) {
  char piece[kPieceBufferBytes];
  line.clear();
  while (std::fgets(piece, kPieceLimit, file)) {
    line += piece;
    if (!line.empty() && line.back() == '\n') break;
  }
  return !line.empty();
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

uint32_t ShaderManager::compileShader(uint32_t program, uint32_t type, const std::string& name,
                                      const std::string& source) {
  GLhandleARB shader = glCreateShaderObjectARB(type);
  // Explicit length: the driver reads exactly these bytes, carriage returns included.
  const GLcharARB* text = source.data();
  GLint length = static_cast<GLint>(source.size());
  glShaderSourceARB(shader, 1, &text, &length);
  glCompileShaderARB(shader);
  GLint compiled = 0;
  glGetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &compiled);
  if (!compiled) {
    infoLog[0] = '\0';
    glGetInfoLogARB(shader, kInfoLogBytes, nullptr, infoLog);
    // Released before the report: a caller whose reporter returns (a tool that reloads
    // on save) must not collect dead programs.
    glDeleteObjectARB(shader);
    deleteProgram(program);
    fatalError("Error compiling %s shader '%s':\n%s",
               type == GL_VERTEX_SHADER_ARB ? "vertex" : "fragment", name.c_str(), infoLog);
  }
  return shader;
}

ShaderProgram ShaderManager::createProgram(const std::string& name, const std::string& vertexSource,
                                           const std::string& fragmentSource) {
  GLhandleARB program = glCreateProgramObjectARB();
  // Vertex first: a file broken in both shaders reports the vertex error.
  if (!vertexSource.empty()) {
    glAttachObjectARB(program, compileShader(program, GL_VERTEX_SHADER_ARB, name, vertexSource));
  }
  if (!fragmentSource.empty()) {
    glAttachObjectARB(program,
                      compileShader(program, GL_FRAGMENT_SHADER_ARB, name, fragmentSource));
  }
  glLinkProgramARB(program);
  GLint linked = 0;
  glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &linked);
  if (!linked) {
    infoLog[0] = '\0';
    glGetInfoLogARB(program, kInfoLogBytes, nullptr, infoLog);
    deleteProgram(program);
    fatalError("Error linking shader '%s':\n%s", name.c_str(), infoLog);
  }
  // A name registered again now names the new program. Only now, with the new one linked,
  // is the old one released: a reload that fails stays fatal before anything changes.
  const bool replacing = contains(name);
  ShaderProgram& stored = getOrCreate(name);
  if (replacing) deleteProgram(stored);
  stored = program;
  return stored;
}

// The program's shaders, then the program; one still in use goes when no longer used.
void ShaderManager::deleteProgram(ShaderProgram program) {
  GLhandleARB shaders[kMaxAttachedShaders];
  GLsizei count = 0;
  glGetAttachedObjectsARB(program, kMaxAttachedShaders, &count, shaders);
  for (GLsizei i = 0; i < count; ++i) {
    glDetachObjectARB(program, shaders[i]);
    glDeleteObjectARB(shaders[i]);
  }
  glDeleteObjectARB(program);
}

void ShaderManager::setUniformInt(const std::string& uniformName, int value) {
  ShaderProgram program = get(currentName());
  // Location -1 (no such or inactive uniform) is ignored by OpenGL.
  glUniform1iARB(glGetUniformLocationARB(program, uniformName.c_str()), value);
}

void ShaderManager::bind(const std::string& name) { glUseProgramObjectARB(get(name)); }

void ShaderManager::unbind() { glUseProgramObjectARB(0); }

// Lines are classified whole, never by piece: a marker that straddles a piece boundary
// still counts, and the rest of its line never leaks into the shader text.
void parseMaterialStream(FILE* file, MaterialSource& out) {
  std::string* current = &out.vertexSource;
  std::vector<int>* lines = &out.vertexLines;
  std::string line;
  for (int number = 1; readLine(file, line); ++number) {
    if (line.find("%TEX") != std::string::npos) {
      parseTextureLine(line, out.bindings);
    } else if (line.find("%VERTEX_SHADER") != std::string::npos) {
      current = &out.vertexSource;
      lines = &out.vertexLines;
    } else if (line.find("%FRAGMENT_SHADER") != std::string::npos) {
      current = &out.fragmentSource;
      lines = &out.fragmentLines;
    } else {
      *current += line;
      lines->push_back(number);
    }
  }
}

void MaterialManager::loadFile(const std::string& name, const std::string& path) {
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) fatalError("Could not open material file '%s'.", path.c_str());
  MaterialSource source;
  parseMaterialStream(file.get(), source);
  file.reset();
  add(name, source.vertexSource, source.fragmentSource, source.bindings);
}

void MaterialManager::add(const std::string& name, const std::string& vertexSource,
                          const std::string& fragmentSource,
                          const GrowableArray<TextureBinding>& bindings) {
  // Compile and link errors end here, before anything of the material is stored.
  const std::string programName = kShaderPrefix + name;
  shaderRegistry().createProgram(programName, vertexSource, fragmentSource);

  // Its textures next: a texture that fails to load leaves the material as it was.
  TextureManager& textures = textureRegistry();
  for (const TextureBinding& binding : bindings) {
    if (textures.contains(binding.textureName)) continue;
    switch (binding.target) {
      case GL_TEXTURE_2D: textures.loadTexture(binding.textureName, -1, -1); break;
      case GL_TEXTURE_CUBE_MAP: textures.loadCubeMap(binding.textureName, -1, -1); break;
      case GL_TEXTURE_3D:
        fatalError("Loading 3D texture files not supported!\nTexture \"%s\"\n[%s, line %d]\n",
                   binding.textureName.c_str(), kSourceName, k3dTextureLine);
      default:
        fatalError("Unhandled type %d in %s, line %d!\n", binding.target, kSourceName,
                   kUnhandledTypeLine);
    }
  }
  // A reload replaces the whole binding list, dropping setUniformTexture changes.
  // Registered textures are never reloaded here, whatever target they were made with.
  Material& stored = getOrCreate(name);
  stored.shaderName = programName;
  stored.bindings = bindings;
}

void MaterialManager::bind(const std::string& name) {
  const Material& material = get(name);
  ShaderManager& shaders = shaderRegistry();
  shaders.use(material.shaderName);
  // Binding i sits on texture unit i; its sampler is told so on every use.
  for (int unit = 0; unit < material.bindings.count(); ++unit) {
    const TextureBinding& binding = material.bindings[unit];
    glActiveTexture(GL_TEXTURE0 + unit);
    const Texture& texture = textureRegistry().get(binding.textureName);
    glBindTexture(binding.target, texture.glName);
    shaders.setUniformInt(binding.uniformName, unit);
  }
  glActiveTexture(GL_TEXTURE0);
}

// Textures stay bound on their units.
void MaterialManager::unbind() { shaderRegistry().unuse(); }

void Material::setUniformTexture(const std::string& uniformName, const std::string& textureName) {
  for (TextureBinding& binding : bindings) {
    if (binding.uniformName == uniformName) {
      binding.textureName = textureName;  // looked up at the next use
      return;
    }
  }
  fatalError("No such uniform '%s' in material.", uniformName.c_str());
}

std::vector<std::string> showMaterialNames() {
  return std::vector<std::string>(std::begin(kShowMaterials), std::end(kShowMaterials));
}

std::string materialFilePath(const std::string& name) {
  std::string fileName = name;
  for (char& c : fileName) {
    if (c == '.') c = '_';
  }
  return kMaterialDirectory + fileName + kMaterialExtension;
}

void loadMaterials() {
  showLoadingPicture();
  for (const char* name : kShowMaterials) {
    materialRegistry().loadFile(name, materialFilePath(name));
  }
}
