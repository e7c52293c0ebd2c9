// The web build defines LUMORAK_GL_COMPAT_IMPL for this file on the command line, before
// the forced include: the calls here are the emulation's own.
#ifndef LUMORAK_GL_COMPAT_IMPL
#define LUMORAK_GL_COMPAT_IMPL
#endif
#include "render/GlCompat.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <regex>
#include <set>

namespace {
// A #version line, kept as an empty line so that log line numbers stay the file's.
const std::regex kVersionLine(R"(^[ \t]*#[ \t]*version[^\n]*)", std::regex::multiline);
const std::regex kNormalMatrix(R"(\bgl_NormalMatrix\b)");
const std::regex kShadowSampler(R"(\bsampler2DShadow\b)");
const std::regex kShadowProj(R"(\bshadow2DProj\b)");
const std::regex kTextureMatrix(R"(\bgl_TextureMatrix\s*\[\s*([0-3])\s*\])");
const std::regex kMainOpening(R"(\bvoid\s+main\s*\(\s*(void)?\s*\)\s*\{)");

// Placed after the declarations, before the first function: the sampler type it takes is
// plain sampler2D once the declarations are rewritten.
const char kShadowCompare[] =
    "vec4 lumorakShadow2DProj(sampler2D map, vec4 coord) {\n"
    "  vec3 p = coord.xyz / coord.w;\n"
    "  return vec4(p.z <= texture2D(map, p.xy).r ? 1.0 : 0.0);\n"
    "}\n";
}  // namespace

std::string adaptShaderToWebGl(const std::string& source, bool fragment) {
  std::string text = std::regex_replace(source, kVersionLine, "");
  // Declarations go on the first line, which the version line's removal left empty (or
  // before the first line's text).
  std::string declarations;
  if (std::regex_search(text, kTextureMatrix)) {
    for (int unit = 0; unit < kAdaptedTextureMatrices; ++unit) {
      const std::string name = kAdaptedTextureMatrix + std::to_string(unit);
      const std::regex use("\\bgl_TextureMatrix\\s*\\[\\s*" + std::to_string(unit) + "\\s*\\]");
      if (!std::regex_search(text, use)) continue;
      text = std::regex_replace(text, use, name);
      declarations += "uniform mat4 " + name + "; ";
    }
  }
  if (!fragment && std::regex_search(text, kMainOpening)) {
    declarations += std::string("uniform float ") + kAdaptedPointSize + "; ";
    text = std::regex_replace(text, kMainOpening,
                              std::string("$& gl_PointSize = ") + kAdaptedPointSize + ";",
                              std::regex_constants::format_first_only);
  }
  text.insert(0, declarations);
  // Column by column: GLSL 1.10 has no mat3 from a mat4, and the tests compile this on the
  // desktop too.
  text = std::regex_replace(text, kNormalMatrix,
                            "mat3(gl_ModelViewMatrix[0].xyz, gl_ModelViewMatrix[1].xyz, "
                            "gl_ModelViewMatrix[2].xyz)");
  if (fragment && std::regex_search(text, kShadowProj)) {
    text = std::regex_replace(text, kShadowSampler, "sampler2D");
    text = std::regex_replace(text, kShadowProj, "lumorakShadow2DProj");
    // The helper goes on the line of `void main`, so that lines before it keep their numbers.
    const size_t main = text.find("void main");
    const size_t at = main == std::string::npos ? text.size() : main;
    std::string helper = kShadowCompare;
    for (char& c : helper) {
      if (c == '\n') c = ' ';
    }
    text.insert(at, helper);
  }
  return text;
}

std::vector<int> quadStripAsQuads(int vertexCount) {
  std::vector<int> order;
  for (int i = 0; i + 3 < vertexCount; i += 2) {
    order.insert(order.end(), {i, i + 1, i + 3, i + 2});
  }
  return order;
}

