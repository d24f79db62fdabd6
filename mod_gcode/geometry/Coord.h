// Coordinate words and the decimal-point rules.
//
// A word carries its value (the programmed target plus the modal base) and
// its position (the base at first, later the transformed position that the
// path and the next instruction's start use). A word programmed in inches is
// converted to millimetres when it is applied.
//
// Words live inline in their instruction, as a fixed store indexed by word
// number: N values, N positions and N flag bytes, one of whose bits tells
// whether the word is there; an absent word is a cleared bit, never a heap
// object. `CGCDimWordMM` is the
// value form of one word (made, copied and stored whole); `CGCWordRef`
// addresses a stored word in place.
#pragma once
#include <cstdint>

#include "mod_gcode/geometry/PathRecords.h"
#include "mod_gcode/text/TextUtil.h"

namespace quillet {

// Word numbers shared by the block scanner and every instruction.
enum WordIndex : int {
  kWordX = 0, kWordY = 1, kWordZ = 2, kWordI = 3, kWordJ = 4, kWordK = 5,
  kWordR = 6, kWordP = 7, kWordQ = 8, kWordL = 14, kMaxWords = 15
};

// Flag bits of a stored word. kWordPresent exists only in a store: a word
// taken out of it (CGCDimWordMM) never carries it.
enum : std::uint8_t { kWordSpecified = 1, kWordAbsolute = 2, kWordInch = 4, kWordModeZero = 8, kWordPresent = 16 };

// A coordinate word programmed in millimetres (or, with the inch flag, in
// inches: see CGCDimWordInch).
class CGCDimWordMM {
 public:
  CGCDimWordMM() = default;
  CGCDimWordMM(double value, short mode) : m_value(value), m_position(value) {
    if (mode == 0) m_flags |= kWordModeZero;
  }

  void SetValue(double v) { m_value = v; }
  void SetPosition(double p) { m_position = p; }
  double GetPosition() const { return m_position; }
  double GetValue() const { return m_value; }
  short GetMode() const { return (m_flags & kWordModeZero) ? 0 : 1; }
  bool IsInch() const { return m_flags & kWordInch; }
  bool IsSpecified() const { return m_flags & kWordSpecified; }
  bool IsAbsolute() const { return m_flags & kWordAbsolute; }
  void MarkSpecified() { m_flags |= kWordSpecified; }
  void ClearSpecified() { m_flags &= static_cast<std::uint8_t>(~kWordSpecified); }
  // The same word as a millimetre word (values are kept as they are).
  CGCDimWordMM AsMillimetre() const {
    CGCDimWordMM c = *this;
    c.m_flags &= static_cast<std::uint8_t>(~kWordInch);
    return c;
  }
  // value := programmed (x 25.4 for an inch word) + base; position := base.
  void Apply(double programmed, double base, bool absolute) {
    m_value = ((m_flags & kWordInch) ? programmed * 25.4 : programmed) + base;
    m_position = base;
    m_flags = static_cast<std::uint8_t>((m_flags & (kWordInch | kWordModeZero)) | kWordSpecified |
                                        (absolute ? kWordAbsolute : 0));
  }
  std::uint8_t Flags() const { return m_flags; }
  static CGCDimWordMM FromParts(double value, double position, std::uint8_t flags) {
    CGCDimWordMM w;
    w.m_value = value;
    w.m_position = position;
    w.m_flags = flags;
    return w;
  }

 protected:
  double m_value = 0.0;
  double m_position = 0.0;
  std::uint8_t m_flags = kWordAbsolute;
};

// A word programmed in inches.
class CGCDimWordInch : public CGCDimWordMM {
 public:
  CGCDimWordInch() { m_flags |= kWordInch; }
  explicit CGCDimWordInch(double value) : CGCDimWordMM(value, 0) { m_flags |= kWordInch; }
};

// A word of the unit class the mode asks for.
inline CGCDimWordMM MakeWord(bool inch) { return inch ? CGCDimWordMM(CGCDimWordInch()) : CGCDimWordMM(); }

// One stored word, addressed in place; false when the word is absent.
class CGCWordRef {
 public:
  CGCWordRef() = default;
  CGCWordRef(double* value, double* position, std::uint8_t* flags) : m_v(value), m_p(position), m_f(flags) {}
  explicit operator bool() const { return m_v != nullptr; }
  CGCWordRef* operator->() { return this; }
  const CGCWordRef* operator->() const { return this; }

