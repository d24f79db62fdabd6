#include "viewer/render/Matrix.h"

#include <cmath>
#include <cstring>

namespace ravik {

double Dot(const CPoint3d& a, const CPoint3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

CPoint3d Cross(const CPoint3d& a, const CPoint3d& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double Length(const CPoint3d& a) { return std::sqrt(Dot(a, a)); }

CPoint3d Normalized(const CPoint3d& a) {
  double len2 = Dot(a, a);
  if (std::fabs(len2 - 1.0) <= 1e-12) return a;
  if (len2 <= 1e-12) return {};
  double len = std::sqrt(len2);
  return {a.x / len, a.y / len, a.z / len};
}

namespace {

// Normalises in place, rounding each component to single precision.
void NormalizeInPlace(CPoint3d& a) {
  double len2 = Dot(a, a);
  if (std::fabs(len2 - 1.0) <= 1e-12 || len2 <= 1e-12) return;
  double len = std::sqrt(len2);
  a.x = static_cast<float>(a.x / len);
  a.y = static_cast<float>(a.y / len);
  a.z = static_cast<float>(a.z / len);
}

void FullProduct(const float* l, const float* r, float* out) {
  float t[16];
  for (int c = 0; c < 4; ++c) {
    for (int row = 0; row < 4; ++row) {
      t[c * 4 + row] = l[0 * 4 + row] * r[c * 4 + 0] + l[1 * 4 + row] * r[c * 4 + 1] +
                       l[2 * 4 + row] * r[c * 4 + 2] + l[3 * 4 + row] * r[c * 4 + 3];
    }
  }
  std::memcpy(out, t, sizeof t);
}

// Writes L x R into `out` (which may alias L) by the kinds of both.
void ProductInto(const CMatrix4& l, const CMatrix4& r, CMatrix4& out) {
  int kind = l.kind | r.kind;
  if (kind < CMatrix4::kRotationZ) {
    float r0 = l.m[0] * r.m[0];
    float r5 = l.m[5] * r.m[5];
    float r10 = l.m[10] * r.m[10];
    float r12 = l.m[0] * r.m[12] + l.m[12];
    float r13 = l.m[5] * r.m[13] + l.m[13];
    float r14 = l.m[10] * r.m[14] + l.m[14];
    if (&out != &l) std::memcpy(out.m, l.m, sizeof out.m);
    out.m[0] = r0;
    out.m[5] = r5;
    out.m[10] = r10;
    out.m[12] = r12;
    out.m[13] = r13;
    out.m[14] = r14;
  } else {
    FullProduct(l.m, r.m, out.m);
  }
  out.kind = kind;
}

}  // namespace

CMatrix4 CMatrix4::FromArray(const float* values) {
  CMatrix4 r;
  std::memcpy(r.m, values, sizeof r.m);
  r.kind = kGeneral;
  return r;
}

void CMatrix4::SetIdentity() {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
  kind = kIdentity;
}

void CMatrix4::Translate(float x, float y, float z) {
  if (kind == kIdentity) {
    m[12] = x;
    m[13] = y;
    m[14] = z;
  } else if (kind == kTranslation) {
    m[12] += x;
    m[13] += y;
    m[14] += z;
  } else if (kind == kScale) {
    m[12] = x * m[0];
    m[13] = y * m[5];
    m[14] = z * m[10];
  } else if (kind == (kScale | kTranslation)) {
    m[12] += x * m[0];
    m[13] += y * m[5];
    m[14] += z * m[10];
  } else if (kind < kRotation) {
    m[12] += x * m[0] + y * m[4];
    m[13] += x * m[1] + y * m[5];
    m[14] += z * m[10];
  } else {
    for (int r = 0; r < 4; ++r) m[12 + r] += x * m[r] + y * m[4 + r] + z * m[8 + r];
  }
  kind |= kTranslation;
}

void CMatrix4::Translate(const CPoint3d& p) {
  Translate(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z));
}

void CMatrix4::Scale(float sx, float sy, float sz) {
  if (kind <= kTranslation) {
    m[0] = sx;
    m[5] = sy;
    m[10] = sz;
  } else if (kind < kRotationZ) {
    m[0] *= sx;
    m[5] *= sy;
    m[10] *= sz;
  } else if (kind < kRotation) {
    m[0] *= sx;
    m[1] *= sx;
    m[4] *= sy;
    m[5] *= sy;
    m[10] *= sz;
  } else {
    for (int r = 0; r < 4; ++r) {
      m[r] *= sx;
      m[4 + r] *= sy;
      m[8 + r] *= sz;
    }
  }
  kind |= kScale;
}

void CMatrix4::Rotate(float angle, float x, float y, float z) {
  if (angle == 0.0f) return;
  float c, s;
  if (angle == 90.0f || angle == -270.0f) {
    c = 0.0f;
    s = 1.0f;
  } else if (angle == -90.0f || angle == 270.0f) {
    c = 0.0f;
    s = -1.0f;
  } else if (angle == 180.0f || angle == -180.0f) {
    c = -1.0f;
    s = 0.0f;
  } else {
    float rad = angle * 3.1415927f / 180.0f;
    c = std::cos(rad);
    s = std::sin(rad);
  }
  if (x == 0.0f && z == 0.0f && y != 0.0f) {
    if (y < 0.0f) s = -s;
    for (int r = 0; r < 4; ++r) {
      float c0 = m[r], c2 = m[8 + r];
      m[r] = c * c0 - s * c2;
      m[8 + r] = s * c0 + c * c2;
    }
    kind |= kRotation;
    return;
  }
  if (x == 0.0f && y == 0.0f && z != 0.0f) {
    if (z < 0.0f) s = -s;
    for (int r = 0; r < 4; ++r) {
      float c0 = m[r], c1 = m[4 + r];
      m[r] = c * c0 + s * c1;
      m[4 + r] = c * c1 - s * c0;
    }
    kind |= kRotationZ;
    return;
  }
  if (y == 0.0f && z == 0.0f && x != 0.0f) {
    if (x < 0.0f) s = -s;
    for (int r = 0; r < 4; ++r) {
      float c1 = m[4 + r], c2 = m[8 + r];
      m[4 + r] = c * c1 + s * c2;
      m[8 + r] = c * c2 - s * c1;
    }
    kind |= kRotation;
    return;
  }
  float len2 = x * x + y * y + z * z;
  if (!(std::fabs(len2 - 1.0f) * 100000.0f <= std::fmin(len2, 1.0f) || len2 <= 1e-12f)) {
    float len = std::sqrt(len2);
    x /= len;
    y /= len;
    z /= len;
  }
  float ic = 1.0f - c;
  CMatrix4 rot;
  float* r = rot.m;
  r[0] = c + ic * x * x;
  r[1] = ic * x * y + s * z;
  r[2] = ic * x * z - s * y;
  r[3] = 0.0f;
  r[4] = ic * x * y - s * z;
  r[5] = c + ic * y * y;
  r[6] = ic * y * z + s * x;
  r[7] = 0.0f;
  r[8] = ic * x * z + s * y;
  r[9] = ic * y * z - s * x;
  r[10] = c + ic * z * z;
  r[11] = 0.0f;
  r[12] = r[13] = r[14] = 0.0f;
  r[15] = 1.0f;
  rot.kind = kRotation;
  PostMultiply(rot);
}

void CMatrix4::Ortho(float l, float r, float b, float t, float n, float f) {
  if (l == r || b == t || n == f) return;
  CMatrix4 o;
  o.m[0] = 2.0f / (r - l);
  o.m[5] = 2.0f / (t - b);
  o.m[10] = -2.0f / (f - n);
  o.m[12] = -(l + r) / (r - l);
  o.m[13] = -(b + t) / (t - b);
  o.m[14] = -(n + f) / (f - n);
  o.m[15] = 1.0f;
  o.kind = kScale | kTranslation;
  PostMultiply(o);
}

void CMatrix4::LookAt(const CPoint3d& eye, const CPoint3d& center, const CPoint3d& up) {
  CPoint3d d = center - eye;
  if (std::fabs(d.x) <= 1e-12 && std::fabs(d.y) <= 1e-12 && std::fabs(d.z) <= 1e-12) return;
  NormalizeInPlace(d);
  CPoint3d s = Normalized(Cross(d, up));
  CPoint3d u = Cross(s, d);
  CMatrix4 l;
  // Rows 0..2 hold s, u and -d.
  l.m[0] = static_cast<float>(s.x);
  l.m[4] = static_cast<float>(s.y);
  l.m[8] = static_cast<float>(s.z);
  l.m[1] = static_cast<float>(u.x);
  l.m[5] = static_cast<float>(u.y);
  l.m[9] = static_cast<float>(u.z);
  l.m[2] = static_cast<float>(-d.x);
  l.m[6] = static_cast<float>(-d.y);
  l.m[10] = static_cast<float>(-d.z);
  l.kind = kRotation;
  PostMultiply(l);
  Translate(-eye);
}

void CMatrix4::PostMultiply(const CMatrix4& b) { ProductInto(*this, b, *this); }

CMatrix4 CMatrix4::Multiply(const CMatrix4& l, const CMatrix4& r) {
  CMatrix4 out;
  ProductInto(l, r, out);
  return out;
}

double CMatrix4::Determinant3(const double* d, int row, int col) {
  int rows[3], cols[3];
  for (int i = 0, k = 0; i < 4; ++i)
    if (i != row) rows[k++] = i;
  for (int i = 0, k = 0; i < 4; ++i)
    if (i != col) cols[k++] = i;
  auto e = [&](int r, int c) { return d[cols[c] * 4 + rows[r]]; };
  return e(0, 0) * (e(1, 1) * e(2, 2) - e(1, 2) * e(2, 1)) -
         e(0, 1) * (e(1, 0) * e(2, 2) - e(1, 2) * e(2, 0)) +
         e(0, 2) * (e(1, 0) * e(2, 1) - e(1, 1) * e(2, 0));
}

double CMatrix4::Determinant4(const double* d) {
  double det = 0.0;
  for (int c = 0; c < 4; ++c) {
    double sign = (c % 2 == 0) ? 1.0 : -1.0;
    det += sign * d[c * 4] * Determinant3(d, 0, c);
  }
  return det;
}

CMatrix4 CMatrix4::RigidInverse() const {
  CMatrix4 r;
  r.m[0] = m[0];
  r.m[1] = m[4];
  r.m[2] = m[8];
  r.m[4] = m[1];
  r.m[5] = m[5];
  r.m[6] = m[9];
  r.m[8] = m[2];
  r.m[9] = m[6];
  r.m[10] = m[10];
  r.m[3] = r.m[7] = r.m[11] = 0.0f;
  r.m[12] = -(m[0] * m[12] + m[1] * m[13] + m[2] * m[14]);
  r.m[13] = -(m[4] * m[12] + m[5] * m[13] + m[6] * m[14]);
  r.m[14] = -(m[8] * m[12] + m[9] * m[13] + m[10] * m[14]);
  r.m[15] = 1.0f;
  r.kind = kind;
  return r;
}

CMatrix4 CMatrix4::Inverted() const {
  CMatrix4 r;
  if (kind == kIdentity) return r;
  if (kind == kTranslation) {
    r.m[12] = -m[12];
    r.m[13] = -m[13];
    r.m[14] = -m[14];
    r.kind = kTranslation;
    return r;
  }
  if (kind < kRotationZ) {
    if (m[0] == 0.0f || m[5] == 0.0f || m[10] == 0.0f) return r;
    r.m[0] = 1.0f / m[0];
    r.m[5] = 1.0f / m[5];
    r.m[10] = 1.0f / m[10];
    r.m[12] = -m[12] / m[0];
    r.m[13] = -m[13] / m[5];
    r.m[14] = -m[14] / m[10];
    r.kind = kind;
    return r;
  }
  double d[16];
  for (int i = 0; i < 16; ++i) d[i] = m[i];
  if (kind < kGeneral) {
    if ((kind & ~(kTranslation | kRotationZ | kRotation)) == 0) return RigidInverse();
    double det = Determinant3(d, 3, 3);
    if (det == 0.0) return r;
    // Inverse of the upper 3x3 through its cofactors: inv(i, j) = C(j, i) / det.
    double inv[3][3];
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        // Cofactor of element (j, i) within the 3x3: remove row j and column i,
        // keeping row 3 and column 3 out of the minor as well.
        int rr[2], cc[2];
        for (int a = 0, k = 0; a < 3; ++a)
          if (a != j) rr[k++] = a;
        for (int a = 0, k = 0; a < 3; ++a)
          if (a != i) cc[k++] = a;
        double minor = d[cc[0] * 4 + rr[0]] * d[cc[1] * 4 + rr[1]] -
                       d[cc[1] * 4 + rr[0]] * d[cc[0] * 4 + rr[1]];
        double sign = ((i + j) % 2 == 0) ? 1.0 : -1.0;
        inv[i][j] = sign * minor / det;
      }
    }
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) r.m[j * 4 + i] = static_cast<float>(inv[i][j]);
    r.m[3] = r.m[7] = r.m[11] = 0.0f;
    for (int i = 0; i < 3; ++i) {
      r.m[12 + i] = static_cast<float>(-(inv[i][0] * d[12] + inv[i][1] * d[13] + inv[i][2] * d[14]));
    }
    r.m[15] = 1.0f;
    r.kind = kind;
    return r;
  }
  double det = Determinant4(d);
  if (det == 0.0) return r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      // inv(i, j) = (-1)^(i+j) * minor(j, i) / det
      double sign = ((i + j) % 2 == 0) ? 1.0 : -1.0;
      r.m[j * 4 + i] = static_cast<float>(sign * Determinant3(d, j, i) / det);
    }
  }
  r.kind = kind;
  return r;
}

