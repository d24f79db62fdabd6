// Matrix arithmetic: every kind's short path against a plain 4x4 product,
// inverses, point mapping and unprojection.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "viewer/render/Matrix.h"

using ravik::CMatrix4;
using ravik::CPoint3d;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A plain column-major 4x4 matrix in doubles, built without CMatrix4.
using Plain = std::array<double, 16>;

Plain Identity() {
  Plain p{};
  p[0] = p[5] = p[10] = p[15] = 1.0;
  return p;
}

Plain Product(const Plain& l, const Plain& r) {
  Plain out{};
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row)
      for (int k = 0; k < 4; ++k) out[c * 4 + row] += l[k * 4 + row] * r[c * 4 + k];
  return out;
}

Plain Translation(double x, double y, double z) {
  Plain p = Identity();
  p[12] = x;
  p[13] = y;
  p[14] = z;
  return p;
}

Plain Scaling(double x, double y, double z) {
  Plain p = Identity();
  p[0] = x;
  p[5] = y;
  p[10] = z;
  return p;
}

// Rodrigues' rotation about a unit axis, counter-clockwise looking down the axis.
Plain Rotation(double degrees, double x, double y, double z) {
  double len = std::sqrt(x * x + y * y + z * z);
  x /= len;
  y /= len;
  z /= len;
  double a = degrees * kPi / 180.0, c = std::cos(a), s = std::sin(a), ic = 1 - c;
  Plain p = Identity();
  p[0] = c + x * x * ic;
  p[4] = x * y * ic - z * s;
  p[8] = x * z * ic + y * s;
  p[1] = y * x * ic + z * s;
  p[5] = c + y * y * ic;
  p[9] = y * z * ic - x * s;
  p[2] = z * x * ic - y * s;
  p[6] = z * y * ic + x * s;
  p[10] = c + z * z * ic;
  return p;
}

Plain OrthoPlain(double l, double r, double b, double t, double n, double f) {
  Plain p = Identity();
  p[0] = 2 / (r - l);
  p[5] = 2 / (t - b);
  p[10] = -2 / (f - n);
  p[12] = -(r + l) / (r - l);
  p[13] = -(t + b) / (t - b);
  p[14] = -(f + n) / (f - n);
  return p;
}

Plain ToPlain(const CMatrix4& m) {
  Plain p;
  for (int i = 0; i < 16; ++i) p[i] = m.m[i];
  return p;
}

void ExpectNear(const Plain& expected, const CMatrix4& actual, double tol, const char* what) {
  for (int i = 0; i < 16; ++i) {
    double scale = std::max(1.0, std::fabs(expected[i]));
    EXPECT_NEAR(expected[i], actual.m[i], tol * scale) << what << " element " << i;
  }
}

// Elements that the kind says are trivial must hold their identity values.
void ExpectKindHolds(const CMatrix4& m) {
  const int k = m.kind;
  auto id = [](int i) { return (i % 5 == 0) ? 1.0f : 0.0f; };
  std::array<bool, 16> free{};
  if (k & CMatrix4::kTranslation) free[12] = free[13] = free[14] = true;
  if (k & CMatrix4::kScale) free[0] = free[5] = free[10] = true;
  if (k & CMatrix4::kRotationZ) free[0] = free[1] = free[4] = free[5] = true;
  if (k & CMatrix4::kRotation)
    for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 15}) free[i] = true;
  if (k & CMatrix4::kRotation) free[3] = free[7] = free[11] = false;
  if (k & CMatrix4::kGeneral) free.fill(true);
  for (int i = 0; i < 16; ++i) {
    if (!free[i]) {
      EXPECT_EQ(id(i), m.m[i]) << "kind " << k << " element " << i;
    }
  }
}

