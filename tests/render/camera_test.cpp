// Camera, light and material against real GL: each call's effect read back
// with glGet.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "engine/camera.h"
#include "tests/support/gl_context.h"

namespace {

using Matrix = std::array<double, 16>;  // column-major, as GL stores it

Matrix multiply(const Matrix& a, const Matrix& b) {
  Matrix r{};
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row)
      for (int k = 0; k < 4; ++k) r[col * 4 + row] += a[k * 4 + row] * b[col * 4 + k];
  return r;
}

Matrix identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

Matrix perspective(double fovyDegrees, double aspect, double zNear, double zFar) {
  const double f = 1.0 / std::tan(fovyDegrees * M_PI / 360.0);
  Matrix m{};
  m[0] = f / aspect;
  m[5] = f;
  m[10] = (zFar + zNear) / (zNear - zFar);
  m[11] = -1;
  m[14] = 2 * zFar * zNear / (zNear - zFar);
  return m;
}

Matrix lookAt(const double eye[3], const double center[3], const double up[3]) {
  double f[3] = {center[0] - eye[0], center[1] - eye[1], center[2] - eye[2]};
  const double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
  for (double& v : f) v /= fl;
  double s[3] = {f[1] * up[2] - f[2] * up[1], f[2] * up[0] - f[0] * up[2], f[0] * up[1] - f[1] * up[0]};
  const double sl = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
  for (double& v : s) v /= sl;
  const double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
  Matrix m = identity();
  for (int i = 0; i < 3; ++i) {
    m[i * 4 + 0] = s[i];
    m[i * 4 + 1] = u[i];
    m[i * 4 + 2] = -f[i];
  }
  Matrix t = identity();
  t[12] = -eye[0];
  t[13] = -eye[1];
  t[14] = -eye[2];
  return multiply(m, t);
}

Matrix cameraMatrix(const double eye[3], const double center[3], const double up[3]) {
  return multiply(perspective(45.0, 4.0 / 3.0, 0.1, 100.0), lookAt(eye, center, up));
}

Matrix defaultCameraMatrix() {
  const double eye[3] = {0, 0, 0}, center[3] = {0, 0, -1}, up[3] = {0, 1, 0};
  return cameraMatrix(eye, center, up);
}

Matrix readMatrix(GLenum which) {
  GLdouble m[16];
  glGetDoublev(which, m);
  Matrix r;
  for (int i = 0; i < 16; ++i) r[i] = m[i];
  return r;
}

void expectMatrix(const Matrix& expected, GLenum which, const char* what) {
  const Matrix actual = readMatrix(which);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-5) << what << " element " << i;
}

GLint integer(GLenum name) {
  GLint v = 0;
  glGetIntegerv(name, &v);
  return v;
}

std::array<float, 4> lightValue(GLenum light, GLenum name) {
  std::array<float, 4> v{-9, -9, -9, -9};
  glGetLightfv(light, name, v.data());
  return v;
}

std::array<float, 4> materialValue(GLenum face, GLenum name) {
  std::array<float, 4> v{-9, -9, -9, -9};
  glGetMaterialfv(face, name, v.data());
  return v;
}

// A scene-like model-view that the camera and light must not keep.
void disturbMatrices() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 10, 0, 10, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(1, 2, 3);
  glMatrixMode(GL_PROJECTION);
}

class CameraTest : public GLTest {};
class LightTest : public GLTest {
 protected:
  void TearDown() override {
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHT1);
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    GLTest::TearDown();
  }
};
class MaterialTest : public GLTest {
 protected:
  void TearDown() override {
    glDisable(GL_COLOR_MATERIAL);
    GLTest::TearDown();
  }
};

}  // namespace

TEST(DegToRad, ConvertsDegrees) {
  EXPECT_DOUBLE_EQ(degToRad(180.0), M_PI);
  EXPECT_DOUBLE_EQ(degToRad(-90.0), -M_PI / 2);
  EXPECT_DOUBLE_EQ(degToRad(0.0), 0.0);
}

