#include "render/RenderTarget.h"

#include <GL/glew.h>

#include "app/Registries.h"

namespace {
// Depth renderbuffer shared by every colour target of one storage size.
GLuint depthRenderbufferFor(int width, int height) {
  const int32_t key = (width << 16) + height;
  auto found = depthRenderbuffers.find(key);
  if (found != depthRenderbuffers.end()) return found->second;
  GLuint renderbuffer = 0;
  glGenRenderbuffersEXT(1, &renderbuffer);
  glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, renderbuffer);
  glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, width, height);
  depthRenderbuffers[key] = renderbuffer;
  return renderbuffer;
}

// Clears the bound framebuffer to colour (0, 0, 0, 0) and depth 1, keeping the clear values:
// new storage holds whatever the driver gives (Mesa: depth 0, failing every depth test).
void clearBound(GLbitfield buffers) {
  GLfloat colour[4];
  GLfloat depth = 1.0f;
  glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
  glGetFloatv(GL_DEPTH_CLEAR_VALUE, &depth);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClearDepth(1.0);
  glClear(buffers);
  glClearColor(colour[0], colour[1], colour[2], colour[3]);
  glClearDepth(depth);
}
}  // namespace

void RenderTarget::attachColor(const std::string& textureName, uint32_t attachment,
                               uint32_t textureTarget) {
  texture = textureRegistry().get(textureName);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, attachment, textureTarget, texture.glName, 0);
  const GLuint depth = depthRenderbufferFor(texture.width, texture.height);
  glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                               depth);
  // The shared depth renderbuffer is cleared for every target that uses it.
  clearBound(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

void RenderTarget::attachDepth(const std::string& textureName) {
  depthOnly = true;
  texture = textureRegistry().get(textureName);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D,
                            texture.glName, 0);
  // No colour image: the framebuffer is complete only without draw and read buffers
  // (state of this framebuffer object; the window's keeps GL_BACK).
  glDrawBuffer(GL_NONE);
  glReadBuffer(GL_NONE);
  clearBound(GL_DEPTH_BUFFER_BIT);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

void FboManager::add(const std::string& name, const RenderTarget& target) {
  if (contains(name)) {
    RenderTarget& old = get(name);
    if (old.framebuffer != 0xFFFFFFFFu && old.framebuffer != target.framebuffer) {
      glDeleteFramebuffersEXT(1, &old.framebuffer);
    }
    old.framebuffer = 0xFFFFFFFFu;
  }
  getOrCreate(name) = target;
}

void FboManager::bind(const std::string& name) {
  const RenderTarget& target = get(name);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, target.framebuffer);
  // Restored by unbind(): callers get back the viewport they had.
  glPushAttrib(GL_VIEWPORT_BIT);
  glViewport(0, 0, target.texture.sourceWidth, target.texture.sourceHeight);
  if (target.depthOnly) {
    glDrawBuffer(GL_NONE);
    glReadBuffer(GL_NONE);
  }
}

void FboManager::unbind() {
  get(currentName());
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  glPopAttrib();
  glDrawBuffer(GL_BACK);
  glReadBuffer(GL_BACK);
}

void makeColorTarget(const std::string& name, int width, int height) {
  textureRegistry().create(name, width, height, nullptr, GL_RGBA8, GL_RGBA);
  RenderTarget target;
  glGenFramebuffersEXT(1, &target.framebuffer);
  target.attachColor(name, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D);
  fboRegistry().add(name, target);
}

void makeDepthTarget(const std::string& name, int width, int height) {
  textureRegistry().create(name, width, height, nullptr, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT);
  RenderTarget target;
  glGenFramebuffersEXT(1, &target.framebuffer);
  target.attachDepth(name);
  fboRegistry().add(name, target);
}