namespace {
GLuint currentProgram = 0;
GLenum clientActiveTexture = GL_TEXTURE0;
GLenum activeTexture = GL_TEXTURE0;
GLfloat pointSize = 1.0f;
GLfloat currentColour[4] = {1.0f, 1.0f, 1.0f, 1.0f};

// Per program: where its adapted uniforms are (-1: it has none).
struct AdaptedUniforms {
  GLint pointSize = -1;
  GLint textureMatrix[kAdaptedTextureMatrices] = {-1, -1, -1, -1};
};
std::map<GLuint, AdaptedUniforms> uniformsOf;

// Before every draw: the adapted shaders' stand-ins for GL's built-ins, from GL's state.
void setAdaptedUniforms() {
  if (currentProgram == 0) return;
  auto found = uniformsOf.find(currentProgram);
  if (found == uniformsOf.end()) {
    AdaptedUniforms uniforms;
    uniforms.pointSize = glGetUniformLocation(currentProgram, kAdaptedPointSize);
    for (int unit = 0; unit < kAdaptedTextureMatrices; ++unit) {
      const std::string name = kAdaptedTextureMatrix + std::to_string(unit);
      uniforms.textureMatrix[unit] = glGetUniformLocation(currentProgram, name.c_str());
    }
    found = uniformsOf.emplace(currentProgram, uniforms).first;
  }
  const AdaptedUniforms& uniforms = found->second;
  if (uniforms.pointSize >= 0) glUniform1f(uniforms.pointSize, pointSize);
  for (int unit = 0; unit < kAdaptedTextureMatrices; ++unit) {
    if (uniforms.textureMatrix[unit] < 0) continue;
    // The desktop reads the active unit's matrix, the emulation the client-active unit's.
    glActiveTexture(GL_TEXTURE0 + unit);
    glClientActiveTexture(GL_TEXTURE0 + unit);
    GLfloat matrix[16];
    glGetFloatv(GL_TEXTURE_MATRIX, matrix);
    glActiveTexture(activeTexture);
    glClientActiveTexture(clientActiveTexture);
    glUniformMatrix4fv(uniforms.textureMatrix[unit], 1, GL_FALSE, matrix);
  }
}
}  // namespace

void lumorakPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  const double radians = fovy / 2.0 * 3.14159265358979323846 / 180.0;
  const double depth = zFar - zNear;
  const double sine = std::sin(radians);
  // GLU's own refusals: nothing is multiplied.
  if (depth == 0.0 || sine == 0.0 || aspect == 0.0) return;
  const double cotangent = std::cos(radians) / sine;
  const GLfloat m[16] = {static_cast<GLfloat>(cotangent / aspect),
                         0,
                         0,
                         0,
                         0,
                         static_cast<GLfloat>(cotangent),
                         0,
                         0,
                         0,
                         0,
                         static_cast<GLfloat>(-(zFar + zNear) / depth),
                         -1,
                         0,
                         0,
                         static_cast<GLfloat>(-2.0 * zNear * zFar / depth),
                         0};
  glMultMatrixf(m);
}

void lumorakActiveTexture(GLenum unit) {
  activeTexture = unit;
  glActiveTexture(unit);
}

void lumorakClientActiveTexture(GLenum unit) {
  clientActiveTexture = unit;
  glClientActiveTexture(unit);
}

void lumorakUseProgram(GLhandleARB program) {
  currentProgram = program;
  glUseProgram(program);
}

void lumorakPointSize(GLfloat size) {
  pointSize = size;
  glPointSize(size);
}

void lumorakDrawRangeElements(GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum type,
                              const void* indices) {
  setAdaptedUniforms();
  glDrawRangeElements(mode, start, end, count, type, indices);
}

void lumorakColor3f(GLfloat r, GLfloat g, GLfloat b) { lumorakColor4f(r, g, b, 1.0f); }

void lumorakColor4fv(const GLfloat* rgba) { lumorakColor4f(rgba[0], rgba[1], rgba[2], rgba[3]); }

void lumorakColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
  currentColour[0] = r;
  currentColour[1] = g;
  currentColour[2] = b;
  currentColour[3] = a;
  glColor4f(r, g, b, a);
}

void lumorakGetFloatv(GLenum pname, GLfloat* values) {
  switch (pname) {
    case GL_CURRENT_COLOR: std::memcpy(values, currentColour, sizeof currentColour); return;
    case GL_POINT_SIZE: *values = pointSize; return;
    // Desktop GL's names for the RGB factors of glBlendFunc.
    case GL_BLEND_SRC: glGetFloatv(GL_BLEND_SRC_RGB, values); return;
    case GL_BLEND_DST: glGetFloatv(GL_BLEND_DST_RGB, values); return;
    default: glGetFloatv(pname, values); return;
  }
}

