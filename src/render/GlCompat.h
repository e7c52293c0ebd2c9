// The browser build's legacy-GL gap filler. Emscripten's emulation of the fixed-function
// pipeline over WebGL 1 lacks some calls the show makes, throws on others, and WebGL refuses
// some of their arguments. The web build force-includes this header into every C++ file
// (CMake's -include), so that the show's own calls below land on the lumorak* functions,
// which fill the gap and call what WebGL has. Native builds never include it: their GL is
// the real one.
//
// GlCompat.cpp builds natively too, without the renames, so that the tests can run each
// function on the desktop GL and compare it with the call it stands for.
#pragma once

#include <GL/glew.h>
#include <GL/glu.h>

#include <string>
#include <vector>

// GLSL as the material files hold it (#version 110, desktop built-ins) made into what the
// emulation passes on to WebGL 1: no version line (the emulation puts lines before it, and
// GLSL ES wants none but its own first), gl_NormalMatrix as the model-view's rotation (the
// emulation knows no normal matrix; the two agree for rotations and uniform scales, which is
// all the show's model-view holds, and every use normalises), and the shadow sampler as a
// depth texture compared by hand (WebGL 1 has no sampler2DShadow): shadow2DProj(s, c) reads
// 1.0 where c.z / c.w <= the stored depth, else 0.0 (GL_LEQUAL, one tap). Two built-ins
// become uniforms that the draw calls below fill: gl_TextureMatrix[i] (the emulation fills
// its own only for shaders that read texture coordinates) and, in vertex shaders, the point
// size (a WebGL shader must write gl_PointSize, or its points have no defined size). Line
// numbers in compile logs stay those of the file: each removed line leaves an empty one.
std::string adaptShaderToWebGl(const std::string& source, bool fragment);

// The order in which a quad strip's vertices (0, 1, 2, 3, ...) form separate quads:
// 0 1 3 2, 2 3 5 4, ... A trailing odd vertex is dropped, as GL drops it.
std::vector<int> quadStripAsQuads(int vertexCount);

// The uniforms adapted shaders read in place of GL's built-ins.
constexpr int kAdaptedTextureMatrices = 4;
constexpr const char* kAdaptedPointSize = "lumorakPointSize";
constexpr const char* kAdaptedTextureMatrix = "lumorakTextureMatrix";  // + the unit, 0..3

// Immediate mode with one normal meant for many vertices, and quad strips.
void lumorakBegin(GLenum mode);
void lumorakEnd();
void lumorakVertex2f(GLfloat x, GLfloat y);
void lumorakVertex3f(GLfloat x, GLfloat y, GLfloat z);
void lumorakNormal3f(GLfloat x, GLfloat y, GLfloat z);
void lumorakTexCoord2f(GLfloat s, GLfloat t);

// gluPerspective as GLU has it, multiplying the current matrix: the emulation's replaces
// it, which loses whatever was loaded first (the shadow lookup's bias, in the texture matrix).
void lumorakPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);

// What the adapted shaders read, set at every draw: the program in use, the point size,
// the texture matrices.
void lumorakUseProgram(GLhandleARB program);
void lumorakClientActiveTexture(GLenum unit);
void lumorakActiveTexture(GLenum unit);
void lumorakPointSize(GLfloat size);
void lumorakDrawRangeElements(GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum type,
                              const void* indices);

// State WebGL cannot be asked for, kept here: the current colour, the point size, and the
// blend factors under their desktop names.
void lumorakColor3f(GLfloat r, GLfloat g, GLfloat b);
void lumorakColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
void lumorakColor4fv(const GLfloat* rgba);
void lumorakGetFloatv(GLenum pname, GLfloat* values);

// The attribute stack, for the groups the show saves: GL_VIEWPORT_BIT (viewport and depth
// range) and GL_LIGHTING_BIT (whether lighting is on; no light is ever enabled).
void lumorakPushAttrib(GLbitfield mask);
// Kept here as they are set, so that a push asks GL nothing.
void lumorakViewport(GLint x, GLint y, GLsizei width, GLsizei height);
void lumorakDepthRange(GLclampd nearValue, GLclampd farValue);
void lumorakPopAttrib();

// Lights: spot parameters are kept by nobody (the emulation has no spot lights).
void lumorakLightf(GLenum light, GLenum pname, GLfloat value);
void lumorakLightfv(GLenum light, GLenum pname, const GLfloat* values);

// Textures and targets in the formats WebGL 1 takes: unsized colour formats, 16-bit depth
// textures (WEBGL_depth_texture), and a 24-bit depth renderbuffer as DEPTH_STENCIL, the
// only renderbuffer with 24 bits of depth WebGL 1 has.
void lumorakTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                       GLsizei height, GLint border, GLenum format, GLenum type,
                       const void* pixels);
GLint lumorakBuild2DMipmaps(GLenum target, GLint internalFormat, GLsizei width, GLsizei height,
                            GLenum format, GLenum type, const void* pixels);
void lumorakTexParameteri(GLenum target, GLenum pname, GLint value);
void lumorakTexParameterf(GLenum target, GLenum pname, GLfloat value);
void lumorakRenderbufferStorage(GLenum target, GLenum internalFormat, GLsizei width,
                                GLsizei height);
