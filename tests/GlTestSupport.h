// A hidden OpenGL window for GL tests (compatibility profile, the show's 1024 x 768),
// made directly with SDL so that GL tests need nothing of the application shell. Under
// Xvfb the GL is Mesa's llvmpipe. Read pixels back with readPixel()/readRgb().
#pragma once

#include <GL/glew.h>
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "TestSupport.h"

class GlContext {
 public:
  // One context per test process: making and destroying windows is slow under llvmpipe.
  static GlContext& instance() {
    static GlContext context;
    return context;
  }
  bool ok() const { return ok_; }
  int width() const { return 1024; }
  int height() const { return 768; }

 private:
  GlContext() {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    window_ = SDL_CreateWindow("gl-test", 0, 0, 1024, 768, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window_) return;
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) return;
    glewExperimental = GL_TRUE;
    ok_ = glewInit() == GLEW_OK;
  }
  SDL_Window* window_ = nullptr;
  SDL_GLContext context_ = nullptr;
  bool ok_ = false;
};

// Fixture base: every GL test starts with a current context and default-ish state, and
// with the throwing fatal reporter: the default one exits with status 0, which ctest would
// count as a pass.
class GlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setFatalReporter(throwingFatalReporter);
    ASSERT_TRUE(GlContext::instance().ok())
        << "no OpenGL context (is DISPLAY set?): " << SDL_GetError();
    glViewport(0, 0, 1024, 768);
  }
};

// RGBA of one pixel of the current read buffer; (0, 0) is the lower-left corner.
inline std::array<uint8_t, 4> readPixel(int x, int y) {
  std::array<uint8_t, 4> rgba{};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  return rgba;
}

// A w x h block of RGB bytes, bottom row first.
inline std::vector<uint8_t> readRgb(int x, int y, int w, int h) {
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return rgb;
}