namespace {
struct Vertex {
  GLfloat position[3];
  GLfloat normal[3];
  GLfloat texCoord[2];
};

struct Immediate {
  GLenum mode = 0;
  bool inside = false;
  // A normal stands for every vertex after it until another; the emulation takes only one
  // normal per vertex, so it is sent before each, from the block it was given in (or the
  // one before) on.
  bool normalGiven = false;
  bool texCoordGiven = false;
  GLfloat normal[3] = {0.0f, 0.0f, 1.0f};
  GLfloat texCoord[2] = {0.0f, 0.0f};
  std::vector<Vertex> strip;  // a quad strip's vertices, drawn as quads at the end
} immediate;

void emit(const Vertex& v, bool withNormal, bool withTexCoord) {
  if (withNormal) glNormal3f(v.normal[0], v.normal[1], v.normal[2]);
  if (withTexCoord) glTexCoord2f(v.texCoord[0], v.texCoord[1]);
  glVertex3f(v.position[0], v.position[1], v.position[2]);
}

void vertex(GLfloat x, GLfloat y, GLfloat z) {
  Vertex v = {{x, y, z},
              {immediate.normal[0], immediate.normal[1], immediate.normal[2]},
              {immediate.texCoord[0], immediate.texCoord[1]}};
  if (immediate.mode == GL_QUAD_STRIP) {
    immediate.strip.push_back(v);
    return;
  }
  emit(v, immediate.normalGiven, immediate.texCoordGiven);
}
}  // namespace

void lumorakBegin(GLenum mode) {
  immediate.mode = mode;
  immediate.inside = true;
  immediate.strip.clear();
  setAdaptedUniforms();  // before the block: GL takes no such calls inside one
  glBegin(mode == GL_QUAD_STRIP ? GL_QUADS : mode);
}

void lumorakEnd() {
  if (immediate.mode == GL_QUAD_STRIP) {
    for (int i : quadStripAsQuads(static_cast<int>(immediate.strip.size()))) {
      emit(immediate.strip[i], immediate.normalGiven, immediate.texCoordGiven);
    }
    immediate.strip.clear();
  }
  glEnd();
  immediate.inside = false;
  immediate.normalGiven = false;
  immediate.texCoordGiven = false;
}

void lumorakVertex2f(GLfloat x, GLfloat y) { vertex(x, y, 0.0f); }
void lumorakVertex3f(GLfloat x, GLfloat y, GLfloat z) { vertex(x, y, z); }

void lumorakNormal3f(GLfloat x, GLfloat y, GLfloat z) {
  immediate.normal[0] = x;
  immediate.normal[1] = y;
  immediate.normal[2] = z;
  immediate.normalGiven = true;
}

void lumorakTexCoord2f(GLfloat s, GLfloat t) {
  immediate.texCoord[0] = s;
  immediate.texCoord[1] = t;
  immediate.texCoordGiven = true;
}

namespace {
struct SavedAttributes {
  GLbitfield mask;
  GLint viewport[4];
  GLfloat depthRange[2];
  GLboolean lighting;
};
std::vector<SavedAttributes> attributeStack;

// The viewport and depth range, kept rather than asked: in a browser every query waits for
// the GPU to finish what it was given (in the word scene, 95 % of the page's time went to
// such waits when each target's bind asked).
bool viewportKnown = false;
GLint viewport[4] = {0, 0, 0, 0};
GLfloat depthRange[2] = {0.0f, 1.0f};

void knowViewport() {
  if (viewportKnown) return;
  glGetIntegerv(GL_VIEWPORT, viewport);
  glGetFloatv(GL_DEPTH_RANGE, depthRange);
  viewportKnown = true;
}
}  // namespace

void lumorakViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  knowViewport();
  viewport[0] = x;
  viewport[1] = y;
  viewport[2] = width;
  viewport[3] = height;
  glViewport(x, y, width, height);
}

void lumorakDepthRange(GLclampd nearValue, GLclampd farValue) {
  knowViewport();
  depthRange[0] = static_cast<GLfloat>(nearValue);
  depthRange[1] = static_cast<GLfloat>(farValue);
  glDepthRange(nearValue, farValue);
}

void lumorakPushAttrib(GLbitfield mask) {
  SavedAttributes saved{};
  saved.mask = mask;
  if (mask & GL_VIEWPORT_BIT) {
    knowViewport();
    std::memcpy(saved.viewport, viewport, sizeof viewport);
    std::memcpy(saved.depthRange, depthRange, sizeof depthRange);
  }
  if (mask & GL_LIGHTING_BIT) saved.lighting = glIsEnabled(GL_LIGHTING);
  attributeStack.push_back(saved);
}

void lumorakPopAttrib() {
  // A pop with nothing pushed is GL's stack underflow: an error and no change.
  if (attributeStack.empty()) return;
  const SavedAttributes saved = attributeStack.back();
  attributeStack.pop_back();
  if (saved.mask & GL_VIEWPORT_BIT) {
    lumorakViewport(saved.viewport[0], saved.viewport[1], saved.viewport[2], saved.viewport[3]);
    lumorakDepthRange(saved.depthRange[0], saved.depthRange[1]);
  }
  if (saved.mask & GL_LIGHTING_BIT) {
    if (saved.lighting) {
      glEnable(GL_LIGHTING);
    } else {
      glDisable(GL_LIGHTING);
    }
  }
}

