// Matrix arithmetic: every kind's short path against a plain 4x4 product,
// inverses, singular matrices and unprojection.
#include <gtest/gtest.h>

#include <algorithm>
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

Plain Diagonal(double x, double y, double z) { return {x, 0, 0, 0, 0, y, 0, 0, 0, 0, z, 0, 0, 0, 0, 1}; }
const Plain kIdentity = Diagonal(1, 1, 1);

Plain Product(const Plain& l, const Plain& r) {
  Plain out{};
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row)
      for (int k = 0; k < 4; ++k) out[c * 4 + row] += l[k * 4 + row] * r[c * 4 + k];
  return out;
}

// Rodrigues' rotation about an axis, counter-clockwise looking down the axis.
Plain Rotation(double degrees, double x, double y, double z) {
  const double len = std::sqrt(x * x + y * y + z * z);
  x /= len;
  y /= len;
  z /= len;
  const double a = degrees * kPi / 180.0, c = std::cos(a), s = std::sin(a), ic = 1 - c;
  return {c + x * x * ic,     y * x * ic + z * s, z * x * ic - y * s, 0,  //
          x * y * ic - z * s, c + y * y * ic,     z * y * ic + x * s, 0,  //
          x * z * ic + y * s, y * z * ic - x * s, c + z * z * ic,     0,  //
          0,                  0,                  0,                  1};
}

Plain ToPlain(const CMatrix4& m) {
  Plain p;
  std::copy(m.m, m.m + 16, p.begin());
  return p;
}

void ExpectNear(const Plain& expected, const CMatrix4& actual, double tol, const char* what) {
  for (int i = 0; i < 16; ++i)
    EXPECT_NEAR(expected[i], actual.m[i], tol * std::max(1.0, std::fabs(expected[i]))) << what << " element " << i;
}

// Elements that the kind says are trivial must hold their identity values.
void ExpectKindHolds(const CMatrix4& m) {
  const int k = m.kind;
  std::array<bool, 16> free{};
  if (k & CMatrix4::kTranslation) free[12] = free[13] = free[14] = true;
  if (k & CMatrix4::kScale) free[0] = free[5] = free[10] = true;
  if (k & CMatrix4::kRotationZ) free[0] = free[1] = free[4] = free[5] = true;
  if (k & CMatrix4::kRotation)
    for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 15}) free[i] = true;
  if (k & CMatrix4::kGeneral) free.fill(true);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(free[i] ? m.m[i] : kIdentity[i], m.m[i]) << "kind " << k << " element " << i;
}

// Applies one random operation, of the first `allowed` kinds, to both the
// matrix and the plain reference.
void RandomStep(std::mt19937& rng, CMatrix4& m, Plain& ref, int allowed) {
  std::uniform_real_distribution<float> v(-3.f, 3.f), pos(0.5f, 2.5f);
  float x = v(rng), y = v(rng), z = v(rng), a = v(rng) * 40.f;
  Plain op = kIdentity;
  switch (std::uniform_int_distribution<int>(0, allowed - 1)(rng)) {
    case 0:
      m.Translate(x, y, z);
      op[12] = x, op[13] = y, op[14] = z;
      break;
    case 1:
      x = pos(rng), y = pos(rng), z = pos(rng);
      m.Scale(x, y, z);
      op = Diagonal(x, y, z);
      break;
    case 2: {  // about +-Z, sometimes by a special angle
      static const float angles[] = {90.f, -90.f, 180.f, 270.f, 33.f};
      a = angles[rng() % 5];
      z = (rng() % 2) ? 2.5f : -1.f;
      m.Rotate(a, 0, 0, z);
      op = Rotation(a, 0, 0, z);
      break;
    }
    case 3:  // about X or Y
      x = (rng() % 2) ? 1.f : -3.f, y = (rng() % 2) ? x : 0.f, x -= y;
      m.Rotate(a, x, y, 0);
      op = Rotation(a, x, y, 0);
      break;
    case 4:  // a general axis
      m.Rotate(a, x, y, z + 4.f);
      op = Rotation(a, x, y, z + 4.f);
      break;
    case 5: {
      const float l = -pos(rng), r = pos(rng), b = -pos(rng), t = pos(rng), n = pos(rng), f = -pos(rng);
      m.Ortho(l, r, b, t, n, f);
      op = Diagonal(2 / (r - l), 2 / (t - b), -2 / (f - n));
      op[12] = -(r + l) / (r - l), op[13] = -(t + b) / (t - b), op[14] = -(f + n) / (f - n);
      break;
    }
    default: {  // a general matrix with a projective row
      float values[16];
      for (float& e : values) e = v(rng) * 0.3f;
      values[0] += 1.f, values[5] += 1.f, values[10] += 1.f, values[15] = 1.f;
      const CMatrix4 g = CMatrix4::FromArray(values);
      m.PostMultiply(g);
      op = ToPlain(g);
      break;
    }
  }
  ref = Product(ref, op);
}

}  // namespace

