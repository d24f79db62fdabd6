// Matrix arithmetic of the 3D view: vector helpers over the library's point
// type and a 4x4 single-precision matrix that remembers which kind of
// transform it holds, so that the common cases (translation, scale, rotation
// about Z) take short paths.
#pragma once
#include "mod_gcode/geometry/PathRecords.h"

namespace ravik {

using quillet::CPoint3d;

double Dot(const CPoint3d& a, const CPoint3d& b);
CPoint3d Cross(const CPoint3d& a, const CPoint3d& b);
double Length(const CPoint3d& a);
// The unit vector of `a`; `a` itself when its squared length is within 1e-12
// of 1, the zero vector when it is (nearly) zero.
CPoint3d Normalized(const CPoint3d& a);

// The part of the window that the projection maps onto, and the depth pair
// that picking maps read-back depths with.
struct Viewport {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  double near = 0.0;
  double far = 1.0;
};

class CMatrix4 {
 public:
  // Flags of `kind`: which elements may differ from the identity. Every
  // operation keeps the flags exact, and the short paths rely on elements
  // outside the flagged kind holding their identity values.
  enum Kind : int {
    kIdentity = 0,
    kTranslation = 1,
    kScale = 2,
    kRotationZ = 4,
    kRotation = 8,
    kGeneral = 16,
  };

  // Column-major (OpenGL order): m[c * 4 + r] is row r, column c.
  float m[16];
  int kind = kIdentity;

  CMatrix4() { SetIdentity(); }
  // A general matrix from 16 floats in column-major order.
  static CMatrix4 FromArray(const float* values);

  void SetIdentity();
  const float* Data() const { return m; }
  float At(int row, int col) const { return m[col * 4 + row]; }

  // Each of these post-multiplies: the new transform is applied to a point
  // before the existing one.
  void Translate(float x, float y, float z);
  void Translate(const CPoint3d& p);
  void Scale(float sx, float sy, float sz);
  void Rotate(float angleDegrees, float x, float y, float z);
  void Ortho(float left, float right, float bottom, float top, float nearVal, float farVal);
  void LookAt(const CPoint3d& eye, const CPoint3d& center, const CPoint3d& up);
  void PostMultiply(const CMatrix4& b);

  // L x R.
  static CMatrix4 Multiply(const CMatrix4& l, const CMatrix4& r);
  // The inverse; the identity when the matrix is singular.
  CMatrix4 Inverted() const;
  // The inverse of a rotation followed by a translation.
  CMatrix4 RigidInverse() const;
  // M x p; a projective result is divided by its w.
  CPoint3d MapPoint(const CPoint3d& p) const;

  // Determinant of the 3x3 minor of the column-major 4x4 `d` without row
  // `row` and column `col`; and the full 4x4 determinant.
  static double Determinant3(const double* d, int row, int col);
  static double Determinant4(const double* d);

  // The point under a window position (window y counts downwards) at a
  // read-back depth, for the transform projection x view x model. The depth is
  // mapped to normalised z through the viewport's near/far pair.
  static CPoint3d UnprojectPoint(const CMatrix4& model, const CMatrix4& view,
                                 const CMatrix4& projection, const Viewport& viewport, double wx,
                                 double wy, double depth);
};

}  // namespace ravik