// Applies one random operation to both the matrix and the plain reference.
void RandomStep(std::mt19937& rng, CMatrix4& m, Plain& ref, int allowed) {
  std::uniform_real_distribution<float> v(-3.f, 3.f);
  std::uniform_real_distribution<float> pos(0.5f, 2.5f);
  std::uniform_int_distribution<int> pick(0, allowed - 1);
  switch (pick(rng)) {
    case 0: {
      float x = v(rng), y = v(rng), z = v(rng);
      m.Translate(x, y, z);
      ref = Product(ref, Translation(x, y, z));
      break;
    }
    case 1: {
      float x = pos(rng), y = pos(rng), z = pos(rng);
      m.Scale(x, y, z);
      ref = Product(ref, Scaling(x, y, z));
      break;
    }
    case 2: {  // about Z, sometimes by a special angle, sometimes about -Z
      static const float angles[] = {90.f, -90.f, 180.f, 270.f, -270.f, 33.f, -71.5f};
      float a = angles[std::uniform_int_distribution<int>(0, 6)(rng)];
      float z = (rng() % 2) ? 2.5f : -1.f;
      m.Rotate(a, 0, 0, z);
      ref = Product(ref, Rotation(a, 0, 0, z));
      break;
    }
    case 3: {  // about X or Y
      float a = v(rng) * 40.f;
      bool aboutX = rng() % 2;
      float sign = (rng() % 2) ? 1.f : -3.f;
      m.Rotate(a, aboutX ? sign : 0.f, aboutX ? 0.f : sign, 0.f);
      ref = Product(ref, Rotation(a, aboutX ? sign : 0, aboutX ? 0 : sign, 0));
      break;
    }
    case 4: {  // a general axis
      float a = v(rng) * 50.f;
      float x = v(rng), y = v(rng), z = v(rng) + 4.f;
      m.Rotate(a, x, y, z);
      ref = Product(ref, Rotation(a, x, y, z));
      break;
    }
    case 5: {
      float l = -pos(rng), r = pos(rng), b = -pos(rng), t = pos(rng), n = pos(rng), f = -pos(rng);
      m.Ortho(l, r, b, t, n, f);
      ref = Product(ref, OrthoPlain(l, r, b, t, n, f));
      break;
    }
    default: {  // a general matrix with a projective row
      float values[16];
      for (float& e : values) e = v(rng) * 0.3f;
      values[0] += 1.f;
      values[5] += 1.f;
      values[10] += 1.f;
      values[15] = 1.f;
      CMatrix4 g = CMatrix4::FromArray(values);
      m.PostMultiply(g);
      ref = Product(ref, ToPlain(g));
      break;
    }
  }
}

}  // namespace

TEST(Matrix, NewMatrixIsIdentityOfKindZero) {
  CMatrix4 m;
  EXPECT_EQ(0, m.kind);
  ExpectNear(Identity(), m, 0, "identity");
}

TEST(Matrix, ShortPathsAgreeWithPlainProductOnRandomCompositions) {
  std::mt19937 rng(12345);
  // Each family limits the operations so that the simple kinds are reached
  // and stay simple for several steps.
  const struct {
    int allowed;
    const char* name;
  } families[] = {{2, "translate+scale"}, {3, "with z rotation"}, {5, "with rotations"},
                  {6, "with ortho"}, {7, "with general"}};
  for (const auto& fam : families) {
    for (int trial = 0; trial < 200; ++trial) {
      CMatrix4 m;
      Plain ref = Identity();
      int steps = 1 + trial % 6;
      for (int s = 0; s < steps; ++s) {
        RandomStep(rng, m, ref, fam.allowed);
        ExpectKindHolds(m);
      }
      ExpectNear(ref, m, 2e-4, fam.name);
      if (fam.allowed <= 2) {
        EXPECT_LT(m.kind, CMatrix4::kRotationZ) << fam.name;
      }
      // Multiply and PostMultiply give the same as the plain product.
      CMatrix4 other;
      Plain otherRef = Identity();
      RandomStep(rng, other, otherRef, fam.allowed);
      RandomStep(rng, other, otherRef, fam.allowed);
      ExpectNear(Product(ref, otherRef), CMatrix4::Multiply(m, other), 1e-3, "Multiply");
      EXPECT_EQ(m.kind | other.kind, CMatrix4::Multiply(m, other).kind);
    }
  }
}

TEST(Matrix, KindFlagsOfSingleOperations) {
  CMatrix4 t;
  t.Translate(1, 2, 3);
  EXPECT_EQ(CMatrix4::kTranslation, t.kind);
  CMatrix4 s;
  s.Scale(2, 3, 4);
  EXPECT_EQ(CMatrix4::kScale, s.kind);
  s.Translate(1, 1, 1);
  EXPECT_EQ(3, s.kind);
  // Translation after a scale is scaled: x 2, y 3, z 4.
  EXPECT_FLOAT_EQ(2.f, s.m[12]);
  EXPECT_FLOAT_EQ(3.f, s.m[13]);
  EXPECT_FLOAT_EQ(4.f, s.m[14]);
  CMatrix4 z;
  z.Rotate(30, 0, 0, 1);
  EXPECT_EQ(CMatrix4::kRotationZ, z.kind);
  CMatrix4 x;
  x.Rotate(30, 1, 0, 0);
  EXPECT_EQ(CMatrix4::kRotation, x.kind);
  CMatrix4 o;
  o.Ortho(-100, 100, -50, 50, 10000, -10000);
  EXPECT_EQ(3, o.kind);
  EXPECT_FLOAT_EQ(0.01f, o.m[0]);
  EXPECT_FLOAT_EQ(0.02f, o.m[5]);
  EXPECT_FLOAT_EQ(1e-4f, o.m[10]);
}