  double GetValue() const { return *m_v; }
  double GetPosition() const { return *m_p; }
  void SetValue(double v) const { *m_v = v; }
  void SetPosition(double p) const { *m_p = p; }
  bool IsInch() const { return *m_f & kWordInch; }
  bool IsSpecified() const { return *m_f & kWordSpecified; }
  bool IsAbsolute() const { return *m_f & kWordAbsolute; }
  void MarkSpecified() const { *m_f |= kWordSpecified; }
  void ClearSpecified() const { *m_f &= static_cast<std::uint8_t>(~kWordSpecified); }
  CGCDimWordMM Get() const {
    return CGCDimWordMM::FromParts(*m_v, *m_p, static_cast<std::uint8_t>(*m_f & ~kWordPresent));
  }
  void Set(const CGCDimWordMM& w) const {
    *m_v = w.GetValue();
    *m_p = w.GetPosition();
    *m_f = static_cast<std::uint8_t>((w.Flags() & ~kWordPresent) | kWordPresent);
  }
  void Apply(double programmed, double base, bool absolute) const {
    CGCDimWordMM w = Get();
    w.Apply(programmed, base, absolute);
    Set(w);
  }
  CGCDimWordMM AsMillimetre() const { return Get().AsMillimetre(); }

 private:
  double* m_v = nullptr;
  double* m_p = nullptr;
  std::uint8_t* m_f = nullptr;
};

// The words of one instruction: a view over its store (N values, then N
// positions, then N flag bytes unless the flags are kept elsewhere).
class CGCCoord {
 public:
  CGCCoord(double* store, int count, std::uint8_t* flags = nullptr)
      : m_store(store),
        m_flags(flags ? flags : reinterpret_cast<std::uint8_t*>(store + 2 * count)),
        m_count(static_cast<std::uint8_t>(count)) {}

  int GetCount() const { return m_count; }
  bool Has(int i) const { return i >= 0 && i < m_count && (m_flags[i] & kWordPresent); }
  CGCWordRef GetWord(int i) const { return Has(i) ? Slot(i) : CGCWordRef(); }

  CPoint3d GetPositionPoint() const { return {GetPosition(0), GetPosition(1), GetPosition(2)}; }
  CPoint3d GetValuePoint() const { return {GetValue(0), GetValue(1), GetValue(2)}; }
  CPoint3d GetValuePointOrZero() const { return GetValuePoint(); }
  CPoint3d GetIJKPoint() const { return {GetValue(3), GetValue(4), GetValue(5)}; }
  double GetValue(int i) const { return Has(i) ? m_store[i] : 0.0; }
  double GetPosition(int i) const { return Has(i) ? m_store[m_count + i] : 0.0; }
  void SetPosition(int i, double v) const { if (Has(i)) m_store[m_count + i] = v; }
  void SetValue(int i, double v) const { if (Has(i)) m_store[i] = v; }
  void SetPositionPoint(const CPoint3d& p) const { SetPosition(0, p.x); SetPosition(1, p.y); SetPosition(2, p.z); }
  void SetValuePoint(const CPoint3d& p) const { SetValue(0, p.x); SetValue(1, p.y); SetValue(2, p.z); }

  // Stores a word (copied) at the index; ignored outside the count.
  void ReplaceWord(int i, const CGCDimWordMM& word) const {
    if (i < 0 || i >= m_count) return;
    Slot(i).Set(word);
  }
  void RemoveWord(int i) const {
    if (i >= 0 && i < m_count) m_flags[i] = static_cast<std::uint8_t>(m_flags[i] & ~kWordPresent);
  }
  void ApplyWord(int i, double programmed, double base, bool absolute) const {
    if (Has(i)) Slot(i).Apply(programmed, base, absolute);
  }
  void RemoveXYZ() const { RemoveWord(0); RemoveWord(1); RemoveWord(2); }
  bool NoneOfXYZSpecified() const { return !IsSpecified(0) && !IsSpecified(1) && !IsSpecified(2); }
  void AddToPosition(int i, double delta) const { if (Has(i)) m_store[m_count + i] += delta; }
  bool IsSpecified(int i) const { return Has(i) && (Flags()[i] & kWordSpecified); }
  bool IsAbsolute(int i) const { return Has(i) && (Flags()[i] & kWordAbsolute); }
  // Copies the words of another set (presence, unit class and flags kept);
  // words beyond this set's count are dropped.
  void CopyWords(const CGCCoord& other) const;

 private:
  std::uint8_t* Flags() const { return m_flags; }
  CGCWordRef Slot(int i) const { return CGCWordRef(m_store + i, m_store + m_count + i, Flags() + i); }

  double* m_store;
  std::uint8_t* m_flags;
  std::uint8_t m_count;
};

// Room for N words: values, positions and flags, in the layout CGCCoord reads.
template <int N>
struct CWordStore {
  double values[2 * N] = {};
  std::uint8_t flags[N] = {};
};

// A free-standing word set with room for N words.
template <int N>
class CGCCoordN {
 public:
  CGCCoordN() = default;
  CGCCoord View() { return CGCCoord(m_store.values, N); }
  CGCCoord View() const { return CGCCoord(const_cast<double*>(m_store.values), N); }

 private:
  CWordStore<N> m_store;
};

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

}  // namespace quillet