void lumorakLightf(GLenum, GLenum, GLfloat) {}

void lumorakLightfv(GLenum light, GLenum pname, const GLfloat* values) {
  switch (pname) {
    case GL_AMBIENT:
    case GL_DIFFUSE:
    case GL_SPECULAR:
    case GL_POSITION: glLightfv(light, pname, values); break;
    default: break;
  }
}

namespace {
// WebGL 1 names a texture's format once: internal format and format are the same.
GLint unsizedFormat(GLint internalFormat, GLenum format) {
  switch (internalFormat) {
    case GL_RGB8:
    case GL_RGBA8:
    case GL_ALPHA8:
    case GL_LUMINANCE8:
    case GL_DEPTH_COMPONENT16:
    case GL_DEPTH_COMPONENT24:
    case GL_DEPTH_COMPONENT32: return static_cast<GLint>(format);
    default: return internalFormat;
  }
}
}  // namespace

namespace {
// Level-0 sizes of the textures made here, by name.
std::map<GLuint, std::pair<GLsizei, GLsizei>> textureSizes;
}  // namespace

void lumorakTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                       GLsizei height, GLint border, GLenum format, GLenum type,
                       const void* pixels) {
  if (target == GL_TEXTURE_2D && level == 0) {
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    textureSizes[static_cast<GLuint>(bound)] = {width, height};
  }
  if (format == GL_DEPTH_COMPONENT) {
    // Depth textures hold 16-bit depths and start without pixels.
    glTexImage2D(target, level, GL_DEPTH_COMPONENT, width, height, border, GL_DEPTH_COMPONENT,
                 GL_UNSIGNED_SHORT, nullptr);
    return;
  }
  glTexImage2D(target, level, unsizedFormat(internalFormat, format), width, height, border, format,
               type, pixels);
}

GLint lumorakBuild2DMipmaps(GLenum target, GLint internalFormat, GLsizei width, GLsizei height,
                            GLenum format, GLenum type, const void* pixels) {
  // The caller's sizes are powers of two: the chain is GL's own, made from level 0.
  lumorakTexImage2D(target, 0, internalFormat, width, height, 0, format, type, pixels);
  glGenerateMipmap(target);
  return 0;
}

namespace {
// Texture parameters WebGL 1 has; the rest (the third wrap axis, the depth compare, which
// the adapted shaders do themselves) would be errors.
bool webTextureParameter(GLenum pname) {
  switch (pname) {
    case GL_TEXTURE_MIN_FILTER:
    case GL_TEXTURE_MAG_FILTER:
    case GL_TEXTURE_WRAP_S:
    case GL_TEXTURE_WRAP_T:
    case GL_TEXTURE_MAX_ANISOTROPY_EXT: return true;
    default: return false;
  }
}
}  // namespace

void lumorakTexParameteri(GLenum target, GLenum pname, GLint value) {
  if (webTextureParameter(pname)) glTexParameteri(target, pname, value);
}

void lumorakTexParameterf(GLenum target, GLenum pname, GLfloat value) {
  if (webTextureParameter(pname)) glTexParameterf(target, pname, value);
}

namespace {
std::set<GLuint> depthStencilRenderbuffers;
}

void lumorakRenderbufferStorage(GLenum target, GLenum internalFormat, GLsizei width,
                                GLsizei height) {
  if (internalFormat == GL_DEPTH_COMPONENT24 || internalFormat == GL_DEPTH_COMPONENT32) {
    GLint bound = 0;
    glGetIntegerv(GL_RENDERBUFFER_BINDING, &bound);
    depthStencilRenderbuffers.insert(static_cast<GLuint>(bound));
    glRenderbufferStorage(target, GL_DEPTH_STENCIL, width, height);
    return;
  }
  glRenderbufferStorage(target, internalFormat, width, height);
}

void lumorakFramebufferRenderbuffer(GLenum target, GLenum attachment, GLenum renderbufferTarget,
                                    GLuint renderbuffer) {
  if (attachment == GL_DEPTH_ATTACHMENT && depthStencilRenderbuffers.count(renderbuffer)) {
    attachment = GL_DEPTH_STENCIL_ATTACHMENT;
  }
  glFramebufferRenderbuffer(target, attachment, renderbufferTarget, renderbuffer);
}