TEST(Matrix, RotationSpecialCases) {
  CMatrix4 m;
  m.Translate(1, 2, 3);
  m.Scale(2, 2, 2);
  CMatrix4 before = m;
  m.Rotate(0, 0.3f, 0.4f, 0.5f);
  m.Rotate(0, 0, 0, 0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(before.m[i], m.m[i]);
  EXPECT_EQ(before.kind, m.kind);

  // 90 degrees about (0, 0, 5) uses c = 0, s = 1 exactly.
  CMatrix4 r;
  r.Rotate(90, 0, 0, 5);
  EXPECT_TRUE(r.kind & CMatrix4::kRotationZ);
  EXPECT_EQ(0.f, r.m[0]);
  EXPECT_EQ(1.f, r.m[1]);
  EXPECT_EQ(-1.f, r.m[4]);
  EXPECT_EQ(0.f, r.m[5]);

  CMatrix4 a, b;
  a.Rotate(30, 0, -1, 0);
  b.Rotate(-30, 0, 1, 0);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(b.m[i], a.m[i]);

  // An unnormalised general axis is normalised.
  CMatrix4 g;
  g.Rotate(40, 0, 3, 4);
  ExpectNear(Rotation(40, 0, 3, 4), g, 1e-6, "general axis");
}

TEST(Matrix, MultiplyOfTranslateScaleKeepsLeftOffDiagonal) {
  CMatrix4 l, r;
  l.Scale(2, 3, 4);
  l.Translate(1, 1, 1);
  r.Scale(5, 6, 7);
  r.Translate(-1, 2, 0.5f);
  CMatrix4 p = CMatrix4::Multiply(l, r);
  EXPECT_EQ(3, p.kind);
  ExpectNear(Product(ToPlain(l), ToPlain(r)), p, 1e-6, "translate-scale product");
}

TEST(Matrix, LookAtFromEyeToCentreIsViewTransform) {
  CMatrix4 same;
  same.LookAt({1, 2, 3}, {1, 2, 3}, {0, 1, 0});
  EXPECT_EQ(0, same.kind);

  CMatrix4 v;
  v.LookAt({0, 0, 800}, {0, 0, -800}, {0, 1, 0});
  CPoint3d p = v.MapPoint({10, 20, 30});
  EXPECT_NEAR(10, p.x, 1e-4);
  EXPECT_NEAR(20, p.y, 1e-4);
  EXPECT_NEAR(-770, p.z, 1e-3);

  // From +x, up +z: world y goes right and z goes up.
  CMatrix4 side;
  side.LookAt({500, 0, 0}, {0, 0, 0}, {0, 0, 1});
  CPoint3d q = side.MapPoint({0, 7, 9});
  EXPECT_NEAR(7, q.x, 1e-4);
  EXPECT_NEAR(9, q.y, 1e-4);
  EXPECT_NEAR(-500, q.z, 1e-3);
}

TEST(Matrix, InversesUndoEveryKind) {
  std::mt19937 rng(777);
  for (int allowed = 1; allowed <= 7; ++allowed) {
    for (int trial = 0; trial < 100; ++trial) {
      CMatrix4 m;
      Plain ref = Identity();
      for (int s = 0; s < 4; ++s) RandomStep(rng, m, ref, allowed);
      CMatrix4 inv = m.Inverted();
      ExpectKindHolds(inv);
      Plain prod = Product(ToPlain(m), ToPlain(inv));
      for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(Identity()[i], prod[i], 2e-3) << "allowed " << allowed << " element " << i;
      }
    }
  }
  // Rigid transforms (rotations and translations only) take the transpose route.
  CMatrix4 rigid;
  rigid.Rotate(37, 1, 2, 3);
  rigid.Translate(4, -5, 6);
  rigid.Rotate(90, 0, 0, 1);
  Plain prod = Product(ToPlain(rigid), ToPlain(rigid.RigidInverse()));
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(Identity()[i], prod[i], 1e-5);
}

