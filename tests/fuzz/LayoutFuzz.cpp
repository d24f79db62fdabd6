// Fuzz target of the layout reader: any bytes as a ".dlgc" file. They are
// decoded, parsed into the records, laid out on a page and written back;
// nothing may crash, overflow or hang, every cell lies on the page, and a
// layout that would be written back reads back to the same text (a number
// may change its spelling only: "0.000" written, read back as 0, is then
// written "0").
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Numbers.h"
#include "viewer/UiSeam.h"
#include "viewer/layout/Layout.h"
#include "viewer/layout/LayoutFile.h"

namespace {

class FuzzLayout : public ravik::CLayoutProp {
 public:
  FuzzLayout() : CLayoutProp("fuzz.dlgc", DeferLoad{}) {}
};

// A broken promise stops the run with the promise named.
#define Check(ok) ((ok) ? (void)0 : Fail(#ok, __LINE__))
[[noreturn]] void Fail(const char* what, int line) {
  std::fprintf(stderr, "layout fuzz: line %d: %s does not hold\n", line, what);
  std::abort();
}

// The text cut at the layout format's delimiters.
std::vector<std::u16string> Tokens(const std::u16string& text) {
  std::vector<std::u16string> out(1);
  for (char16_t c : text) {
    if (c == u',' || c == u'{' || c == u'}' || c == u'=' || c == u'\n' || c == u' ') {
      out.push_back(std::u16string(1, c));
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

// A token that is a number as a whole.
bool NumberToken(const std::u16string& t, double& value) {
  std::size_t used = 0;
  value = plat::ParseDouble(t, &used);
  return !t.empty() && used == t.size();
}

// Two texts that differ at most in how equal numbers are spelled.
bool SameButForNumberSpelling(const std::u16string& a, const std::u16string& b) {
  const std::vector<std::u16string> ta = Tokens(a), tb = Tokens(b);
  if (ta.size() != tb.size()) return false;
  for (std::size_t i = 0; i < ta.size(); ++i) {
    if (ta[i] == tb[i]) continue;
    double x = 0, y = 0;
    if (!NumberToken(ta[i], x) || !NumberToken(tb[i], y) || x != y) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const ravik::LayoutText text = ravik::DecodeLayoutBytes(bytes);
  if (text.encoding == ravik::TextEncoding::Unknown) return 0;
  FuzzLayout layout;
  layout.LoadText(text.text);

  // The page of the default window size.
  constexpr int kWidth = 560, kHeight = 780;
  std::vector<float> ratios;
  for (const ravik::Layout& band : layout.layouts()) ratios.push_back(band.grid.ratio);
  const std::vector<ravik::WRect> bands = ravik::StackBands(ratios, kWidth, kHeight);
  Check(bands.size() == layout.layouts().size());
  for (std::size_t i = 0; i < bands.size(); ++i) {
    const ravik::Layout& band = layout.layouts()[i];
    for (float f : {band.grid.ctrl_h, band.grid.lbl_w, band.grid.ratio, band.grid.margin}) Check(f >= 0.0f && f <= 1.0f);
    std::vector<bool> labels;
    for (const auto& c : band.controls) labels.push_back(c->lbl);
    const ravik::BandGeometry g = ravik::ComputeBandGeometry(band.grid, labels, bands[i]);
    Check(g.cells.size() == labels.size());
    for (const ravik::CellGeometry& cell : g.cells)
      Check(cell.control.left >= 0 && cell.control.top >= 0 && cell.control.Width() <= kWidth &&
            cell.control.Height() <= kHeight);
  }

  // What would be written reads back to the same text.
  const std::u16string written = layout.ToText();
  if (layout.IsComplete()) {
    if (layout.IsWritable()) {
      FuzzLayout again;
      again.LoadText(written);
      Check(again.IsComplete());
      const std::u16string rewritten = again.ToText();
      Check(SameButForNumberSpelling(rewritten, written));
      // After one reading the spelling is settled.
      FuzzLayout third;
      third.LoadText(rewritten);
      Check(third.ToText() == rewritten);
    }
  }
  return 0;
}
