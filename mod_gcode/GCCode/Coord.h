// Coordinate words and the decimal-point rules.
//
// A word carries its value (the programmed target plus the modal base) and
// its position (the base at first, later the transformed position that the
// path and the next instruction's start use). A word programmed in inches is
// converted to millimetres when it is applied. Words live inline in their
// instruction, in a fixed array indexed by word number; an absent word is a
// cleared bit of the presence mask, never a heap object.
#pragma once
#include <cstdint>
#include <vector>

#include "mod_gcode/GCCode/PathRecords.h"
#include "mod_gcode/GCCode/TextUtil.h"

namespace quillet {

// Word numbers shared by the block scanner and every instruction.
enum WordIndex : int {
  kWordX = 0, kWordY = 1, kWordZ = 2, kWordI = 3, kWordJ = 4, kWordK = 5,
  kWordR = 6, kWordP = 7, kWordQ = 8, kWordL = 14, kMaxWords = 15
};

// A coordinate word programmed in millimetres (or, with `m_inch` set, in
// inches: see CGCDimWordInch).
class CGCDimWordMM {
 public:
  CGCDimWordMM() = default;
  CGCDimWordMM(double value, short mode) : m_value(value), m_position(value), m_mode(mode) {}

  void SetValue(double v) { m_value = v; }
  void SetPosition(double p) { m_position = p; }
  double GetPosition() const { return m_position; }
  double GetValue() const { return m_value; }
  short GetMode() const { return m_mode; }
  bool IsInch() const { return m_inch; }
  bool IsSpecified() const { return m_specified; }
  bool IsAbsolute() const { return m_absolute; }
  void MarkSpecified() { m_specified = true; }
  // The same word as a millimetre word (values are kept as they are).
  CGCDimWordMM AsMillimetre() const {
    CGCDimWordMM c = *this;
    c.m_inch = false;
    return c;
  }
  void ClearSpecified() { m_specified = false; }

  // value := programmed (x 25.4 for an inch word) + base; position := base.
  void Apply(double programmed, double base, bool absolute) {
    m_value = (m_inch ? programmed * 25.4 : programmed) + base;
    m_position = base;
    m_specified = true;
    m_absolute = absolute;
  }

 protected:
  double m_value = 0.0;
  double m_position = 0.0;
  short m_mode = 1;
  bool m_specified = false;
  bool m_absolute = true;
  bool m_inch = false;
};

// A word programmed in inches.
class CGCDimWordInch : public CGCDimWordMM {
 public:
  CGCDimWordInch() { m_inch = true; }
  explicit CGCDimWordInch(double value) : CGCDimWordMM(value, 0) { m_inch = true; }
};

// Which unit class a new word gets.
inline CGCDimWordMM MakeWord(bool inch) { return inch ? CGCDimWordInch() : CGCDimWordMM(); }

// The words of one instruction. The storage belongs to the owner (see
// CGCCoordN); this class addresses it by word number.
class CGCCoord {
 public:
  // Addresses `count` word slots that the owner provides.
  CGCCoord(CGCDimWordMM* slots, int count) : m_slots(slots), m_count(static_cast<std::uint8_t>(count)) {}
  ~CGCCoord() = default;
  CGCCoord(const CGCCoord&) = delete;
  CGCCoord& operator=(const CGCCoord&) = delete;

  int GetCount() const { return m_count; }
  bool Has(int i) const { return i >= 0 && i < m_count && (m_present >> i) & 1u; }
  CGCDimWordMM* GetWord(int i) { return Has(i) ? &m_slots[i] : nullptr; }
  const CGCDimWordMM* GetWord(int i) const { return Has(i) ? &m_slots[i] : nullptr; }