TEST(Matrix, SingularMatricesInvertToIdentity) {
  CMatrix4 s;
  s.Scale(2, 0, 1);
  CMatrix4 inv = s.Inverted();
  EXPECT_EQ(0, inv.kind);
  ExpectNear(Identity(), inv, 0, "zero scale");

  CMatrix4 flat;
  flat.Rotate(20, 1, 1, 0);
  flat.Scale(1, 1, 0);
  ExpectNear(Identity(), flat.Inverted(), 0, "flattened rotation");

  float rows[16] = {1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 3, 0, 2, 1};  // two equal-ratio columns
  ExpectNear(Identity(), CMatrix4::FromArray(rows).Inverted(), 0, "general singular");
}

TEST(Matrix, DeterminantsOfKnownMatrices) {
  // Column-major diag(2, 3, 4, 5) with one off-diagonal element: det = 120.
  double d[16] = {2, 0, 0, 0, 7, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 5};
  EXPECT_DOUBLE_EQ(120.0, CMatrix4::Determinant4(d));
  // The minor without row 3 and column 3 is the upper 3x3: 2 * 3 * 4.
  EXPECT_DOUBLE_EQ(24.0, CMatrix4::Determinant3(d, 3, 3));
  // Without row 0 and column 0: diag(3, 4, 5).
  EXPECT_DOUBLE_EQ(60.0, CMatrix4::Determinant3(d, 0, 0));
}

TEST(Matrix, MapPointDividesProjectiveResults) {
  CMatrix4 t;
  t.Translate(1, 2, 3);
  CPoint3d p = t.MapPoint({1, 1, 1});
  EXPECT_EQ(CPoint3d(2, 3, 4), p);

  CMatrix4 z;
  z.Rotate(90, 0, 0, 1);
  z.Translate(10, 0, 0);  // rotation applied after the translation
  CPoint3d q = z.MapPoint({1, 0, 5});
  EXPECT_NEAR(0, q.x, 1e-6);
  EXPECT_NEAR(11, q.y, 1e-6);
  EXPECT_NEAR(5, q.z, 1e-6);

  // w = 0.5 x + 1: the point (2, 4, 6) has w = 2.
  float values[16] = {1, 0, 0, 0.5f, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  CPoint3d r = CMatrix4::FromArray(values).MapPoint({2, 4, 6});
  EXPECT_NEAR(1, r.x, 1e-6);
  EXPECT_NEAR(2, r.y, 1e-6);
  EXPECT_NEAR(3, r.z, 1e-6);
}

TEST(Matrix, UnprojectInvertsTheProjectionOfAPoint) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> v(-40, 40);
  CMatrix4 model;
  model.Rotate(25, 0, 0, 1);
  model.Translate(3, -2, 1);
  CMatrix4 view;
  view.Rotate(30, 1, 0.5f, 0);
  view.Translate(0, 0, -800);
  CMatrix4 proj;
  proj.Ortho(-100, 100, -75, 75, 10000, -10000);
  // The pair (0.5, 1) maps window depth to normalised z (2 d - 1).
  ravik::Viewport vp{0, 0, 800, 600, 0.5, 1.0};
  Plain full = Product(Product(ToPlain(proj), ToPlain(view)), ToPlain(model));
  for (int i = 0; i < 50; ++i) {
    CPoint3d w{v(rng), v(rng), v(rng)};
    double clip[4];
    for (int r = 0; r < 4; ++r) clip[r] = full[r] * w.x + full[4 + r] * w.y + full[8 + r] * w.z + full[12 + r];
    double wx = (clip[0] + 1) * 0.5 * vp.width;
    double wy = (1 - clip[1]) * 0.5 * vp.height;  // window y counts downwards
    double depth = (clip[2] + 1) * 0.5;
    CPoint3d back = CMatrix4::UnprojectPoint(model, view, proj, vp, wx, wy, depth);
    EXPECT_NEAR(w.x, back.x, 1e-2);
    EXPECT_NEAR(w.y, back.y, 1e-2);
    EXPECT_NEAR(w.z, back.z, 1e-1);
  }
  // A window of no area gives the origin rather than infinities.
  ravik::Viewport none{0, 0, 0, 0, 0, 1};
  EXPECT_EQ(CPoint3d(), CMatrix4::UnprojectPoint(model, view, proj, none, 5, 5, 0.5));
}