CPoint3d CMatrix4::MapPoint(const CPoint3d& p) const {
  if (kind == kIdentity) return p;
  if (kind < kRotationZ) return {m[0] * p.x + m[12], m[5] * p.y + m[13], m[10] * p.z + m[14]};
  if (kind < kRotation) {
    return {m[0] * p.x + m[4] * p.y + m[12], m[1] * p.x + m[5] * p.y + m[13], m[10] * p.z + m[14]};
  }
  float x = static_cast<float>(p.x), y = static_cast<float>(p.y), z = static_cast<float>(p.z);
  float out[4];
  for (int r = 0; r < 4; ++r) out[r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
  if (out[3] != 1.0f && out[3] != 0.0f) {
    return {out[0] / out[3], out[1] / out[3], out[2] / out[3]};
  }
  return {out[0], out[1], out[2]};
}

CPoint3d CMatrix4::UnprojectPoint(const CMatrix4& model, const CMatrix4& view,
                                  const CMatrix4& projection, const Viewport& vp, double wx,
                                  double wy, double depth) {
  // A point goes through the model transform first, the projection last.
  if (vp.width <= 0 || vp.height <= 0) return {};
  CMatrix4 s = Multiply(Multiply(projection, view), model).Inverted();
  double nx = (wx - vp.x) / (vp.width * 0.5) - 1.0;
  double ny = 1.0 - (wy - vp.y) / (vp.height * 0.5);
  double nz = (vp.far != vp.near) ? (depth - vp.near) / (vp.far - vp.near) : 0.0;
  double out[3];
  for (int i = 0; i < 3; ++i) {
    out[i] = s.m[i] * nx + s.m[4 + i] * ny + s.m[8 + i] * nz + s.m[12 + i];
  }
  return {out[0], out[1], out[2]};
}

}  // namespace ravik