TEST(Matrix, ShortPathsAndInversesAgreeWithPlainArithmetic) {
  std::mt19937 rng(12345);
  // Each family limits the operations so that the simple kinds are reached
  // and stay simple for several steps.
  for (int allowed = 1; allowed <= 7; ++allowed) {
    for (int trial = 0; trial < 200; ++trial) {
      CMatrix4 m, other;
      Plain ref = kIdentity, otherRef = kIdentity;
      for (int s = 0; s <= trial % 5; ++s) {
        RandomStep(rng, m, ref, allowed);
        ExpectKindHolds(m);
      }
      ExpectNear(ref, m, 2e-4, "composition");
      EXPECT_TRUE(allowed > 2 || m.kind < CMatrix4::kRotationZ) << m.kind;
      RandomStep(rng, other, otherRef, allowed);
      RandomStep(rng, other, otherRef, allowed);
      const CMatrix4 product = CMatrix4::Multiply(m, other);
      ExpectNear(Product(ref, otherRef), product, 1e-3, "Multiply");
      EXPECT_EQ(m.kind | other.kind, product.kind);
      const CMatrix4 inv = m.Inverted();
      ExpectKindHolds(inv);
      ExpectNear(kIdentity, CMatrix4::Multiply(m, inv), 2e-3, "inverse");
    }
  }
  // Singular matrices invert to the identity.
  CMatrix4 flat;
  flat.Scale(2, 0, 1);
  ExpectNear(kIdentity, flat.Inverted(), 0, "zero scale");
  const float rows[16] = {1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 3, 0, 2, 1};  // two proportional columns
  ExpectNear(kIdentity, CMatrix4::FromArray(rows).Inverted(), 0, "general singular");
}

TEST(Matrix, UnprojectInvertsTheProjectionOfAPoint) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> v(-40, 40);
  CMatrix4 model, view, proj;
  model.Rotate(25, 0, 0, 1);
  model.Translate(3, -2, 1);
  view.Rotate(30, 1, 0.5f, 0);
  view.Translate(0, 0, -800);
  proj.Ortho(-100, 100, -75, 75, 10000, -10000);
  // The pair (0.5, 1) maps window depth to normalised z (2 d - 1).
  const ravik::Viewport vp{0, 0, 800, 600, 0.5, 1.0};
  const Plain full = Product(Product(ToPlain(proj), ToPlain(view)), ToPlain(model));
  for (int i = 0; i < 50; ++i) {
    const CPoint3d w{v(rng), v(rng), v(rng)};
    double clip[4];
    for (int r = 0; r < 4; ++r) clip[r] = full[r] * w.x + full[4 + r] * w.y + full[8 + r] * w.z + full[12 + r];
    // Window y counts downwards.
    const CPoint3d back = CMatrix4::UnprojectPoint(model, view, proj, vp, (clip[0] + 1) * 0.5 * vp.width,
                                                   (1 - clip[1]) * 0.5 * vp.height, (clip[2] + 1) * 0.5);
    EXPECT_NEAR(w.x, back.x, 1e-2);
    EXPECT_NEAR(w.y, back.y, 1e-2);
    EXPECT_NEAR(w.z, back.z, 1e-1);
  }
  // A window of no area gives the origin rather than infinities.
  EXPECT_EQ(CPoint3d(), CMatrix4::UnprojectPoint(model, view, proj, ravik::Viewport{0, 0, 0, 0, 0, 1}, 5, 5, 0.5));
}
