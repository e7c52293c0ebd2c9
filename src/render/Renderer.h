// Renderer: the view state all scenes share: the camera, eight fixed-function light
// records, the picture's aspect and 128 mouse-set values.
//
// The look-at matrix deliberately leaves side and up unnormalised: looking up or down with
// up = (0, 1, 0) shrinks the picture toward its centre.
//
// Calls: setUp() once after GL is up, setAspect(4, 3); scenes set the camera and apply();
// applyLights() once per frame after the scene has drawn: it switches lighting off and
// loads the enabled light records (none is enabled in this show).
#pragma once

struct Vec3 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

class Camera {
 public:
  virtual ~Camera() = default;
  Vec3 position{0.0f, 0.0f, 0.0f};
  Vec3 target{0.0f, 0.0f, -1.0f};
  Vec3 up{0.0f, 1.0f, 0.0f};

  void setPosition(float x, float y, float z) { position = {x, y, z}; }
  void setTarget(float x, float y, float z) { target = {x, y, z}; }
  // target = position (as it is now) + direction
  void setDirection(float x, float y, float z) {
    target = {position.x + x, position.y + y, position.z + z};
  }
  // glLoadMatrixf(viewMatrix()) into the current matrix mode.
  virtual void apply();
  // Column-major 4x4.
  virtual void viewMatrix(float out[16]) const;
};

struct Light {
  float ambient[4] = {0.5f, 0.5f, 0.5f, 1.0f};
  float diffuse[4] = {0.9f, 0.9f, 0.9f, 1.0f};
  float specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float position[4] = {0.0f, 0.0f, 4.0f, 1.0f};
  float spotDirection[3] = {0.0f, 0.0f, -1.0f};
  float spotExponent = 0.0f;
  float spotCutoff = 180.0f;  // degrees
  bool enabled = false;
};

constexpr int kLightCount = 8;
constexpr int kMouseValueCount = 128;

class Renderer {
 public:
  Camera camera;
  Light lights[kLightCount];
  float mouseValues[kMouseValueCount] = {};
  float aspect = 1.3334f;

  void setUp();
  void setAspect(float widthRatio, float heightRatio);
  void applyLights();

  // The viewport setAspect() picks for a screen of width x height: x, y, w, h.
  static void letterbox(float aspect, int width, int height, int out[4]);
};

extern Renderer renderer;  // defined in app/Globals.cpp
