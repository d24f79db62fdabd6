#include "mod_gcode/geometry/Coord.h"

#include <cmath>

#include "platform/Numbers.h"

namespace quillet {

void CGCCoord::CopyWords(const CGCCoord& other) const {
  for (int i = 0; i < m_count; ++i) m_flags[i] = 0;
  int n = other.m_count < m_count ? other.m_count : m_count;
  for (int i = 0; i < n; ++i)
    if (other.Has(i)) ReplaceWord(i, other.Slot(i).Get());
}

double WTextToDouble(WStringView text) {
  if (text.empty()) return 0.0;
  return plat::ParseDouble(text);
}

double WStringToDouble(const WString& text) { return WTextToDouble(text); }

double CGCDecimalPoint::Parse(WStringView text) const {
  double v = WTextToDouble(text);
  if (text.find(u'.') != WStringView::npos) return v;
  return v * m_scale;
}

double CGCDecimalPointPocket::Parse(WStringView text) const { return WTextToDouble(text); }

}  // namespace quillet