TEST_F(CameraTest, CreateLoadsViewIntoProjectionWithFixedAspectAndResetsModelView) {
  disturbMatrices();
  const orbCamera camera = orbCamera::create(1, 2, 3, 0, 0, -5, 0, 1, 0);
  const double eye[3] = {1, 2, 3}, center[3] = {0, 0, -5}, up[3] = {0, 1, 0};
  // 4/3 even though the window is 800 × 600 here: the constant, not the window's.
  expectMatrix(cameraMatrix(eye, center, up), GL_PROJECTION_MATRIX, "projection");
  expectMatrix(identity(), GL_MODELVIEW_MATRIX, "model-view");
  EXPECT_EQ(integer(GL_MATRIX_MODE), GL_MODELVIEW);
  EXPECT_TRUE(camera.active);
  EXPECT_FLOAT_EQ(camera.center[2], -5.0f);
}

TEST_F(CameraTest, SetViewSendsNothingApplyLoadsOnlyWhileActive) {
  orbCamera camera = orbCamera::create(0, 0, 0, 0, 0, -1, 0, 1, 0);
  camera.setView(0, 5, 10, 0, 0, 0, 0, 1, 0);
  expectMatrix(defaultCameraMatrix(), GL_PROJECTION_MATRIX, "after setView");

  const double eye[3] = {0, 5, 10}, center[3] = {0, 0, 0}, up[3] = {0, 1, 0};
  disturbMatrices();
  camera.apply();
  expectMatrix(cameraMatrix(eye, center, up), GL_PROJECTION_MATRIX, "after apply");
  expectMatrix(identity(), GL_MODELVIEW_MATRIX, "model-view after apply");

  // Inactive: the default view is loaded once, then apply leaves the projection alone.
  camera.setActive(false);
  expectMatrix(defaultCameraMatrix(), GL_PROJECTION_MATRIX, "after setActive(false)");
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glTranslatef(4, 5, 6);
  camera.apply();
  expectMatrix(identity(), GL_PROJECTION_MATRIX, "apply while inactive");
  EXPECT_NEAR(readMatrix(GL_MODELVIEW_MATRIX)[12], 4.0, 1e-9) << "apply while inactive touched the model-view";

  camera.setActive(true);
  expectMatrix(cameraMatrix(eye, center, up), GL_PROJECTION_MATRIX, "after setActive(true)");
}

TEST_F(CameraTest, DisposeLeavesDefaultProjection) {
  orbCamera camera = orbCamera::create(3, 3, 3, 0, 0, 0, 0, 1, 0);
  camera.dispose();
  expectMatrix(defaultCameraMatrix(), GL_PROJECTION_MATRIX, "after dispose");
  expectMatrix(identity(), GL_MODELVIEW_MATRIX, "model-view after dispose");
}

TEST_F(LightTest, CreateDisablesLightAndSetsGlobalAmbient) {
  glEnable(GL_LIGHT0);
  const float bright[4] = {0.5f, 0.5f, 0.5f, 1};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, bright);
  const orbLight light = orbLight::create(GL_LIGHT0, 2);
  EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
  float ambient[4];
  glGetFloatv(GL_LIGHT_MODEL_AMBIENT, ambient);
  EXPECT_EQ(std::vector<float>(ambient, ambient + 4), (std::vector<float>{0, 0, 0, 1}));
  EXPECT_FALSE(light.enabled);
  EXPECT_EQ(std::vector<float>(light.position, light.position + 4), (std::vector<float>{1, 1, 1, 1}));
  EXPECT_EQ(light.spotCutoff, 0.0f);
}

