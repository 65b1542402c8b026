// Camera, light and material: small objects mirroring fixed-function GL state.
//
// Each object keeps its values in its own fields and sends them to GL only
// while it is on (light, material) or active (camera), so a scene can prepare
// values while the object is off; switching it on sends what is stored.
//
// GL state, by operation (L is the light's id):
//   orbCamera   create, setActive, apply (when active), dispose load the camera
//               projection: GL_PROJECTION := perspective(45°, 4/3, 0.1, 100) ×
//               lookAt(view); then GL_MODELVIEW is selected and loaded with the
//               identity. The aspect is always 4/3, not the window's: every
//               offered resolution is 4:3. setView makes no GL call.
//   orbLight    create disables L and sets the global ambient to (0, 0, 0, 1).
//               setEnabled(true) sends every stored value, enables GL_LIGHTING
//               and L; setEnabled(false) disables L and also GL_LIGHTING, even
//               when another light is still on. setPosition and
//               setSpotDirection load the identity into the CURRENT matrix
//               (whatever mode is selected) before sending; setSpotDirection
//               enables GL_NORMALIZE around its send and leaves it disabled.
//               GL refuses a spot cut-off outside 0 … 90 other than 180
//               (GL_INVALID_VALUE, old value kept); the object stores it anyway.
//   orbMaterial setEnabled(true) enables GL_COLOR_MATERIAL with
//               glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE) and
//               sends ambient, diffuse, specular, shininess to GL_FRONT;
//               setEnabled(false) disables GL_COLOR_MATERIAL. While on, the
//               ambient, diffuse and shininess setters send to
//               GL_FRONT_AND_BACK, the specular setter to GL_FRONT.
//               create and dispose make no GL call.
// All of them need a current GL context, except setView, the material's
// create and dispose, and every setter while its object is off.
#pragma once

#include <GL/gl.h>

#include <cstdint>

// Degrees to radians: x × π / 180.
double degToRad(double x);

class orbCamera {
 public:
  float eye[3] = {0.0f, 0.0f, 0.0f};
  float center[3] = {0.0f, 0.0f, -1.0f};
  float up[3] = {0.0f, 1.0f, 0.0f};
  bool active = false;

  // Stores the view, loads the camera projection with it and makes the camera active.
  static orbCamera create(float eyeX, float eyeY, float eyeZ, float centerX, float centerY, float centerZ,
                          float upX, float upY, float upZ);

  // true: loads the stored view; false: loads the default view
  // (eye 0,0,0, center 0,0,-1, up 0,1,0). Either way the projection is loaded.
  void setActive(bool flag);
  // Stores the view only.
  void setView(float eyeX, float eyeY, float eyeZ, float centerX, float centerY, float centerZ, float upX,
               float upY, float upZ);
  // Loads the stored view when active; does nothing when not.
  void apply() const;
  // Leaves the default camera projection loaded.
  void dispose();
};

// Loads the camera projection for the given view (see the top of this file).
void loadCameraProjection(const float eye[3], const float center[3], const float up[3]);

class orbLight {
 public:
  GLenum lightId = GL_LIGHT0;
  bool enabled = false;
  float ambient[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float position[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float spotDirection[3] = {0.0f, 0.0f, 0.0f};
  float spotCutoff = 0.0f;
  float spotExponent = 0.0f;
  float constantAttenuation = 0.0f;
  float linearAttenuation = 0.0f;
  float quadraticAttenuation = 0.0f;
  // 1 or 3: directional (w = 0); any other value: positional (w = 1).
  std::int32_t kind = 2;

  // An off light with colours and position (1, 1, 1, 1), the rest 0.
  static orbLight create(GLenum lightId, std::int32_t kind);

  void setEnabled(bool flag);
  void setAmbient(float r, float g, float b, float a);
  void setDiffuse(float r, float g, float b, float a);
  void setSpecular(float r, float g, float b, float a);
  // w follows from kind. Loads the identity into the current matrix first.
  void setPosition(float x, float y, float z);
  // Loads the identity into the current matrix first.
  void setSpotDirection(float x, float y, float z);
  void setSpotCutoff(float degrees);
  void setSpotExponent(float exponent);
  void setAttenuation(float constant, float linear, float quadratic);
  // Disables the GL light; leaves GL_LIGHTING as it is.
  void dispose();

 private:
  void sendColours() const;
};

class orbMaterial {
 public:
  bool enabled = false;
  float ambient[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  std::int32_t shininess = 0;

  // An off material with colours (1, 1, 1, 1) and shininess 0; no GL call.
  static orbMaterial create();

  void setEnabled(bool flag);
  void setAmbient(float r, float g, float b, float a);
  void setDiffuse(float r, float g, float b, float a);
  void setSpecular(float r, float g, float b, float a);
  void setShininess(std::int32_t n);
  // No GL call.
  void dispose();
};