void lumorakFramebufferRenderbuffer(GLenum target, GLenum attachment, GLenum renderbufferTarget,
                                    GLuint renderbuffer);
// A depth texture attached alone gets a colour renderbuffer beside it: WebGL 1 promises
// only colour + depth to be complete, and a depth-only target is not cleared everywhere.
void lumorakFramebufferTexture2D(GLenum target, GLenum attachment, GLenum textureTarget,
                                 GLuint texture, GLint level);
void lumorakReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                       void* pixels);
// One colour buffer per framebuffer: nothing to choose.
void lumorakDrawBuffer(GLenum buffer);
void lumorakReadBuffer(GLenum buffer);
void lumorakHint(GLenum target, GLenum mode);
// WebGL shades smoothly, always; the emulation warns on every call.
void lumorakShadeModel(GLenum mode);
void lumorakEnableClientState(GLenum array);
void lumorakDisableClientState(GLenum array);
void lumorakSecondaryColorPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);

// ARB_shader_objects over the core calls: one handle space for shaders and programs.
GLhandleARB lumorakCreateShaderObject(GLenum type);
GLhandleARB lumorakCreateProgramObject();
void lumorakShaderSource(GLhandleARB shader, GLsizei count, const GLchar** strings,
                         const GLint* lengths);
void lumorakGetObjectParameteriv(GLhandleARB object, GLenum pname, GLint* value);
void lumorakGetInfoLog(GLhandleARB object, GLsizei size, GLsizei* length, GLchar* log);
void lumorakDeleteObject(GLhandleARB object);

#if defined(__EMSCRIPTEN__) && !defined(LUMORAK_GL_COMPAT_IMPL)
// The emulation answers GL_ARB_shading_language_100 with no; WebGL always has GLSL.
#undef GLEW_ARB_shading_language_100
#define GLEW_ARB_shading_language_100 1
// The stub GLEW has no GLX, so no such error either.
#define GLEW_ERROR_NO_GLX_DISPLAY 0x7fffffff

#define glBegin lumorakBegin
#define glEnd lumorakEnd
#define glVertex2f lumorakVertex2f
#define glVertex3f lumorakVertex3f
#define glNormal3f lumorakNormal3f
#define glTexCoord2f lumorakTexCoord2f
#define glPushAttrib lumorakPushAttrib
#define glPopAttrib lumorakPopAttrib
#define glLightf lumorakLightf
#define glLightfv lumorakLightfv
#define glTexImage2D lumorakTexImage2D
#define gluBuild2DMipmaps lumorakBuild2DMipmaps
#define gluPerspective lumorakPerspective
#define glTexParameteri lumorakTexParameteri
#define glTexParameterf lumorakTexParameterf
#define glReadPixels lumorakReadPixels
#define glDrawBuffer lumorakDrawBuffer
#define glReadBuffer lumorakReadBuffer
#define glHint lumorakHint
#define glShadeModel lumorakShadeModel
#define glPointSize lumorakPointSize
#define glClientActiveTexture lumorakClientActiveTexture
#define glActiveTexture lumorakActiveTexture
#define glViewport lumorakViewport
#define glDepthRange lumorakDepthRange
#define glDrawRangeElements lumorakDrawRangeElements
#define glColor3f lumorakColor3f
#define glColor4f lumorakColor4f
#define glColor4fv lumorakColor4fv
#define glGetFloatv lumorakGetFloatv
#define glEnableClientState lumorakEnableClientState
#define glDisableClientState lumorakDisableClientState
#define glSecondaryColorPointer lumorakSecondaryColorPointer

// Extension names whose core calls WebGL has under the core name.
#define glBindBufferARB glBindBuffer
#define glBufferDataARB glBufferData
#define glGenBuffersARB glGenBuffers
#define glBlendColorEXT glBlendColor
#define glBindFramebufferEXT glBindFramebuffer
#define glBindRenderbufferEXT glBindRenderbuffer
#define glDeleteFramebuffersEXT glDeleteFramebuffers
#define glGenFramebuffersEXT glGenFramebuffers
#define glGenRenderbuffersEXT glGenRenderbuffers
#define glFramebufferTexture2DEXT lumorakFramebufferTexture2D
#define glFramebufferRenderbufferEXT lumorakFramebufferRenderbuffer
#define glRenderbufferStorageEXT lumorakRenderbufferStorage
#define glCheckFramebufferStatusEXT glCheckFramebufferStatus
#define glAttachObjectARB glAttachShader
#define glDetachObjectARB glDetachShader
#define glCompileShaderARB glCompileShader
#define glLinkProgramARB glLinkProgram
#define glUseProgramObjectARB lumorakUseProgram
#define glUniform1iARB glUniform1i
#define glGetUniformLocationARB glGetUniformLocation
#define glGetAttachedObjectsARB glGetAttachedShaders
#define glCreateShaderObjectARB lumorakCreateShaderObject
#define glCreateProgramObjectARB lumorakCreateProgramObject
#define glShaderSourceARB lumorakShaderSource
#define glGetObjectParameterivARB lumorakGetObjectParameteriv
#define glGetInfoLogARB lumorakGetInfoLog
#define glDeleteObjectARB lumorakDeleteObject
#endif