TEST_F(LightTest, ValuesSetWhileOffReachGLOnlyWhenSwitchedOn) {
  orbLight light = orbLight::create(GL_LIGHT0, 2);
  const auto diffuseBefore = lightValue(GL_LIGHT0, GL_DIFFUSE);
  light.setDiffuse(0.25f, 0.5f, 0.75f, 1.0f);
  light.setAmbient(0.1f, 0.2f, 0.3f, 1.0f);
  light.setSpecular(0.9f, 0.8f, 0.7f, 1.0f);
  light.setSpotExponent(4.0f);
  light.setSpotCutoff(45.0f);
  light.setAttenuation(1.0f, 0.5f, 0.25f);
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_DIFFUSE), diffuseBefore);
  EXPECT_NE(lightValue(GL_LIGHT0, GL_SPOT_CUTOFF)[0], 45.0f);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));

  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  light.setEnabled(true);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_DIFFUSE), (std::array<float, 4>{0.25f, 0.5f, 0.75f, 1.0f}));
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_AMBIENT), (std::array<float, 4>{0.1f, 0.2f, 0.3f, 1.0f}));
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_SPECULAR), (std::array<float, 4>{0.9f, 0.8f, 0.7f, 1.0f}));
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_POSITION), (std::array<float, 4>{1, 1, 1, 1}));
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_SPOT_CUTOFF)[0], 45.0f);
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_SPOT_EXPONENT)[0], 4.0f);
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_CONSTANT_ATTENUATION)[0], 1.0f);
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_LINEAR_ATTENUATION)[0], 0.5f);
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_QUADRATIC_ATTENUATION)[0], 0.25f);

  // While on, every setter sends at once.
  light.setDiffuse(1, 0, 0, 1);
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_DIFFUSE), (std::array<float, 4>{1, 0, 0, 1}));
  light.setAttenuation(2, 0, 0);
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_CONSTANT_ATTENUATION)[0], 2.0f);
  light.setSpotExponent(8.0f);
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_SPOT_EXPONENT)[0], 8.0f);
}

TEST_F(LightTest, SwitchingOneLightOffSwitchesLightingOff) {
  orbLight light = orbLight::create(GL_LIGHT0, 2);
  light.setEnabled(true);
  glEnable(GL_LIGHT1);
  light.setEnabled(false);
  EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING)) << "lighting stays on with another light enabled";
  EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
  EXPECT_FALSE(light.enabled);
  // Off twice is harmless; dispose disables only the light.
  light.setEnabled(false);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  light.dispose();
  EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
}

TEST_F(LightTest, PositionAndSpotDirectionResetTheCurrentMatrix) {
  orbLight light = orbLight::create(GL_LIGHT0, 2);
  light.setEnabled(true);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(5, 0, 0);
  light.setPosition(0, 0, 1);
  expectMatrix(identity(), GL_MODELVIEW_MATRIX, "model-view after setPosition");
  // Sent under the identity: eye coordinates unchanged, w = 1 for kind 2.
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_POSITION), (std::array<float, 4>{0, 0, 1, 1}));

  glRotatef(90, 0, 1, 0);
  light.setSpotDirection(0, 0, -1);
  expectMatrix(identity(), GL_MODELVIEW_MATRIX, "model-view after setSpotDirection");
  const auto direction = lightValue(GL_LIGHT0, GL_SPOT_DIRECTION);
  EXPECT_FLOAT_EQ(direction[2], -1.0f);
  EXPECT_FLOAT_EQ(direction[0], 0.0f);
  EXPECT_FALSE(glIsEnabled(GL_NORMALIZE));

  // The current matrix, whichever it is: here the projection.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 2, 0, 2, -1, 1);
  light.setPosition(1, 2, 3);
  expectMatrix(identity(), GL_PROJECTION_MATRIX, "projection after setPosition");
  glMatrixMode(GL_MODELVIEW);
}

TEST_F(LightTest, KindDecidesDirectionalOrPositional) {
  for (int kind : {1, 3}) {
    orbLight light = orbLight::create(GL_LIGHT1, kind);
    light.setPosition(0, 1, 0);
    EXPECT_EQ(light.position[3], 0.0f) << "kind " << kind;
  }
  for (int kind : {0, 2, 4}) {
    orbLight light = orbLight::create(GL_LIGHT1, kind);
    light.setPosition(0, 1, 0);
    EXPECT_EQ(light.position[3], 1.0f) << "kind " << kind;
  }
}

TEST_F(LightTest, CutoffOf100IsRefusedByGLAndStoredByTheLight) {
  orbLight light = orbLight::create(GL_LIGHT0, 2);
  light.setSpotCutoff(180.0f);
  light.setEnabled(true);
  light.setSpotCutoff(100.0f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_VALUE));
  EXPECT_EQ(lightValue(GL_LIGHT0, GL_SPOT_CUTOFF)[0], 180.0f);
  EXPECT_EQ(light.spotCutoff, 100.0f);
}

