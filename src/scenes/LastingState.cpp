// All a frame leaves behind that start-up did not (offline_test reads the GL state broadly
// after frames of every scene and fails on anything else), who leaves it and who reads it:
//
//   item                   left by                      read by a later frame
//   clear colour           every scene but the cloud    the cloud's clear of "rt0": black,
//                                                       the word scene's (start-up's too)
//   current colour         every scene: white           the closing's logo
//   point size             every tunnel frame: 5        the word scene's stars (5 only
//                                                       when the live show seeks back)
//   modelview matrix       every scene                  none: each loads its own
//   blend function, colour the blur and the glow        none: each blend sets both
//   polygon offset         the tunnel's shadow pass     none
//   2D texture, unit 0     every screen quad            none: each draw binds its own
//   index buffer binding   the opening's model: none    none
//   renderbuffer binding   the tunnel's set-up          none
//
// The cube-map binding is kept for the preview: a reload may bind one. Beyond GL, "rt0"
// holds the opening's and the word scene's lasting pictures (History in Schedule.h), and
// the tunnel's set-up lasts for every later frame.
#include "scenes/LastingState.h"

#include <GL/glew.h>

#include <optional>

#include "app/DemoSystem.h"
#include "resources/DebugVariables.h"
#include "scenes/SceneAssets.h"
#include "scenes/Schedule.h"

namespace {
bool tunnelSetUp = false;
std::optional<LastingGlItems> startUpItems;

// Enums and object names come back from glGetFloatv exactly: all are below 2^24.
GLuint whole(GLfloat v) { return static_cast<GLuint>(v); }

// One item: `count` values read with glGetFloatv, put back by `put`. An item without `put`
// is put by the one before it, whose values are followed by its own. GL's attribute stack
// is no help: Mesa 22 skips restoring a group when a nested push and pop came between.
// Bindings and the matrix are put to the active unit and the current matrix mode: unit 0
// and the modelview between frames.
struct GlItem {
  GLenum name;
  int count;
  void (*put)(const GLfloat* v);
};
const GlItem kItems[] = {
    {GL_COLOR_CLEAR_VALUE, 4, [](const GLfloat* v) { glClearColor(v[0], v[1], v[2], v[3]); }},
    {GL_CURRENT_COLOR, 4, [](const GLfloat* v) { glColor4fv(v); }},
    {GL_POINT_SIZE, 1, [](const GLfloat* v) { glPointSize(*v); }},
    {GL_MODELVIEW_MATRIX, 16, [](const GLfloat* v) { glLoadMatrixf(v); }},
    {GL_BLEND_SRC, 1, [](const GLfloat* v) { glBlendFunc(whole(v[0]), whole(v[1])); }},
    {GL_BLEND_DST, 1, nullptr},
    {GL_BLEND_COLOR, 4, [](const GLfloat* v) { glBlendColorEXT(v[0], v[1], v[2], v[3]); }},
    {GL_POLYGON_OFFSET_FACTOR, 1, [](const GLfloat* v) { glPolygonOffset(v[0], v[1]); }},
    {GL_POLYGON_OFFSET_UNITS, 1, nullptr},
    {GL_TEXTURE_BINDING_2D, 1, [](const GLfloat* v) { glBindTexture(GL_TEXTURE_2D, whole(*v)); }},
    {GL_TEXTURE_BINDING_CUBE_MAP, 1,
     [](const GLfloat* v) { glBindTexture(GL_TEXTURE_CUBE_MAP, whole(*v)); }},
    {GL_ELEMENT_ARRAY_BUFFER_BINDING, 1,
     [](const GLfloat* v) { glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, whole(*v)); }},
    {GL_RENDERBUFFER_BINDING_EXT, 1,
     [](const GLfloat* v) { glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, whole(*v)); }},
};
}  // namespace

LastingGlItems::LastingGlItems() {
  for (const GlItem& item : kItems) {
    values_.resize(values_.size() + item.count);
    glGetFloatv(item.name, &values_[values_.size() - item.count]);
  }
}

void LastingGlItems::putBack() const {
  const GLfloat* v = values_.data();
  for (const GlItem& item : kItems) {
    if (item.put) item.put(v);
    v += item.count;
  }
}

void keepStartUpState() { startUpItems.emplace(); }

void putStateAsPlaythroughAfter(float time) {
  tunnelSetUp = false;
  makeStartUpTargets();
  if (sceneAt(time) >= kLastingSetUpScene) setUpTunnelOnce();
  startUpItems.value().putBack();
  if (tunnelSetUp) glPointSize(kTunnelPointSize);
}

void setUpTunnelOnce() {
  if (tunnelSetUp) return;
  tunnelSetUp = true;
  demoSystem.textures.setFilters(GL_LINEAR, GL_LINEAR);
  demoSystem.createColorTarget("rt0", 1024, 1024);
  particleSystems[1].init(2000, 1, randomParticle);
  particleSystems[1].name = "particle.tunnel";
  demoSystem.createColorTarget("rt1", 1024, 1024);
  demoSystem.createDepthTarget("shadowmap", 1024, 1024);

  static const char* const kChoices[] = {"yksi", "kaksi", "kolme", "EOL"};
  for (const char* name : {"testvar", "testvar2", "testvar3"})
    debugVariables.registerVariable(name);
  debugVariables.get("testvar").initRange(0.0f, 100.0f, 30.0f);
  debugVariables.get("testvar2").initChoice(kChoices, 0);
  debugVariables.get("testvar3").initUnit(1);
}
