#include "preview/Overlay.h"

#include <GL/glew.h>

#include <algorithm>

#include "text/Text.h"

namespace {
constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
// From a line's top to its baseline, pixels: DejaVu's ascender at kTextSize.
constexpr int kAscent = 13;
// Lines set and kept; past this many (a clock that changes every frame makes new ones)
// the cache starts again.
constexpr size_t kMaxCachedLines = 256;

void colour(const OverlayColour& c) { glColor4f(c.r, c.g, c.b, c.a); }
}  // namespace

void drawTexture(int x, int y, int width, int height) {
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2i(x, y);
  glTexCoord2f(1.0f, 0.0f);
  glVertex2i(x + width, y);
  glTexCoord2f(1.0f, 1.0f);
  glVertex2i(x + width, y + height);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2i(x, y + height);
  glEnd();
}

Overlay::Overlay() = default;

Overlay::~Overlay() { forget(); }

bool Overlay::open(std::string& error) {
  font_ = std::make_unique<Font>();
  return font_->open(kFontFile, error);
}

void Overlay::forget() {
  for (auto& entry : lines_) glDeleteTextures(1, &entry.second.texture);
  lines_.clear();
}

const Overlay::Line& Overlay::line(const std::string& text) {
  auto found = lines_.find(text);
  if (found != lines_.end()) return found->second;
  if (lines_.size() >= kMaxCachedLines) forget();
  Line made;
  Mask mask;
  int baseline = 0;
  std::string error;
  TextStyle style;
  style.pixelSize = kTextSize;
  if (font_ && font_->render(text, style, mask, baseline, error)) {
    glGenTextures(1, &made.texture);
    glBindTexture(GL_TEXTURE_2D, made.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, mask.width, mask.height, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                 mask.coverage.data());
    made.width = mask.width;
    made.height = mask.height;
    made.top = kAscent - baseline;
  }
  return lines_.emplace(text, made).first->second;
}

void Overlay::begin(int width, int height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, width, height, 0.0, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void Overlay::box(int x, int y, int width, int height, OverlayColour c) {
  glDisable(GL_TEXTURE_2D);
  colour(c);
  glRecti(x, y, x + width, y + height);
}

int Overlay::text(int x, int y, const std::string& text, OverlayColour c) {
  if (text.empty()) return 0;
  const Line& set = line(text);
  if (!set.texture) return 0;
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, set.texture);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  colour(c);
  drawTexture(x, y + set.top, set.width, set.height);
  glDisable(GL_TEXTURE_2D);
  return set.width;
}

void Overlay::bar(int x, int y, int width, int height, float value, OverlayColour c) {
  box(x, y, width, height, OverlayColour{1.0f, 1.0f, 1.0f, 0.15f});
  const int filled = static_cast<int>(std::clamp(value, 0.0f, 1.0f) * static_cast<float>(width));
  box(x, y, filled, height, c);
}

void Overlay::end() { glDisable(GL_BLEND); }