TEST_F(MaterialTest, CreateIsOffWithWhiteColours) {
  const orbMaterial material = orbMaterial::create();
  EXPECT_FALSE(material.enabled);
  EXPECT_EQ(material.shininess, 0);
  EXPECT_EQ(std::vector<float>(material.specular, material.specular + 4), (std::vector<float>{1, 1, 1, 1}));
}

TEST_F(MaterialTest, SwitchOnSendsFrontOnlyAndTracksColour) {
  const float grey[4] = {0.5f, 0.5f, 0.5f, 1};
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, grey);
  glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, 7);

  orbMaterial material = orbMaterial::create();
  material.setSpecular(0.25f, 0.25f, 0.25f, 1);
  material.setShininess(100);
  // Off: nothing sent.
  EXPECT_EQ(materialValue(GL_FRONT, GL_SPECULAR), (std::array<float, 4>{0.5f, 0.5f, 0.5f, 1}));
  EXPECT_EQ(materialValue(GL_FRONT, GL_SHININESS)[0], 7.0f);

  material.setEnabled(true);
  EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
  EXPECT_EQ(integer(GL_COLOR_MATERIAL_FACE), GL_FRONT_AND_BACK);
  EXPECT_EQ(integer(GL_COLOR_MATERIAL_PARAMETER), GL_AMBIENT_AND_DIFFUSE);
  EXPECT_EQ(materialValue(GL_FRONT, GL_SPECULAR), (std::array<float, 4>{0.25f, 0.25f, 0.25f, 1}));
  EXPECT_EQ(materialValue(GL_FRONT, GL_SHININESS)[0], 100.0f);
  EXPECT_EQ(materialValue(GL_BACK, GL_SPECULAR), (std::array<float, 4>{0.5f, 0.5f, 0.5f, 1}));
  EXPECT_EQ(materialValue(GL_BACK, GL_SHININESS)[0], 7.0f);

  // While on: shininess to both faces, specular to the front only.
  material.setShininess(50);
  EXPECT_EQ(materialValue(GL_FRONT, GL_SHININESS)[0], 50.0f);
  EXPECT_EQ(materialValue(GL_BACK, GL_SHININESS)[0], 50.0f);
  material.setSpecular(1, 0, 0, 1);
  EXPECT_EQ(materialValue(GL_FRONT, GL_SPECULAR), (std::array<float, 4>{1, 0, 0, 1}));
  EXPECT_EQ(materialValue(GL_BACK, GL_SPECULAR), (std::array<float, 4>{0.5f, 0.5f, 0.5f, 1}));

  material.setEnabled(false);
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
  material.setShininess(3);
  EXPECT_EQ(materialValue(GL_FRONT, GL_SHININESS)[0], 50.0f);
  material.dispose();
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
}

TEST_F(MaterialTest, AmbientAndDiffuseGoToBothFacesWhileColourTrackingIsOff) {
  // With tracking off (another material switched it off) the setters of an
  // enabled material reach both faces.
  orbMaterial material = orbMaterial::create();
  material.setEnabled(true);
  glDisable(GL_COLOR_MATERIAL);
  material.setAmbient(0.1f, 0.2f, 0.3f, 1);
  material.setDiffuse(0.4f, 0.5f, 0.6f, 1);
  EXPECT_EQ(materialValue(GL_FRONT, GL_AMBIENT), (std::array<float, 4>{0.1f, 0.2f, 0.3f, 1}));
  EXPECT_EQ(materialValue(GL_BACK, GL_AMBIENT), (std::array<float, 4>{0.1f, 0.2f, 0.3f, 1}));
  EXPECT_EQ(materialValue(GL_FRONT, GL_DIFFUSE), (std::array<float, 4>{0.4f, 0.5f, 0.6f, 1}));
  EXPECT_EQ(materialValue(GL_BACK, GL_DIFFUSE), (std::array<float, 4>{0.4f, 0.5f, 0.6f, 1}));
}
