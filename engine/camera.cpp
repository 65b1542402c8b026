#include "engine/camera.h"

#include <GL/glu.h>

#include <numbers>

namespace {

constexpr float defaultEye[3] = {0.0f, 0.0f, 0.0f};
constexpr float defaultCenter[3] = {0.0f, 0.0f, -1.0f};
constexpr float defaultUp[3] = {0.0f, 1.0f, 0.0f};

void store4(float* destination, float a, float b, float c, float d) {
  destination[0] = a;
  destination[1] = b;
  destination[2] = c;
  destination[3] = d;
}

void store3(float* destination, float a, float b, float c) {
  destination[0] = a;
  destination[1] = b;
  destination[2] = c;
}

}  // namespace

double degToRad(double x) { return x * std::numbers::pi / 180.0; }

void loadCameraProjection(const float eye[3], const float center[3], const float up[3]) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 4.0 / 3.0, 0.1, 100.0);
  gluLookAt(eye[0], eye[1], eye[2], center[0], center[1], center[2], up[0], up[1], up[2]);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// --- camera ---

orbCamera orbCamera::create(float eyeX, float eyeY, float eyeZ, float centerX, float centerY, float centerZ,
                            float upX, float upY, float upZ) {
  orbCamera camera;
  camera.setView(eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ);
  loadCameraProjection(camera.eye, camera.center, camera.up);
  camera.active = true;
  return camera;
}

void orbCamera::setActive(bool flag) {
  active = flag;
  if (flag)
    loadCameraProjection(eye, center, up);
  else
    loadCameraProjection(defaultEye, defaultCenter, defaultUp);
}

void orbCamera::setView(float eyeX, float eyeY, float eyeZ, float centerX, float centerY, float centerZ, float upX,
                        float upY, float upZ) {
  store3(eye, eyeX, eyeY, eyeZ);
  store3(center, centerX, centerY, centerZ);
  store3(up, upX, upY, upZ);
}

void orbCamera::apply() const {
  if (active) loadCameraProjection(eye, center, up);
}

void orbCamera::dispose() { loadCameraProjection(defaultEye, defaultCenter, defaultUp); }

// --- light ---

orbLight orbLight::create(GLenum lightId, std::int32_t kind) {
  orbLight light;
  light.lightId = lightId;
  light.kind = kind;
  glDisable(lightId);
  const float globalAmbient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, globalAmbient);
  return light;
}

void orbLight::sendColours() const {
  glLightfv(lightId, GL_AMBIENT, ambient);
  glLightfv(lightId, GL_DIFFUSE, diffuse);
  glLightfv(lightId, GL_SPECULAR, specular);
}

void orbLight::setEnabled(bool flag) {
  if (flag) {
    sendColours();
    glLightfv(lightId, GL_POSITION, position);
    glLightfv(lightId, GL_SPOT_DIRECTION, spotDirection);
    glLightf(lightId, GL_SPOT_CUTOFF, spotCutoff);
    glLightf(lightId, GL_SPOT_EXPONENT, spotExponent);
    glLightf(lightId, GL_CONSTANT_ATTENUATION, constantAttenuation);
    glLightf(lightId, GL_LINEAR_ATTENUATION, linearAttenuation);
    glLightf(lightId, GL_QUADRATIC_ATTENUATION, quadraticAttenuation);
    if (!glIsEnabled(GL_LIGHTING)) glEnable(GL_LIGHTING);
    glEnable(lightId);
    enabled = true;
  } else {
    glDisable(lightId);
    if (glIsEnabled(GL_LIGHTING)) glDisable(GL_LIGHTING);
    enabled = false;
  }
}

void orbLight::setAmbient(float r, float g, float b, float a) {
  store4(ambient, r, g, b, a);
  if (enabled) glLightfv(lightId, GL_AMBIENT, ambient);
}

void orbLight::setDiffuse(float r, float g, float b, float a) {
  store4(diffuse, r, g, b, a);
  if (enabled) glLightfv(lightId, GL_DIFFUSE, diffuse);
}

void orbLight::setSpecular(float r, float g, float b, float a) {
  store4(specular, r, g, b, a);
  if (enabled) glLightfv(lightId, GL_SPECULAR, specular);
}

void orbLight::setPosition(float x, float y, float z) {
  const float w = (kind == 1 || kind == 3) ? 0.0f : 1.0f;
  store4(position, x, y, z, w);
  // Scenes rely on this: the position is given in eye coordinates.
  glLoadIdentity();
  if (enabled) glLightfv(lightId, GL_POSITION, position);
}

void orbLight::setSpotDirection(float x, float y, float z) {
  store3(spotDirection, x, y, z);
  glLoadIdentity();
  glEnable(GL_NORMALIZE);
  if (enabled) glLightfv(lightId, GL_SPOT_DIRECTION, spotDirection);
  glDisable(GL_NORMALIZE);
}

void orbLight::setSpotCutoff(float degrees) {
  spotCutoff = degrees;
  if (enabled) glLightf(lightId, GL_SPOT_CUTOFF, spotCutoff);
}

void orbLight::setSpotExponent(float exponent) {
  spotExponent = exponent;
  if (enabled) glLightf(lightId, GL_SPOT_EXPONENT, spotExponent);
}

void orbLight::setAttenuation(float constant, float linear, float quadratic) {
  constantAttenuation = constant;
  linearAttenuation = linear;
  quadraticAttenuation = quadratic;
  if (enabled) {
    glLightf(lightId, GL_CONSTANT_ATTENUATION, constantAttenuation);
    glLightf(lightId, GL_LINEAR_ATTENUATION, linearAttenuation);
    glLightf(lightId, GL_QUADRATIC_ATTENUATION, quadraticAttenuation);
  }
}

void orbLight::dispose() {
  glDisable(lightId);
  enabled = false;
}

// --- material ---

orbMaterial orbMaterial::create() { return orbMaterial{}; }

void orbMaterial::setEnabled(bool flag) {
  if (flag) {
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMateriali(GL_FRONT, GL_SHININESS, shininess);
    enabled = true;
  } else {
    glDisable(GL_COLOR_MATERIAL);
    enabled = false;
  }
}

void orbMaterial::setAmbient(float r, float g, float b, float a) {
  store4(ambient, r, g, b, a);
  if (enabled) glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
}

void orbMaterial::setDiffuse(float r, float g, float b, float a) {
  store4(diffuse, r, g, b, a);
  if (enabled) glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
}

void orbMaterial::setSpecular(float r, float g, float b, float a) {
  store4(specular, r, g, b, a);
  if (enabled) glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
}

void orbMaterial::setShininess(std::int32_t n) {
  shininess = n;
  if (enabled) glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
}

void orbMaterial::dispose() { enabled = false; }