  CPoint3d GetPositionPoint() const { return {GetPosition(0), GetPosition(1), GetPosition(2)}; }
  CPoint3d GetValuePoint() const { return {GetValue(0), GetValue(1), GetValue(2)}; }
  CPoint3d GetValuePointOrZero() const { return GetValuePoint(); }
  CPoint3d GetIJKPoint() const { return {GetValue(3), GetValue(4), GetValue(5)}; }
  double GetValue(int i) const { return Has(i) ? m_slots[i].GetValue() : 0.0; }
  double GetPosition(int i) const { return Has(i) ? m_slots[i].GetPosition() : 0.0; }
  void SetPosition(int i, double v) { if (Has(i)) m_slots[i].SetPosition(v); }
  void SetValue(int i, double v) { if (Has(i)) m_slots[i].SetValue(v); }
  void SetPositionPoint(const CPoint3d& p) { SetPosition(0, p.x); SetPosition(1, p.y); SetPosition(2, p.z); }
  void SetValuePoint(const CPoint3d& p) { SetValue(0, p.x); SetValue(1, p.y); SetValue(2, p.z); }

  // Stores a word (copied) at the index; ignored outside the count.
  void ReplaceWord(int i, const CGCDimWordMM& word) {
    if (i < 0 || i >= m_count) return;
    m_slots[i] = word;
    m_present = static_cast<std::uint16_t>(m_present | (1u << i));
  }
  void RemoveWord(int i) {
    if (i >= 0 && i < m_count) m_present = static_cast<std::uint16_t>(m_present & ~(1u << i));
  }
  void ApplyWord(int i, double programmed, double base, bool absolute) {
    if (Has(i)) m_slots[i].Apply(programmed, base, absolute);
  }
  void RemoveXYZ() { RemoveWord(0); RemoveWord(1); RemoveWord(2); }
  bool NoneOfXYZSpecified() const { return !IsSpecified(0) && !IsSpecified(1) && !IsSpecified(2); }
  void AddToPosition(int i, double delta) { if (Has(i)) m_slots[i].SetPosition(m_slots[i].GetPosition() + delta); }
  bool IsSpecified(int i) const { return Has(i) && m_slots[i].IsSpecified(); }
  bool IsAbsolute(int i) const { return Has(i) && m_slots[i].IsAbsolute(); }
  // Copies the words of another set (presence, unit class and flags kept);
  // words beyond this set's count are dropped.
  void CopyWords(const CGCCoord& other);

 protected:
  CGCDimWordMM* m_slots;
  std::uint8_t m_count;
  std::uint16_t m_present = 0;
};

// A word set with room for N words, inline.
template <int N>
class CGCCoordN : public CGCCoord {
 public:
  CGCCoordN() : CGCCoord(m_store, N) {}
  CGCCoordN(const CGCCoordN& o) : CGCCoord(m_store, N) { CopyWords(o); }
  CGCCoordN& operator=(const CGCCoordN& o) {
    m_present = 0;
    CopyWords(o);
    return *this;
  }
  // Three millimetre words X, Y, Z from a point.
  explicit CGCCoordN(const CPoint3d& p) : CGCCoord(m_store, N) {
    static_assert(N >= 3, "a point needs three words");
    ReplaceWord(0, CGCDimWordMM(p.x, 1));
    ReplaceWord(1, CGCDimWordMM(p.y, 1));
    ReplaceWord(2, CGCDimWordMM(p.z, 1));
  }

 private:
  CGCDimWordMM m_store[N];
};

using CGCCoordXYZ = CGCCoordN<3>;

// Turns number texts into numbers: texts without a decimal point are scaled.
class CGCDecimalPoint {
 public:
  explicit CGCDecimalPoint(double scale = 0.0) : m_scale(scale) {}
  virtual ~CGCDecimalPoint() = default;
  virtual double Parse(WStringView text) const;

 protected:
  double m_scale;
};

// The rule for controls that read every number as written.
class CGCDecimalPointPocket : public CGCDecimalPoint {
 public:
  using CGCDecimalPoint::CGCDecimalPoint;
  double Parse(WStringView text) const override;
};

// 0 for an empty text, else the number at the start of the text.
double WTextToDouble(WStringView text);
double WStringToDouble(const WString& text);
// Single-precision "%0.3f" with trailing zeros (and a bare point) removed.
std::string FormatTrimmedNumber(double value);

}  // namespace quillet