void lumorakFramebufferTexture2D(GLenum target, GLenum attachment, GLenum textureTarget,
                                 GLuint texture, GLint level) {
  glFramebufferTexture2D(target, attachment, textureTarget, texture, level);
  const auto size = textureSizes.find(texture);
  if (attachment != GL_DEPTH_ATTACHMENT || size == textureSizes.end()) return;
  GLint colourType = GL_NONE;
  glGetFramebufferAttachmentParameteriv(target, GL_COLOR_ATTACHMENT0,
                                        GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &colourType);
  if (colourType != GL_NONE) return;
  GLint previous = 0;
  glGetIntegerv(GL_RENDERBUFFER_BINDING, &previous);
  GLuint colour = 0;
  glGenRenderbuffers(1, &colour);
  glBindRenderbuffer(GL_RENDERBUFFER, colour);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA4, size->second.first, size->second.second);
  glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(previous));
  glFramebufferRenderbuffer(target, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
}

void lumorakReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                       void* pixels) {
  if (format != GL_RGB || type != GL_UNSIGNED_BYTE || width <= 0 || height <= 0) {
    glReadPixels(x, y, width, height, format, type, pixels);
    return;
  }
  // WebGL 1 reads RGBA only: read that, then pack to RGB rows as GL_PACK_ALIGNMENT says.
  GLint alignment = 4;
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  glPixelStorei(GL_PACK_ALIGNMENT, alignment);
  const size_t row = static_cast<size_t>(width) * 3;
  const size_t stride = (row + alignment - 1) / alignment * alignment;
  auto* out = static_cast<uint8_t*>(pixels);
  for (GLsizei j = 0; j < height; ++j) {
    const uint8_t* from = rgba.data() + static_cast<size_t>(j) * width * 4;
    uint8_t* to = out + j * stride;
    for (GLsizei i = 0; i < width; ++i) std::memcpy(to + i * 3, from + i * 4, 3);
  }
}

void lumorakDrawBuffer(GLenum) {}
void lumorakReadBuffer(GLenum) {}

void lumorakHint(GLenum target, GLenum mode) {
  // WebGL interpolates with perspective always, and knows no such hint.
  if (target == GL_PERSPECTIVE_CORRECTION_HINT) return;
  glHint(target, mode);
}

void lumorakShadeModel(GLenum mode) {
  if (mode != GL_SMOOTH) glShadeModel(mode);
}

void lumorakEnableClientState(GLenum array) {
  if (array != GL_SECONDARY_COLOR_ARRAY) glEnableClientState(array);
}

void lumorakDisableClientState(GLenum array) {
  if (array != GL_SECONDARY_COLOR_ARRAY) glDisableClientState(array);
}

// The fixed-function secondary colour adds to lit colours only: with lighting never on in
// the show it changes no pixel, and the emulation has no such array.
void lumorakSecondaryColorPointer(GLint, GLenum, GLsizei, const void*) {}

GLhandleARB lumorakCreateShaderObject(GLenum type) { return glCreateShader(type); }
GLhandleARB lumorakCreateProgramObject() { return glCreateProgram(); }

void lumorakShaderSource(GLhandleARB shader, GLsizei count, const GLchar** strings,
                         const GLint* lengths) {
  std::string source;
  for (GLsizei i = 0; i < count; ++i) {
    if (lengths && lengths[i] >= 0) {
      source.append(strings[i], static_cast<size_t>(lengths[i]));
    } else {
      source.append(strings[i]);
    }
  }
  GLint type = 0;
  glGetShaderiv(shader, GL_SHADER_TYPE, &type);
  const std::string adapted = adaptShaderToWebGl(source, type == GL_FRAGMENT_SHADER);
  const GLchar* text = adapted.c_str();
  const GLint length = static_cast<GLint>(adapted.size());
  glShaderSource(shader, 1, &text, &length);
}

void lumorakGetObjectParameteriv(GLhandleARB object, GLenum pname, GLint* value) {
  if (glIsShader(object)) {
    glGetShaderiv(object, pname, value);
  } else {
    glGetProgramiv(object, pname, value);
  }
}

void lumorakGetInfoLog(GLhandleARB object, GLsizei size, GLsizei* length, GLchar* log) {
  if (glIsShader(object)) {
    glGetShaderInfoLog(object, size, length, log);
  } else {
    glGetProgramInfoLog(object, size, length, log);
  }
}

void lumorakDeleteObject(GLhandleARB object) {
  if (glIsShader(object)) {
    glDeleteShader(object);
  } else {
    uniformsOf.erase(object);  // a later program may get the same name
    glDeleteProgram(object);
  }
}
